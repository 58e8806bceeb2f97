// One archiver call as a process of its own: started without a console and without a command
// interpreter, its output collected, its exit code taken.
//
// Several workers start archivers at once, and each child gets the write end of its own output pipe
// as an inheritable handle. Were that handle inherited by a child another worker starts at the same
// moment, this pipe would stay open until that other child ended, and reading it to its end would wait
// for the wrong process. So every child is given an explicit list of the handles it inherits
// (PROC_THREAD_ATTRIBUTE_HANDLE_LIST: its empty input and its own pipe), and the parent's copies of
// the child's ends are closed as soon as the child is started.
#include "archiver_process.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "core/archive_plan.h"
#include "core/kept_output.h"
#include "core/number_text.h"
#include "win/error_text.h"
#include "win/handles.h"
#include "win/text.h"

namespace rarbatch {
namespace {

// An attribute list that names the only handles a new process inherits.
class InheritedHandles {
 public:
  // False, with the last error set, when the list cannot be made.
  bool Set(HANDLE* handles, std::size_t count) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_ = std::make_unique<char[]>(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.get());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
    list_ = list;
    return UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                     count * sizeof(HANDLE), nullptr, nullptr) != FALSE;
  }
  ~InheritedHandles() {
    if (list_) DeleteProcThreadAttributeList(list_);
  }
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  std::unique_ptr<char[]> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// Reads the pipe until every write end is closed, keeping what comes.
using OutputSink = std::function<void(const char*, std::size_t)>;

void ReadToEnd(HANDLE pipe, const OutputSink& kept) {
  char buffer[4096];
  for (;;) {
    DWORD got = 0;
    // A successful read of 0 bytes is an empty write, not the end.
    if (!ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) return;
    kept(buffer, got);
  }
}

std::wstring FromOem(const std::string& bytes) { return FromCodePage(bytes, CP_OEMCP); }
std::wstring FromUtf8(const std::string& bytes) { return FromCodePage(bytes, CP_UTF8); }

// A pipe whose one end a child inherits: `child` is that end, made inheritable; `parent` the other.
struct ChildPipe {
  UniqueHandle parent, child;
};

bool MakePipe(ChildPipe& pipe, bool childReads) {
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) return false;
  pipe.parent.reset(childReads ? writeEnd : readEnd);
  pipe.child.reset(childReads ? readEnd : writeEnd);
  return SetHandleInformation(pipe.child.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) != FALSE;
}

// Reads the pipe while `process` runs, for at most `limitMs`; then ends the process (exit code
// kTimedOutExitCode) and reads what is left. Polls, since an anonymous pipe cannot be waited on.
void ReadWithin(HANDLE pipe, HANDLE process, DWORD limitMs, const OutputSink& kept) {
  const ULONGLONG deadline = GetTickCount64() + limitMs;
  char buffer[4096];
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return;  // every writer gone
    if (available > 0) {
      DWORD got = 0;
      if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr)) return;
      kept(buffer, got);
      continue;
    }
    if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) break;
    if (GetTickCount64() >= deadline) {
      TerminateProcess(process, kTimedOutExitCode);
      WaitForSingleObject(process, INFINITE);
      break;
    }
  }
  // The process has ended; what it wrote last is still in the pipe, unless a child of its own holds
  // the pipe open, which is not waited for.
  for (;;) {
    DWORD available = 0, got = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return;
    if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr)) return;
    kept(buffer, got);
  }
}

UniqueHandle MakeKillingJob() {
  UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
  return job;
}

}  // namespace

// A job object that ends every process in it when it is ended, or when its last handle closes.
RunningArchivers::RunningArchivers() : job_(MakeKillingJob()) {}

bool RunningArchivers::Take(HANDLE process) {
  std::lock_guard lock(mutex_);
  if (closed_) {
    TerminateProcess(process, kEndedByStopExitCode);
    return false;
  }
  if (!job_ || !AssignProcessToJobObject(job_.get(), process)) outsideJob_.push_back(process);
  return true;
}

void RunningArchivers::Forget(HANDLE process) {
  std::lock_guard lock(mutex_);
  std::erase(outsideJob_, process);
}

void RunningArchivers::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  if (job_) TerminateJobObject(job_.get(), kEndedByStopExitCode);
  for (HANDLE process : outsideJob_) TerminateProcess(process, kEndedByStopExitCode);
}

void RunningArchivers::Reopen() {
  std::lock_guard lock(mutex_);
  closed_ = false;
}

bool RunningArchivers::IsClosed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

