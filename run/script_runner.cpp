// The program's folder, the script file beside the program, and starting it.
#include "script_runner.h"

#include <string>
#include <vector>

#include "core/script_check.h"
#include "win/error_text.h"
#include "win/file_ops.h"
#include "win/files.h"
#include "win/text.h"

namespace rarbatch {

std::wstring ScriptPath(const std::wstring& myPath) { return myPath + L"tmp.bat"; }

bool IsScriptEncodable(const std::wstring& text) { return IsEncodable(text, CP_OEMCP); }

std::optional<std::wstring> WriteScriptFile(const std::wstring& path, const std::wstring& text) {
  // The interpreter reads a batch file in its console's code page: the OEM one for a new console.
  const std::optional<std::string> encoded = ToCodePage(text + L"\r\n", CP_OEMCP);
  if (!encoded) return L"批处理文件含有系统代码页无法表示的字符，未写入：" + path;
  // The file is created only once its text is known to convert whole, so a refusal leaves an
  // earlier file untouched.
  const DWORD error = WriteWholeFile(path, *encoded);
  if (error != ERROR_SUCCESS) return DescribeFailure(L"无法写入批处理文件", path, error);
  return std::nullopt;
}

std::wstring ScriptCommandLine(const std::wstring& systemFolder, const std::wstring& scriptPath) {
  // /d: no AutoRun commands from the registry, which could change the code page before the script
  // is read. /v:off: no delayed expansion, which would eat the '!' in names. /s /c: the outer quotes
  // are removed and the quoted script path is run as it stands.
  return L"\"" + systemFolder + L"\\cmd.exe\" /d /v:off /s /c \"\"" + scriptPath + L"\"\"";
}

std::optional<std::wstring> StartScript(const std::wstring& path, UniqueHandle* process) {
  // The interpreter of the system folder, never one that the search path would find first.
  std::wstring systemFolder(MAX_PATH, L'\0');
  const UINT length = GetSystemDirectoryW(systemFolder.data(), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return DescribeFailure(L"无法找到命令解释器", L"", GetLastError());
  }
  systemFolder.resize(length);
  const std::wstring interpreter = systemFolder + L"\\cmd.exe";
  std::wstring commandLine = ScriptCommandLine(systemFolder, path);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    return DescribeFailure(L"无法运行批处理文件", path, GetLastError());
  }
  const UniqueHandle thread(info.hThread);
  UniqueHandle owned(info.hProcess);
  if (process) *process = std::move(owned);
  return std::nullopt;
}

std::optional<std::wstring> WriteAndRunScript(const std::wstring& myPath, const std::wstring& text,
                                              UniqueHandle* process) {
  const std::wstring path = ScriptPath(myPath);
  if (auto error = WriteScriptFile(path, text)) return error;
  return StartScript(path, process);
}

bool ScriptFileCleanup::DeleteWhenEnded(HANDLE process, std::wstring path) {
  Wait();
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE,
                       0)) {
    return false;
  }
  process_ = UniqueHandle(copy);
  path_ = std::move(path);
  thread_ = UniqueHandle(CreateThread(nullptr, 0, &ScriptFileCleanup::Run, this, 0, nullptr));
  // Without a thread, wait here rather than leave the password behind.
  if (!thread_) Run(this);
  return true;
}

DWORD WINAPI ScriptFileCleanup::Run(void* self) {
  auto* me = static_cast<ScriptFileCleanup*>(self);
  WaitForSingleObject(me->process_.get(), INFINITE);
  // The interpreter has closed the file when its process has ended; a virus scanner may still hold
  // it for a moment.
  for (int attempt = 0; attempt < 50; ++attempt) {
    const DWORD error = DeleteFileAt(me->path_);
    if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND) break;
    Sleep(100);
  }
  return 0;
}

void ScriptFileCleanup::Wait() {
  if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
  process_.reset();
}

GenerateResult GenerateAndRun(const std::wstring& myPath, const BatchJob& job,
                              UniqueHandle* process) {
  if (job.RarPath.empty()) return {GenerateOutcome::MissingRar, kMissingRarMessage};
  if (auto problem = FindScriptProblem(job, IsScriptEncodable)) {
    return {GenerateOutcome::Refused, std::move(*problem)};
  }
  if (auto error = WriteAndRunScript(myPath, ComposeBatchScript(job), process)) {
    return {GenerateOutcome::Failed, std::move(*error)};
  }
  return {GenerateOutcome::Started, {}};
}

}  // namespace rarbatch
