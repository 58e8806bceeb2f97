// A finished run written out for other programs: CSV for a spreadsheet, JSON for scripts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/archiver_calls.h"
#include "core/content_samples.h"

namespace rarbatch {

// One archive of a run as it ended.
struct ExportRow {
  std::wstring Archive;
  ArchiveState State = ArchiveState::Waiting;
  std::wstring Detail;  // the row's words, or why no call was made
  std::vector<CallResult> Calls;
  double Seconds = -1;    // from its start to its end; below 0 when it never started
  std::wstring Finished;  // when it ended, "2024-05-01T08:30:00Z"; empty when it never did
  // What deleting by content found (ArchiveResult::Content); empty for a job without samples.
  ContentFindings Content{};
};

// The run as a whole.
struct ExportRun {
  std::wstring JobFile;
  int ExitCode = 0;
  std::vector<ExportRow> Rows;
  std::vector<ContentSample> Samples;  // the job's, which the rows' content matches name by index
};

// UTF-8 for a report: a character without a UTF-8 form becomes U+FFFD instead of losing the row.
std::string ReportUtf8(const std::wstring& text);

// A CSV field, quoted (quotes doubled) when it holds a comma, quote or line break.
std::string CsvField(const std::string& field);

// "success", "warning", "failure", "stopped", "waiting" or "running".
const char* StateKey(ArchiveState state);

// One call in words: "删除：退出代码 0，成功", "添加：未运行"...
std::wstring DescribeCall(const CallResult& call);

// The entries taken by content in one field: "x.bin（a.bin）；dir\y.bin（a.bin）", each with the name of
// the sample it holds.
std::wstring ContentMatchesText(const ContentFindings& findings, const std::vector<ContentSample>& samples);

// UTF-8 with a BOM (so that a spreadsheet reads it as UTF-8), CR LF line ends, fields quoted where
// they hold a comma, quote or line break. Columns: 压缩包, 状态, 说明, 调用 (each call in words,
// separated by "；"), 用时（秒）, 完成时间, then, last so that readers of the earlier columns are
// not disturbed, 按名称删除 (the entries the delete names took, "；" between them) and 按内容删除
// (ContentMatchesText); both empty for a job without samples.
std::string FormatCsvReport(const ExportRun& run);

// UTF-8 JSON, as docs/cli.md describes it.
std::string FormatJsonReport(const ExportRun& run);

}  // namespace rarbatch
