// The job carried out by the program itself, archive by archive: each operation's archiver command
// line, what the archiver's exit codes mean, and an archive's result from the calls it made.
#include "archiver_calls.h"

#include <algorithm>
#include <iterator>

#include "archiver_args.h"

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

// The pieces of a command line that every call of one job shares, each quoted once.
struct QuotedJob {
  explicit QuotedJob(const BatchJob& job)
      : Rar(QuoteArchiverArgument(job.RarPath)),
        Password(job.UsePassword ? QuoteArchiverArgument(L"-p" + job.Password) : std::wstring()),
        Comment(job.CommentFile.empty() ? std::wstring()
                                        : QuoteArchiverArgument(L"-z" + job.CommentFile)) {}
  std::wstring Rar, Password, Comment;
};

// The length of each call's command line but for the archive and the item, from the forms built in
// ArchiverCallsFor.
std::size_t DeleteFixed(const QuotedJob& q) { return q.Rar.size() + 3 + 1; }
std::size_t AddFixed(const QuotedJob& q) {
  return q.Rar.size() + 3 + (q.Password.empty() ? 0 : q.Password.size() + 1) + 1;
}
std::size_t CommentFixed(const QuotedJob& q) { return q.Rar.size() + 3 + q.Comment.size() + 1; }
std::size_t LockFixed(const QuotedJob& q) { return q.Rar.size() + 3; }

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
  }
  return L"";
}

std::vector<ArchiverCall> ArchiverCallsFor(const BatchJob& job, std::size_t archive) {
  const QuotedJob q(job);
  const std::wstring a = QuoteArchiverArgument(job.Archives[archive]);
  std::vector<ArchiverCall> calls;
  calls.reserve(job.DeleteNames.size() + job.AddFiles.size() + 2);
  for (const auto& name : job.DeleteNames) {
    calls.push_back({ScriptOperation::Delete, q.Rar + L" d " + a + L" " + name});
  }
  for (const auto& file : job.AddFiles) {
    std::wstring line = q.Rar + L" a ";
    if (!q.Password.empty()) line += q.Password + L" ";
    line += a + L" " + QuoteArchiverArgument(file);
    calls.push_back({ScriptOperation::Add, std::move(line)});
  }
  if (!q.Comment.empty()) {
    calls.push_back({ScriptOperation::Comment, q.Rar + L" c " + q.Comment + L" " + a});
  }
  if (job.Lock) calls.push_back({ScriptOperation::Lock, q.Rar + L" k " + a});
  return calls;
}

std::optional<OverlongLine> FindOverlongCall(const BatchJob& job) {
  if (job.Archives.empty()) return std::nullopt;
  const QuotedJob q(job);
  std::vector<std::size_t> files;
  files.reserve(job.AddFiles.size());
  for (const auto& file : job.AddFiles) files.push_back(QuoteArchiverArgument(file).size());
  std::size_t longestName = 0;
  for (const auto& name : job.DeleteNames) longestName = std::max(longestName, name.size());
  const std::size_t longestFile = files.empty() ? 0 : *std::max_element(files.begin(), files.end());

  for (std::size_t i = 0; i < job.Archives.size(); ++i) {
    const std::size_t a = QuoteArchiverArgument(job.Archives[i]).size();
    const std::size_t deleteFixed = DeleteFixed(q) + a;
    if (!job.DeleteNames.empty() && deleteFixed + longestName > kMaxCommandLineLength) {
      std::size_t n = 0;
      while (deleteFixed + job.DeleteNames[n].size() <= kMaxCommandLineLength) ++n;
      return OverlongLine{i, ScriptOperation::Delete, n, deleteFixed + job.DeleteNames[n].size()};
    }
    const std::size_t addFixed = AddFixed(q) + a;
    if (!files.empty() && addFixed + longestFile > kMaxCommandLineLength) {
      std::size_t f = 0;
      while (addFixed + files[f] <= kMaxCommandLineLength) ++f;
      return OverlongLine{i, ScriptOperation::Add, f, addFixed + files[f]};
    }
    const std::size_t comment = CommentFixed(q) + a;
    if (!q.Comment.empty() && comment > kMaxCommandLineLength) {
      return OverlongLine{i, ScriptOperation::Comment, 0, comment};
    }
    const std::size_t lock = LockFixed(q) + a;
    if (job.Lock && lock > kMaxCommandLineLength) {
      return OverlongLine{i, ScriptOperation::Lock, 0, lock};
    }
  }
  return std::nullopt;
}

bool CallCompleted(const CallResult& call) {
  return call.Outcome == CallOutcome::Exited &&
         SeverityOfExitCode(call.ExitCode) != Severity::Failure;
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

ArchiveSummary SummarizeCalls(const std::vector<CallResult>& calls) {
  bool stopped = false;
  Severity worst = Severity::Success;
  const CallResult* first[3] = {};  // the first call of each severity
  for (const auto& call : calls) {
    if (call.Outcome == CallOutcome::NotRun) {
      stopped = true;
      continue;
    }
    const Severity severity = call.Outcome == CallOutcome::StartFailed
                                  ? Severity::Failure
                                  : SeverityOfExitCode(call.ExitCode);
    worst = std::max(worst, severity);
    auto& slot = first[static_cast<int>(severity)];
    if (!slot) slot = &call;
  }
  ArchiveSummary summary{ArchiveState::Success, {}};
  if (worst == Severity::Warning) summary.State = ArchiveState::Warning;
  if (worst == Severity::Failure) summary.State = ArchiveState::Failure;
  if (stopped) summary.State = ArchiveState::Stopped;

  const CallResult* shown = worst == Severity::Success ? nullptr : first[static_cast<int>(worst)];
  if (!shown) return summary;
  summary.Detail = std::wstring(OperationName(shown->Operation)) + L"：";
  if (shown->Outcome == CallOutcome::StartFailed) {
    summary.Detail += L"无法启动压缩程序：" + shown->Output;
  } else {
    summary.Detail +=
        ExitCodeMeaning(shown->ExitCode) + L" (" + std::to_wstring(shown->ExitCode) + L")";
  }
  return summary;
}

}  // namespace rarbatch
