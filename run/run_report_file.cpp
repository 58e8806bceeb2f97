// A run's table as text, and as a file.
#include "run/run_report_file.h"

#include <vector>

#include "core/run_report.h"
#include "win/files.h"
#include "win/text.h"

namespace rarbatch {

std::wstring RunReportText(const JobRunner& runner) {
  std::vector<ReportRow> rows;
  rows.reserve(runner.ArchiveCount());
  for (std::size_t i = 0; i < runner.ArchiveCount(); ++i) {
    const ArchiveSummary row = runner.Row(i);
    rows.push_back({runner.ArchiveName(i), ArchiveStateName(row.State), row.Detail});
  }
  return FormatReport(rows);
}

DWORD SaveRunReport(const JobRunner& runner, const std::wstring& path) {
  return SaveReportText(RunReportText(runner), path);
}

DWORD SaveReportText(const std::wstring& text, const std::wstring& path) {
  const auto bytes = ToCodePage(L"\uFEFF" + text, CP_UTF8);
  if (!bytes) return ERROR_NO_UNICODE_TRANSLATION;
  return WriteWholeFile(path, *bytes);
}

}  // namespace rarbatch
