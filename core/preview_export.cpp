// A job's preview as a report: what each archive would become, in the words of the preview table.
#include "core/preview_export.h"

#include <nlohmann/json.hpp>

#include "core/run_export.h"

namespace rarbatch {

namespace {

using Json = nlohmann::json;

Json TextArray(const std::vector<std::wstring>& texts) {
  Json array = Json::array();
  for (const std::wstring& text : texts) array.push_back(ReportUtf8(text));
  return array;
}

// Each entry the preview would take by content, with the sample it holds.
Json ContentJson(const BatchJob& job, const ArchivePreview& preview) {
  Json matches = Json::array();
  for (const ContentMatch& match : preview.Content.Matches) {
    Json entry = {{"entry", ReportUtf8(match.Entry)}};
    const bool known = match.Sample < job.Samples.size();
    entry["sample"] = known ? Json(ReportUtf8(SampleName(job.Samples[match.Sample]))) : Json(nullptr);
    entry["sha256"] = known ? Json(job.Samples[match.Sample].Sha256) : Json(nullptr);
    matches.push_back(std::move(entry));
  }
  return matches;
}

}  // namespace

const char* PreviewKey(const BatchJob& job, const ArchivePreview& preview) {
  if (!preview.Refusal.empty()) return "refused";
  if (!preview.Listed) return "not_listed";
  if (!PreviewChanges(job, preview)) return "unchanged";
  return preview.Emptied ? "deleted" : "change";
}

std::string FormatCsvPreview(const BatchJob& job, const std::vector<ArchivePreview>& previews) {
  std::string csv = "\xEF\xBB\xBF";
  // The last column is new: the readers of the first three keep working.
  csv += "压缩包,预计,说明,按内容删除\r\n";
  for (const ArchivePreview& preview : previews) {
    const PreviewRow row = DescribePreview(job, preview);
    csv += CsvField(ReportUtf8(preview.Archive)) + "," + CsvField(ReportUtf8(row.State)) + "," +
           CsvField(ReportUtf8(row.Words)) + "," +
           CsvField(ReportUtf8(ContentMatchesText(preview.Content, job.Samples))) + "\r\n";
  }
  return csv;
}

std::string FormatJsonPreview(const std::wstring& jobFile, int exitCode, const BatchJob& job,
                              const std::vector<ArchivePreview>& previews) {
  Json report = Json::object();
  report["version"] = 1;
  report["mode"] = "preview";
  report["job"] = ReportUtf8(jobFile);
  report["exit_code"] = exitCode;
  Json counts = {{"total", previews.size()}, {"change", 0},  {"unchanged", 0},
                 {"deleted", 0},             {"refused", 0}, {"not_listed", 0}};
  Json archives = Json::array();
  for (const ArchivePreview& preview : previews) {
    const std::string key = PreviewKey(job, preview);
    counts[key] = counts[key].get<int>() + 1;
    const PreviewRow row = DescribePreview(job, preview);
    Json entry = {{"archive", ReportUtf8(preview.Archive)},
                  {"expected", key},
                  {"expected_text", ReportUtf8(row.State)},
                  {"detail", ReportUtf8(row.Words)}};
    entry["removed"] = TextArray(preview.Removed);
    entry["added"] = TextArray(preview.Added);
    entry["replaced"] = TextArray(preview.Replaced);
    entry["by_content"] = ContentJson(job, preview);
    entry["not_compared"] = TextArray(preview.Content.NotCompared);
    entry["content_problems"] = ReportUtf8(DescribeContentProblems(preview.Content, job.Samples));
    archives.push_back(std::move(entry));
  }
  report["counts"] = std::move(counts);
  report["archives"] = std::move(archives);
  return report.dump(2) + "\n";
}

}  // namespace rarbatch
