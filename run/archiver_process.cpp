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

#include <memory>

#include "core/kept_output.h"
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
void ReadToEnd(HANDLE pipe, KeptOutput& kept) {
  char buffer[4096];
  for (;;) {
    DWORD got = 0;
    // A successful read of 0 bytes is an empty write, not the end.
    if (!ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) return;
    kept.Append(buffer, got);
  }
}

std::wstring FromOem(const std::string& bytes) { return FromCodePage(bytes, CP_OEMCP); }

}  // namespace

CallResult RunArchiverCall(const std::wstring& rarPath, const ArchiverCall& call) {
  CallResult result;
  result.Operation = call.Operation;
  result.CommandLine = call.CommandLine;
  auto startFailed = [&result](DWORD error) {
    result.Outcome = CallOutcome::StartFailed;
    result.Output = SystemErrorText(error);
    return result;
  };

  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) return startFailed(GetLastError());
  UniqueHandle output(readEnd), childOutput(writeEnd);
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  UniqueHandle childInput(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inheritable, OPEN_EXISTING, 0, nullptr));
  if (!childInput) return startFailed(GetLastError());
  if (!SetHandleInformation(childOutput.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
    return startFailed(GetLastError());
  }
  HANDLE inherited[] = {childInput.get(), childOutput.get()};
  InheritedHandles handleList;
  if (!handleList.Set(inherited, 2)) return startFailed(GetLastError());

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = childInput.get();
  startup.StartupInfo.hStdOutput = childOutput.get();
  startup.StartupInfo.hStdError = childOutput.get();
  startup.lpAttributeList = handleList.get();
  std::wstring commandLine = call.CommandLine;  // CreateProcessW may write into it
  PROCESS_INFORMATION info{};
  // No console of its own: a console per call costs a console host each time.
  const BOOL started =
      CreateProcessW(rarPath.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                     DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                     &startup.StartupInfo, &info);
  const DWORD error = GetLastError();
  // The child holds its own copies now; with ours gone, the pipe ends when the child closes its end.
  childOutput.reset();
  childInput.reset();
  if (!started) return startFailed(error);
  CloseHandle(info.hThread);
  UniqueHandle process(info.hProcess);

  KeptOutput kept;
  ReadToEnd(output.get(), kept);
  // Should reading stop early, a child still writing fails instead of waiting for room in the pipe.
  output.reset();
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  result.Outcome = CallOutcome::Exited;
  result.ExitCode = code;
  result.Output = kept.Text(FromOem);
  return result;
}

}  // namespace rarbatch
