// The job carried out by the program itself, archive by archive: each operation's archiver command
// line, what the archiver's exit codes mean, and an archive's result from the calls it made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "batch_script.h"

namespace rarbatch {

// How a call, or an archive, ended; a later value is worse.
enum class Severity { Success, Warning, Failure };

// The archiver's exit code in words ("压缩包已被锁定"), or "未知错误" for a code it does not give.
std::wstring ExitCodeMeaning(std::uint32_t code);

// 0 succeeds, 1 is a warning, anything else fails.
Severity SeverityOfExitCode(std::uint32_t code);

// The operation as the window names it: 删除, 添加, 注释 or 锁定.
const wchar_t* OperationName(ScriptOperation operation);

// One archiver command line of the job, for one archive.
struct ArchiverCall {
  ScriptOperation Operation;
  std::wstring CommandLine;
};

// The calls for archive `archive` of the job, in the order the script runs them: each delete entry,
// each file to add, the comment, the lock. Every argument is quoted for the archiver except the
// delete entry, which goes as typed so that one entry may hold several names.
std::vector<ArchiverCall> ArchiverCallsFor(const BatchJob& job, std::size_t archive);

// The longest command line a new process takes, without its terminating NUL.
inline constexpr std::size_t kMaxCommandLineLength = 32766;

// The first call of the job, in run order, whose command line is longer than kMaxCommandLineLength.
std::optional<OverlongLine> FindOverlongCall(const BatchJob& job);

// What became of one call.
enum class CallOutcome { NotRun, StartFailed, Exited };

struct CallResult {
  ScriptOperation Operation = ScriptOperation::Delete;
  std::wstring CommandLine;
  CallOutcome Outcome = CallOutcome::NotRun;
  std::uint32_t ExitCode = 0;  // when Exited
  // The archiver's output, standard and error output as written; or, when it could not be started,
  // the system's text for why.
  std::wstring Output;
};

// Exited with 0 or 1: done, perhaps with a warning. Anything else is a failure or never ran.
bool CallCompleted(const CallResult& call);

// An archive's place in a run. Waiting and Running are before its end; Stopped means some of its
// calls never ran because the run was stopped.
enum class ArchiveState { Waiting, Running, Success, Warning, Failure, Stopped };

// 等待, 正在处理, 成功, 警告, 失败 or 已停止.
const wchar_t* ArchiveStateName(ArchiveState state);

struct ArchiveSummary {
  ArchiveState State;
  // The first failing call as "<operation>：<meaning> (<code>)", or the first warning when none
  // failed; empty when all succeeded.
  std::wstring Detail;
};

// An archive's end state from its calls: Stopped when one never ran, otherwise the worst call.
ArchiveSummary SummarizeCalls(const std::vector<CallResult>& calls);

}  // namespace rarbatch
