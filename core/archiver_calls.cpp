// The job carried out by the program itself, archive by archive: each operation's archiver command
// line, what the archiver's exit codes mean, and an archive's result from the calls it made.
#include "archiver_calls.h"

#include <algorithm>
#include <cwctype>
#include <iterator>

#include "archive_plan.h"
#include "archiver_args.h"
#include "core/number_text.h"

namespace rarbatch {
namespace {

struct ExitCodeEntry {
  std::uint32_t Code;
  const wchar_t* Meaning;
};

// The archiver's exit codes.
constexpr ExitCodeEntry kExitCodes[] = {
    {0, L"成功"},
    {1, L"警告"},
    {2, L"严重错误"},
    {3, L"CRC 校验错误（数据已损坏）"},
    {4, L"压缩包已被锁定"},
    {5, L"写入错误"},
    {6, L"打开文件错误"},
    {7, L"命令行选项错误"},
    {8, L"内存不足"},
    {9, L"创建文件错误"},
    {10, L"没有匹配的文件"},
    {11, L"密码错误"},
    {12, L"读取错误"},
    {255, L"用户中止"},
};

// A list file's path is not known when the job is checked; this many characters are allowed for it.
constexpr std::size_t kListFilePathAllowance = 300;

CallResult CallOf(const BatchJob& job, const PlannedCall& call, std::size_t archive,
                  const std::wstring& listFile) {
  CallResult result;
  result.Operation = call.Command;
  result.CommandLine = MaskedRunCommandLine(job, call, archive, listFile, &result.PasswordAt);
  result.PasswordOnInput = call.Password == PasswordSource::StandardInput;
  result.SetsCommentOrLock = call.Comment || call.Lock;
  result.Utf8Output = call.Utf8Output;
  if (!listFile.empty()) {
    result.ListFile = listFile;
    result.ListText = ListFileText(job, call);
  }
  return result;
}

}  // namespace

std::wstring ExitCodeMeaning(std::uint32_t code) {
  const auto found = std::find_if(std::begin(kExitCodes), std::end(kExitCodes),
                                  [code](const ExitCodeEntry& e) { return e.Code == code; });
  return found == std::end(kExitCodes) ? L"未知错误" : found->Meaning;
}

Severity SeverityOfExitCode(std::uint32_t code) {
  if (code == 0) return Severity::Success;
  if (code == 1) return Severity::Warning;
  return Severity::Failure;
}

const wchar_t* OperationName(ScriptOperation operation) {
  switch (operation) {
    case ScriptOperation::Delete: return L"删除";
    case ScriptOperation::Add: return L"添加";
    case ScriptOperation::Comment: return L"注释";
    case ScriptOperation::Lock: return L"锁定";
    case ScriptOperation::Test: return L"测试";
  }
  return L"";
}

std::vector<CallResult> ArchiverCallsFor(const BatchJob& job, std::size_t archive,
                                         const RunOptions& options,
                                         const std::function<std::wstring(std::size_t)>& listFileFor) {
  std::vector<CallResult> calls;
  const ArchivePlan plan = RunPlan(job, options);
  calls.reserve(plan.size());
  const std::size_t archiveLength = RunArchiveLength(job, archive);
  for (std::size_t c = 0; c < plan.size(); ++c) {
    const PlannedCall& call = plan[c];
    // Entries found by content always go through a list file: they are many, of any characters, and
    // never words the archiver should read as a switch.
    const bool tooLong = !call.ContentEntries.empty() ||
                         RunCommandLineFixedLength(job, call) + archiveLength > kMaxCommandLineLength;
    const std::wstring listFile = tooLong && listFileFor && CanUseListFile(call) ? listFileFor(c) : L"";
    calls.push_back(CallOf(job, call, archive, listFile));
  }
  return calls;
}

std::optional<CallResult> FinishingCallFor(const BatchJob& job, std::size_t archive,
                                           const RunOptions& options) {
  const std::optional<PlannedCall> call = FinishingCall(job, options);
  if (!call) return std::nullopt;
  CallResult result = CallOf(job, *call, archive, {});
  result.Finishing = true;
  return result;
}

std::optional<OverlongLine> FindOverlongCall(const BatchJob& job) {
  if (job.Archives.empty()) return std::nullopt;
  const RunOptions options;
  ArchivePlan plan = RunPlan(job, options);
  if (auto finishing = FinishingCall(job, options)) plan.push_back(*finishing);
  const std::wstring listFile(kListFilePathAllowance, L'x');
  std::optional<OverlongLine> found = FindOverlongCall(
      job, plan, kMaxCommandLineLength,
      [&](const PlannedCall& call) {
        return RunCommandLineFixedLength(job, call, CanUseListFile(call) ? listFile : L"");
      },
      [&](std::size_t a) { return RunArchiveLength(job, a); });
  // Its names or files would not be on the line: none of them made it too long.
  if (found && found->Operation != ScriptOperation::Comment && found->Operation != ScriptOperation::Lock) {
    found->Item = kNoItem;
  }
  return found;
}

std::optional<ArchiverVersion> ParseArchiverVersion(const std::wstring& output) {
  std::size_t at = 0;
  while ((at = output.find(L"RAR ", at)) != std::wstring::npos) {
    at += 4;
    std::size_t end = at;
    int major = 0, minor = 0, minorDigits = 0;
    while (end < output.size() && iswdigit(output[end]) && end - at < 4) major = major * 10 + (output[end++] - L'0');
    if (end == at || end >= output.size() || output[end] != L'.') continue;
    ++end;
    while (end < output.size() && iswdigit(output[end]) && minorDigits < 3) {
      minor = minor * 10 + (output[end++] - L'0');
      ++minorDigits;
    }
    if (minorDigits == 0) continue;
    return ArchiverVersion{major, minor};
  }
  return std::nullopt;
}

RunOptions RunOptionsFor(std::optional<ArchiverVersion> version, bool passwordFitsAnsi, std::wstring* note) {
  RunOptions options;
  note->clear();
  if (!version) {
    *note = L"读不出压缩程序的版本，按旧版的方式调用：密码在命令行上传递，输出按 OEM 代码页读取";
    return {PasswordSource::CommandLine, false};
  }
  const std::wstring named = Decimal(version->Major) + L"." +
                             (version->Minor < 10 ? L"0" : L"") + Decimal(version->Minor);
  if (*version < ArchiverVersion{5, 30}) {
    *note = L"压缩程序版本 " + named + L" 早于 5.30：密码在命令行上传递，输出按 OEM 代码页读取";
    return {PasswordSource::CommandLine, false};
  }
  if (*version < ArchiverVersion{5, 40}) {
    *note = L"压缩程序版本 " + named + L" 早于 5.40，不能从标准输入读取密码：密码在命令行上传递";
    return {PasswordSource::CommandLine, true};
  }
  if (!passwordFitsAnsi) {
    *note = L"密码含有 ANSI 代码页无法表示的字符，压缩程序从标准输入读不到它：密码在命令行上传递";
    options.Password = PasswordSource::CommandLine;
  }
  return options;
}

bool CallCompleted(const CallResult& call) {
  if (call.Outcome != CallOutcome::Exited) return false;
  if (call.ExitCode == 10) return call.Operation == ScriptOperation::Delete || call.Operation == ScriptOperation::Add;
  return SeverityOfExitCode(call.ExitCode) != Severity::Failure;
}

bool CallFailed(const CallResult& call) {
  return call.Outcome == CallOutcome::StartFailed ||
         (call.Outcome == CallOutcome::Exited && !CallCompleted(call));
}

const wchar_t* ArchiveStateName(ArchiveState state) {
  switch (state) {
    case ArchiveState::Waiting: return L"等待";
    case ArchiveState::Running: return L"正在处理";
    case ArchiveState::Success: return L"成功";
    case ArchiveState::Warning: return L"警告";
    case ArchiveState::Failure: return L"失败";
    case ArchiveState::Stopped: return L"已停止";
  }
  return L"";
}

namespace {

// A call's place among an archive's outcomes; a later value is shown before an earlier one.
enum class Weight { Plain, Note, Warning, Failure, Stopped };

struct Verdict {
  Weight Level;
  std::wstring Text;  // without the operation
};

std::wstring WithCode(const std::wstring& meaning, std::uint32_t code) {
  return meaning + L" (" + Decimal(code) + L")";
}

// Whether a call that ran may have changed the archive: the archiver writes a new archive and puts it
// in place only when it ends with success or a warning.
bool MayHaveChanged(const CallResult& call) {
  return call.Outcome == CallOutcome::Exited && (call.ExitCode == 0 || call.ExitCode == 1);
}

// `changedBefore`: an earlier call of the archive may have changed it.
Verdict Judge(const CallResult& call, bool changedBefore) {
  switch (call.Outcome) {
    case CallOutcome::NotRun: return {Weight::Stopped, L""};
    case CallOutcome::Skipped: return {Weight::Plain, L""};
    case CallOutcome::Killed:
      return {Weight::Stopped, std::wstring(changedBefore ? L"已中止，这一步没有改动压缩包，之前完成的步骤的改动仍在"
                                                          : L"已中止，压缩包保持原样") +
                                   (call.Note.empty() ? L"" : L"；" + call.Note)};
    case CallOutcome::StartFailed: return {Weight::Failure, L"无法启动压缩程序：" + call.Output};
    case CallOutcome::Exited: break;
  }
  if (call.Emptied) {
    return {Weight::Warning, L"压缩包中的文件已全部删除，压缩程序随之删除了压缩包文件" +
                                 (call.Note.empty() ? L"" : L"；" + call.Note)};
  }
  if (call.ExitCode == 10 && call.Operation == ScriptOperation::Delete) {
    return {Weight::Note, L"压缩包中没有要删除的文件"};
  }
  if (call.ExitCode == 10 && call.Operation == ScriptOperation::Add) {
    return {Weight::Warning, WithCode(L"有要添加的文件找不到", call.ExitCode)};
  }
  switch (SeverityOfExitCode(call.ExitCode)) {
    case Severity::Success: return {Weight::Plain, L""};
    case Severity::Warning: return {Weight::Warning, WithCode(ExitCodeMeaning(call.ExitCode), call.ExitCode)};
    case Severity::Failure: break;
  }
  return {Weight::Failure, WithCode(ExitCodeMeaning(call.ExitCode), call.ExitCode)};
}

}  // namespace

ArchiveSummary SummarizeCalls(const std::vector<CallResult>& calls) {
  Weight worst = Weight::Plain;
  std::wstring detail;
  bool changed = false;
  for (const auto& call : calls) {
    Verdict verdict = Judge(call, changed);
    changed = changed || MayHaveChanged(call);
    if (verdict.Level <= worst) continue;
    worst = verdict.Level;
    // A call that never ran says nothing of its own; what an earlier call said stays.
    if (!verdict.Text.empty()) detail = std::wstring(OperationName(call.Operation)) + L"：" + verdict.Text;
  }
  switch (worst) {
    case Weight::Plain:
    case Weight::Note: return {ArchiveState::Success, detail};
    case Weight::Warning: return {ArchiveState::Warning, detail};
    case Weight::Failure: return {ArchiveState::Failure, detail};
    case Weight::Stopped: break;
  }
  return {ArchiveState::Stopped, detail};
}

}  // namespace rarbatch
