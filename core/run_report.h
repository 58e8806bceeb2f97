// The texts the results window shows and hands out: the progress line, the report of the whole table,
// and one archive's calls with their exit codes and output.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/archiver_calls.h"

namespace rarbatch {

// One row of the results table.
struct ReportRow {
  std::wstring Archive;
  std::wstring Status;
  std::wstring Detail;
};

// The header row and one line per archive, columns separated by tabs, lines ended by CR LF: what the
// copy and save buttons hand out.
std::wstring FormatReport(const std::vector<ReportRow>& rows);

// "已完成 37 / 120，成功 33，警告 2，失败 2，用时 0:12".
std::wstring FormatProgressLine(std::size_t done, std::size_t total, std::size_t success,
                                std::size_t warning, std::size_t failure, unsigned long long seconds);

// One archive for the detail view: its status and the row's words, then each command line with its exit
// code and meaning (or why it never ran), the program's note and the archiver's output; lines ended by
// CR LF, as an edit control shows them. An archive that got no call says so.
std::wstring FormatCallDetails(const std::wstring& archive, const std::wstring& status,
                               const std::wstring& detail, const std::vector<CallResult>& calls);

}  // namespace rarbatch
