// The program's folder, the script file beside the program, and starting it.
#include "script_runner.h"

#include <string>
#include <vector>

#include "core/paths.h"
#include "core/script_check.h"

namespace rarbatch {

std::wstring ProgramFolder() {
  // Grow the buffer until the whole path fits: a program folder may be longer than MAX_PATH.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return WithTrailingBackslash(L".");
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L'\\');
  path.resize(slash == std::wstring::npos ? 0 : slash);
  return WithTrailingBackslash(path);
}

std::wstring ScriptPath(const std::wstring& myPath) { return myPath + L"tmp.bat"; }

namespace {

// Converts to the ANSI code page; false when a character had no exact counterpart.
bool ToAnsiStrict(const std::wstring& text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  BOOL usedDefault = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                       static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       &usedDefault);
  if (size <= 0 || usedDefault) return false;
  out.resize(static_cast<std::size_t>(size));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                      out.data(), size, nullptr, &usedDefault);
  return !usedDefault;
}

}  // namespace

bool IsAnsiEncodable(const std::wstring& text) {
  std::string bytes;
  return ToAnsiStrict(text, bytes);
}

std::optional<std::wstring> WriteScriptFile(const std::wstring& path, const std::wstring& text) {
  std::string bytes;
  if (!ToAnsiStrict(text + L"\r\n", bytes)) {
    return L"批处理文件含有系统代码页无法表示的字符，未写入：" + path;
  }
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return DescribeFailure(L"无法创建批处理文件", path, GetLastError());
  std::size_t written = 0;
  while (written < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
    DWORD done = 0;
    if (!WriteFile(file.get(), bytes.data() + written, chunk, &done, nullptr) || done == 0) {
      return DescribeFailure(L"无法写入批处理文件", path, GetLastError());
    }
    written += done;
  }
  return std::nullopt;
}

std::optional<std::wstring> StartScript(const std::wstring& path, UniqueHandle* process) {
  // Quoted, so that a folder with spaces is not taken for a shorter program name.
  std::wstring commandLine = L"\"" + path + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return DescribeFailure(L"无法运行批处理文件", path, GetLastError());
  }
  CloseHandle(info.hThread);
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

bool GenerateAndRun(HWND owner, const std::wstring& title, const std::wstring& myPath,
                    const BatchJob& job, UniqueHandle* process) {
  auto tell = [&](const std::wstring& text, UINT icon) {
    MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | icon);
  };
  if (job.RarPath.empty()) {
    tell(kMissingRarMessage, MB_ICONINFORMATION);
    return false;
  }
  if (auto problem = FindScriptProblem(job, IsAnsiEncodable)) {
    tell(*problem, MB_ICONWARNING);
    return false;
  }
  if (auto error = WriteAndRunScript(myPath, ComposeBatchScript(job), process)) {
    tell(*error, MB_ICONERROR);
    return false;
  }
  return true;
}

}  // namespace rarbatch