void RunArchiverCall(const std::wstring& rarPath, CallResult& call, const std::string& input,
                     RunningArchivers* archivers, std::size_t keepBytes, DWORD timeLimitMs,
                     const std::wstring& password, const OutputBytes& bytes) {
  call.Output.clear();
  auto startFailed = [&call](DWORD error) {
    call.Outcome = CallOutcome::StartFailed;
    call.Output = SystemErrorText(error);
  };

  ChildPipe output, in;
  if (!MakePipe(output, false)) return startFailed(GetLastError());
  const bool feedsInput = call.PasswordOnInput;
  if (feedsInput) {
    if (!MakePipe(in, true)) return startFailed(GetLastError());
  } else {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    in.child = UniqueHandle(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        &inheritable, OPEN_EXISTING, 0, nullptr));
    if (!in.child) return startFailed(GetLastError());
  }
  HANDLE inherited[] = {in.child.get(), output.child.get()};
  InheritedHandles handleList;
  if (!handleList.Set(inherited, 2)) return startFailed(GetLastError());

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = in.child.get();
  startup.StartupInfo.hStdOutput = output.child.get();
  startup.StartupInfo.hStdError = output.child.get();
  startup.lpAttributeList = handleList.get();
  // CreateProcessW may write into it; the password, if it goes on the line, is in this copy only.
  std::wstring commandLine = WithPassword(call.CommandLine, call.PasswordAt, password);
  PROCESS_INFORMATION info{};
  // No console of its own: a console per call costs a console host each time. Suspended until it has
  // joined the run's job, so that ending the job ends all it does.
  const BOOL started =
      CreateProcessW(rarPath.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                     DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED, nullptr,
                     nullptr, &startup.StartupInfo, &info);
  const DWORD error = GetLastError();
  // The child holds its own copies now; with ours gone, the pipe ends when the child closes its end.
  output.child.reset();
  in.child.reset();
  if (!started) return startFailed(error);
  UniqueHandle process(info.hProcess), thread(info.hThread);
  // Resumed only once it can be ended with the rest; a run already stopped ends it here instead.
  if (!archivers || archivers->Take(process.get())) ResumeThread(thread.get());
  thread.reset();
  struct Forgotten {
    RunningArchivers* archivers;
    HANDLE process;
    ~Forgotten() {
      if (archivers) archivers->Forget(process);
    }
  } forgotten{archivers, process.get()};
  if (feedsInput) {
    DWORD written = 0;
    WriteFile(in.parent.get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    in.parent.reset();  // the end of the input
  }

  KeptOutput kept = keepBytes ? KeptOutput(keepBytes, 0) : KeptOutput();
  const OutputSink sink = bytes ? bytes : OutputSink([&kept](const char* data, std::size_t size) { kept.Append(data, size); });
  if (timeLimitMs) {
    ReadWithin(output.parent.get(), process.get(), timeLimitMs, sink);
  } else {
    ReadToEnd(output.parent.get(), sink);
  }
  // Should reading stop early, a child still writing fails instead of waiting for room in the pipe.
  output.parent.reset();
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  call.Outcome = CallOutcome::Exited;
  call.ExitCode = code;
  call.Output = kept.Text(call.Utf8Output ? FromUtf8 : FromOem);
}

CallResult ProbeArchiver(const std::wstring& rarPath, RunningArchivers* archivers) {
  CallResult call;
  call.CommandLine = L"\"" + rarPath + L"\"";
  RunArchiverCall(rarPath, call, {}, archivers, 0, kBannerTimeLimitMs);
  return call;
}

std::optional<std::wstring> WhyArchiverUnusable(const CallResult& probe) {
  if (probe.Outcome == CallOutcome::StartFailed) return L"无法启动压缩程序：" + probe.Output;
  // Ended by a stop: that says nothing of the archiver.
  if (probe.Outcome != CallOutcome::Exited || probe.ExitCode == kEndedByStopExitCode) return std::nullopt;
  if (ParseArchiverVersion(probe.Output)) return std::nullopt;
  const std::wstring how = probe.ExitCode == kTimedOutExitCode
                               ? L"所选的程序在 " + Decimal(kBannerTimeLimitMs / 1000) + L" 秒内没有结束"
                               : std::wstring(L"所选的程序没有给出压缩程序的版本信息");
  return how + L"，它不是命令行压缩程序。请在第一栏选择命令行压缩程序 Rar.exe（不要选择压缩软件的窗口程序），没有处理任何压缩包。";
}

}  // namespace rarbatch
