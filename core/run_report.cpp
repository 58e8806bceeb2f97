// The texts the results window shows and hands out.
#include "core/run_report.h"

#include "core/number_text.h"

namespace rarbatch {
namespace {

// Text with its line ends made CR LF, for an edit control and for files opened on Windows.
std::wstring WithCrLf(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out.push_back(L'\r');
    out.push_back(text[i]);
  }
  return out;
}

std::wstring Elapsed(unsigned long long seconds) {
  auto two = [](unsigned long long n) { return (n < 10 ? L"0" : L"") + Decimal(n); };
  const unsigned long long hours = seconds / 3600, minutes = seconds / 60 % 60, rest = seconds % 60;
  if (hours > 0) return Decimal(hours) + L":" + two(minutes) + L":" + two(rest);
  return Decimal(minutes) + L":" + two(rest);
}

}  // namespace

std::wstring FormatReport(const std::vector<ReportRow>& rows) {
  std::wstring text = L"压缩包\t状态\t说明\r\n";
  for (const ReportRow& row : rows) {
    text += row.Archive + L"\t" + row.Status + L"\t" + row.Detail + L"\r\n";
  }
  return text;
}

std::wstring FormatProgressLine(std::size_t done, std::size_t total, std::size_t success,
                                std::size_t warning, std::size_t failure, unsigned long long seconds) {
  return L"已完成 " + Decimal(done) + L" / " + Decimal(total) + L"，成功 " +
         Decimal(success) + L"，警告 " + Decimal(warning) + L"，失败 " +
         Decimal(failure) + L"，用时 " + Elapsed(seconds);
}

std::wstring FormatCallDetails(const std::wstring& archive, const std::wstring& status,
                               const std::wstring& detail, const std::vector<CallResult>& calls) {
  std::wstring text = L"压缩包：" + archive + L"\r\n状态：" + status + L"\r\n";
  if (!detail.empty()) text += L"说明：" + detail + L"\r\n";
  if (calls.empty()) text += L"\r\n没有调用压缩程序。\r\n";
  for (const CallResult& call : calls) {
    text += L"\r\n> " + call.CommandLine + L"\r\n";
    switch (call.Outcome) {
      case CallOutcome::NotRun:
        text += std::wstring(OperationName(call.Operation)) + L"：未运行\r\n";
        break;
      case CallOutcome::Skipped:
        text += std::wstring(OperationName(call.Operation)) + L"：未运行（前面的步骤失败）\r\n";
        break;
      case CallOutcome::Killed:
        text += std::wstring(OperationName(call.Operation)) + L"：已中止\r\n";
        break;
      case CallOutcome::StartFailed:
        text += std::wstring(OperationName(call.Operation)) + L"：无法启动压缩程序\r\n";
        break;
      case CallOutcome::Exited:
        text += std::wstring(OperationName(call.Operation)) + L"：退出代码 " +
                Decimal(call.ExitCode) + L"（" + ExitCodeMeaning(call.ExitCode) + L"）\r\n";
        break;
    }
    if (!call.Note.empty()) text += L"（" + call.Note + L"）\r\n";
    if (!call.Output.empty()) {
      text += WithCrLf(call.Output);
      if (text.back() != L'\n') text += L"\r\n";
    }
  }
  return text;
}

}  // namespace rarbatch
