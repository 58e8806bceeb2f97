// The run's reports: every archive with its status, each call's exit code and meaning, and its time.
#include "core/run_export.h"

#include <nlohmann/json.hpp>

#include <cstdio>

#include "core/number_text.h"
#include "core/utf8.h"

namespace rarbatch {

namespace {

using Json = nlohmann::json;

const char* OperationKey(ScriptOperation operation) {
  switch (operation) {
    case ScriptOperation::Delete: return "delete";
    case ScriptOperation::Add: return "add";
    case ScriptOperation::Comment: return "comment";
    case ScriptOperation::Lock: return "lock";
    case ScriptOperation::Test: return "test";
  }
  return "";
}

const char* OutcomeKey(CallOutcome outcome) {
  switch (outcome) {
    case CallOutcome::NotRun: return "not_run";
    case CallOutcome::Skipped: return "skipped";
    case CallOutcome::StartFailed: return "start_failed";
    case CallOutcome::Exited: return "exited";
    case CallOutcome::Killed: return "killed";
  }
  return "";
}

std::wstring OutcomeWords(const CallResult& call) {
  switch (call.Outcome) {
    case CallOutcome::NotRun: return L"未运行";
    case CallOutcome::Skipped: return L"已跳过（前一步失败）";
    case CallOutcome::StartFailed: return L"无法启动";
    case CallOutcome::Killed: return L"已终止";
    case CallOutcome::Exited: return ExitCodeMeaning(call.ExitCode);
  }
  return {};
}

std::string SecondsText(double seconds) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f", seconds);
  return buffer;
}

std::string Text(const std::wstring& text) { return ReportUtf8(text); }

std::wstring Joined(const std::vector<std::wstring>& texts) {
  std::wstring joined;
  for (const std::wstring& text : texts) joined += (joined.empty() ? L"" : L"；") + text;
  return joined;
}

// Each entry taken by content with the sample it holds: its name and its whole SHA-256.
Json ContentMatchesJson(const ContentFindings& findings, const std::vector<ContentSample>& samples) {
  Json matches = Json::array();
  for (const ContentMatch& match : findings.Matches) {
    Json entry = {{"entry", Text(match.Entry)}};
    const bool known = match.Sample < samples.size();
    entry["sample"] = known ? Json(Text(SampleName(samples[match.Sample]))) : Json(nullptr);
    entry["sha256"] = known ? Json(samples[match.Sample].Sha256) : Json(nullptr);
    matches.push_back(std::move(entry));
  }
  return matches;
}

Json TextArray(const std::vector<std::wstring>& texts) {
  Json array = Json::array();
  for (const std::wstring& text : texts) array.push_back(Text(text));
  return array;
}

}  // namespace

// A report is for reading: a character without a UTF-8 form becomes U+FFFD instead of losing the row.
std::string ReportUtf8(const std::wstring& text) {
  if (auto utf8 = ToUtf8(text)) return *utf8;
  std::wstring mended;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    if (sizeof(wchar_t) == 2 && high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      mended += text[i];
      mended += text[++i];
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      mended += static_cast<wchar_t>(0xFFFD);
    } else {
      mended += text[i];
    }
  }
  return ToUtf8(mended).value_or("");
}

std::string CsvField(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::wstring ContentMatchesText(const ContentFindings& findings, const std::vector<ContentSample>& samples) {
  std::vector<std::wstring> items;
  for (const ContentMatch& match : findings.Matches) {
    items.push_back(match.Entry +
                    (match.Sample < samples.size() ? L"（" + SampleName(samples[match.Sample]) + L"）" : L""));
  }
  return Joined(items);
}

const char* StateKey(ArchiveState state) {
  switch (state) {
    case ArchiveState::Waiting: return "waiting";
    case ArchiveState::Running: return "running";
    case ArchiveState::Success: return "success";
    case ArchiveState::Warning: return "warning";
    case ArchiveState::Failure: return "failure";
    case ArchiveState::Stopped: return "stopped";
  }
  return "";
}

std::wstring DescribeCall(const CallResult& call) {
  std::wstring words = std::wstring(OperationName(call.Operation)) + L"：";
  if (call.Outcome == CallOutcome::Exited) words += L"退出代码 " + Decimal(call.ExitCode) + L"，";
  return words + OutcomeWords(call);
}

std::string FormatCsvReport(const ExportRun& run) {
  std::string csv = "\xEF\xBB\xBF";
  csv += "压缩包,状态,说明,调用,用时（秒）,完成时间,按名称删除,按内容删除\r\n";
  for (const ExportRow& row : run.Rows) {
    std::wstring calls;
    for (const CallResult& call : row.Calls) {
      if (!calls.empty()) calls += L"；";
      calls += DescribeCall(call);
    }
    csv += CsvField(Text(row.Archive)) + "," + CsvField(Text(ArchiveStateName(row.State))) + "," +
           CsvField(Text(row.Detail)) + "," + CsvField(Text(calls)) + "," +
           (row.Seconds >= 0 ? SecondsText(row.Seconds) : std::string()) + "," + CsvField(Text(row.Finished)) + "," +
           CsvField(Text(Joined(row.Content.ByName))) + "," +
           CsvField(Text(ContentMatchesText(row.Content, run.Samples))) + "\r\n";
  }
  return csv;
}

std::string FormatJsonReport(const ExportRun& run) {
  Json report = Json::object();
  report["version"] = 1;
  report["mode"] = "run";
  report["job"] = Text(run.JobFile);
  report["exit_code"] = run.ExitCode;
  Json counts = {{"total", run.Rows.size()}, {"success", 0}, {"warning", 0}, {"failure", 0}, {"stopped", 0}};
  Json archives = Json::array();
  for (const ExportRow& row : run.Rows) {
    const std::string key = StateKey(row.State);
    if (counts.contains(key)) counts[key] = counts[key].get<int>() + 1;
    Json calls = Json::array();
    for (const CallResult& call : row.Calls) {
      Json entry = {{"operation", OperationKey(call.Operation)}, {"outcome", OutcomeKey(call.Outcome)}};
      entry["exit_code"] = call.Outcome == CallOutcome::Exited ? Json(call.ExitCode) : Json(nullptr);
      entry["meaning"] = Text(OutcomeWords(call));
      calls.push_back(std::move(entry));
    }
    Json entry = {{"archive", Text(row.Archive)},
                  {"status", key},
                  {"status_text", Text(ArchiveStateName(row.State))},
                  {"detail", Text(row.Detail)}};
    entry["seconds"] = row.Seconds >= 0 ? Json(row.Seconds) : Json(nullptr);
    entry["finished"] = row.Finished.empty() ? Json(nullptr) : Json(Text(row.Finished));
    entry["calls"] = std::move(calls);
    // Added last, so that readers of the fields above keep working; empty for a job without samples.
    entry["by_name"] = TextArray(row.Content.ByName);
    entry["by_content"] = ContentMatchesJson(row.Content, run.Samples);
    entry["content_problems"] = Text(DescribeContentProblems(row.Content, run.Samples));
    archives.push_back(std::move(entry));
  }
  report["counts"] = std::move(counts);
  report["archives"] = std::move(archives);
  return report.dump(2) + "\n";
}

}  // namespace rarbatch
