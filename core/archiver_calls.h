// The job carried out by the program itself, archive by archive: each operation's archiver command
// line, what the archiver's exit codes mean, and an archive's result from the calls it made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive_plan.h"
#include "batch_script.h"

namespace rarbatch {

// How a call, or an archive, ended; a later value is worse.
enum class Severity { Success, Warning, Failure };

// The archiver's exit code in words ("压缩包已被锁定"), or "未知错误" for a code it does not give.
std::wstring ExitCodeMeaning(std::uint32_t code);

// 0 succeeds, 1 is a warning, anything else fails.
Severity SeverityOfExitCode(std::uint32_t code);

// The operation as the window names it: 删除, 添加, 注释, 锁定 or 测试.
const wchar_t* OperationName(ScriptOperation operation);

// What became of one call.
//   NotRun: not yet, or never because the run was stopped first;
//   Skipped: never, because an earlier call of the archive failed (so nothing is locked or commented
//     after a failed step);
//   StartFailed: the archiver could not be started;
//   Exited: it ended by itself, with ExitCode;
//   Killed: it was ended by a second press of 停止 or by closing the program.
enum class CallOutcome { NotRun, Skipped, StartFailed, Exited, Killed };

// One archiver call of the program for one archive: how it is made, and what became of it.
struct CallResult {
  ScriptOperation Operation = ScriptOperation::Delete;
  // As kept and shown: a password on it is masked (kMaskedPasswordSwitch) at PasswordAt, and put in
  // only when the call is started (WithPassword).
  std::wstring CommandLine;
  std::size_t PasswordAt = std::wstring::npos;
  bool PasswordOnInput = false;  // the password goes to the archiver's standard input
  bool Utf8Output = false;       // the archiver writes its messages in UTF-8 (-scfr)
  std::wstring ListFile;         // the list file the call reads its names or files from, if any
  std::wstring ListText;         // and that file's text
  bool Finishing = false;        // sets comment and lock after a last call that changed nothing
  bool SetsCommentOrLock = false;  // carries -z or -k, or is c or k

  CallOutcome Outcome = CallOutcome::NotRun;
  std::uint32_t ExitCode = 0;  // when Exited
  // The archiver's output, standard and error output as written; or, when it could not be started,
  // the system's text for why.
  std::wstring Output;
  std::wstring Note;      // what the program noticed about the call, for the detail view
  bool Emptied = false;   // a delete that left the archive empty, so the archiver deleted its file
};

// The program's calls for archive `archive`, from RunPlan, in run order. A call whose command line
// would pass kMaxCommandLineLength takes its names or files from a list file whose path
// `listFileFor(call)` gives (without it, the call stays as it is and FindRunProblem refuses the job).
std::vector<CallResult> ArchiverCallsFor(const BatchJob& job, std::size_t archive,
                                         const RunOptions& options,
                                         const std::function<std::wstring(std::size_t)>& listFileFor = {});

// The finishing call (see FinishingCall) for archive `archive`, when the job has one.
std::optional<CallResult> FinishingCallFor(const BatchJob& job, std::size_t archive,
                                           const RunOptions& options);

// The longest command line a new process takes, without its terminating NUL.
inline constexpr std::size_t kMaxCommandLineLength = 32766;

// The first call of the program's plan, in run order, whose command line is longer than
// kMaxCommandLineLength even with its names or files in a list file.
std::optional<OverlongLine> FindOverlongCall(const BatchJob& job);

// Exited with 0 or 1, or with 10 where that is no failure (a delete that found none of its names, an
// add that missed some files): done. Anything else is a failure or never ran.
bool CallCompleted(const CallResult& call);

// Whether the call failed, so that the archive's later calls are skipped.
bool CallFailed(const CallResult& call);

// The archiver's version, as its banner gives it ("RAR 7.01 ..."): major and minor number.
struct ArchiverVersion {
  int Major = 0, Minor = 0;
  auto operator<=>(const ArchiverVersion&) const = default;
};

// The version in the first line of the archiver's output that names one; nothing when none does.
std::optional<ArchiverVersion> ParseArchiverVersion(const std::wstring& output);

// How the program calls an archiver of `version` (nothing when it could not be read), for a job
// whose password the ANSI code page can (`passwordFitsAnsi`) or cannot hold. Since 5.40 the archiver
// reads a password given as -p alone from its standard input, and since 5.30 it writes its messages
// in UTF-8 on -scfr; an older or unknown archiver gets the password on the command line and writes in
// the OEM code page. `note` says why the program fell back, for the detail view.
RunOptions RunOptionsFor(std::optional<ArchiverVersion> version, bool passwordFitsAnsi, std::wstring* note);

// An archive's place in a run. Waiting and Running are before its end; Stopped means some of its
// calls never ran because the run was stopped.
enum class ArchiveState { Waiting, Running, Success, Warning, Failure, Stopped };

// 等待, 正在处理, 成功, 警告, 失败 or 已停止.
const wchar_t* ArchiveStateName(ArchiveState state);

struct ArchiveSummary {
  ArchiveState State;
  // The first failing call as "<operation>：<meaning> (<code>)", or the first warning when none
  // failed, or a note on a success (a delete that found nothing); empty when all simply succeeded.
  std::wstring Detail;
};

// An archive's end state from its calls: Stopped when one was ended by 停止 or never ran, otherwise
// the worst call.
ArchiveSummary SummarizeCalls(const std::vector<CallResult>& calls);

}  // namespace rarbatch
