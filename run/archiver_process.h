// One archiver call as a process of its own: started without a console and without a command
// interpreter, its output collected, its exit code taken.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/archiver_calls.h"
#include "win/handles.h"
#include "win/threads.h"

namespace rarbatch {

// The exit code a process gets when the run ends it.
inline constexpr DWORD kEndedByStopExitCode = 0x53544F50;

// The archivers a run (or a preview) has started, so that one call ends them all: each is created
// suspended, taken here (into one job object), and only then resumed. Once closed, an archiver taken
// is ended at once instead of resumed, so a worker that was between creating its archiver and
// handing it over when the user pressed 停止 starts nothing that runs on. Where the system refuses
// the job (Windows 7 runs a program that is itself in a job, as under some task schedulers, without
// nested jobs), the process is kept here and ended by itself.
class RunningArchivers {
 public:
  RunningArchivers();
  RunningArchivers(const RunningArchivers&) = delete;
  RunningArchivers& operator=(const RunningArchivers&) = delete;

  // Takes `process`, created suspended; false when closed, and the process has then been ended.
  bool Take(HANDLE process);
  // `process`, taken earlier, has ended; its handle is about to be closed.
  void Forget(HANDLE process);
  // Ends every archiver taken, and every one taken from now on, until Reopen.
  void Close();
  void Reopen();
  bool IsClosed() const;

 private:
  mutable Mutex mutex_;
  bool closed_ = false;
  UniqueHandle job_;
  std::vector<HANDLE> outsideJob_;  // taken, but the job refused them
};

// Runs `call` with the archiver at `rarPath` and waits for it to end, filling in its outcome, exit code
// and output. Its standard input gives `input` (the password, in the ANSI code page, ended by a line
// break) when the call reads one there, and nothing otherwise, so a question can never hold it. Its
// standard and error output go, in the order written, into one pipe that is read to its end and kept
// (bounded), decoded from UTF-8 or the OEM code page as the call asked. The process is taken by
// `archivers` (when not null), so that the run can end it. One that cannot be started gives
// StartFailed with the system's text for why. Safe to call from several threads at once: each child
// inherits only its own handles.
// `keepBytes`, when not 0, keeps that many bytes from the start of the output and nothing after
// them, instead of the bounded start and end, for a caller that needs the output whole (a listing).
// `timeLimitMs`, when not 0, ends a call still running after that long (exit code kTimedOutExitCode).
// `password` takes the place of the masked password switch of a call that carries it on its command
// line (CallResult::PasswordAt); the call keeps the masked line.
// `bytes`, when set, is given the output as it comes, byte for byte, and none of it is kept: for a
// call that writes an entry's bytes (p), which are no text.
using OutputBytes = std::function<void(const char*, std::size_t)>;
void RunArchiverCall(const std::wstring& rarPath, CallResult& call, const std::string& input,
                     RunningArchivers* archivers, std::size_t keepBytes = 0, DWORD timeLimitMs = 0,
                     const std::wstring& password = {}, const OutputBytes& bytes = {});

// The exit code of a call ended by its time limit.
inline constexpr DWORD kTimedOutExitCode = 0x54494D45;

// How long the archiver may take to say its version: it answers at once, but a program that is no
// console archiver may wait for ever (a window program opens its window).
inline constexpr DWORD kBannerTimeLimitMs = 10000;

// What the archiver writes when started without arguments (its banner and help), read under
// `archivers` within kBannerTimeLimitMs. The call as made: StartFailed with why, or Exited (or ended
// by the limit or by a stop) with the output.
CallResult ProbeArchiver(const std::wstring& rarPath, RunningArchivers* archivers);

// Why the archiver cannot be used, from its probe, as shown for each archive; nothing when its banner
// names a version.
std::optional<std::wstring> WhyArchiverUnusable(const CallResult& probe);

}  // namespace rarbatch
