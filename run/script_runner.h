// The program's folder, the script file beside the program, and starting it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "core/batch_script.h"
#include "win_util.h"

namespace rarbatch {

// The folder that holds the running executable, ending in exactly one backslash.
std::wstring ProgramFolder();

// The script's path in the program's folder.
std::wstring ScriptPath(const std::wstring& myPath);

// Whether the string converts to the system's ANSI code page without any character being replaced.
bool IsAnsiEncodable(const std::wstring& text);

// Writes the text followed by CR LF to `path` in the ANSI code page, creating or truncating the file.
// The text is converted first, so a failed conversion leaves an existing file untouched.
// Returns the error message, or nothing on success.
std::optional<std::wstring> WriteScriptFile(const std::wstring& path, const std::wstring& text);

// Starts the script in a new, normally shown window and does not wait for it. The process handle is
// handed to `process` when given (tests wait on it), otherwise closed at once.
std::optional<std::wstring> StartScript(const std::wstring& path, UniqueHandle* process = nullptr);

// Writes the text to the script path in `myPath` and starts it.
std::optional<std::wstring> WriteAndRunScript(const std::wstring& myPath, const std::wstring& text,
                                              UniqueHandle* process = nullptr);

// The whole generate action: refuses a job without the archiver's path or one that cannot be written
// safely, otherwise composes, writes and starts the script. Every refusal and failure is shown in a
// message box owned by `owner` and titled `title`. Returns whether the script was started.
bool GenerateAndRun(HWND owner, const std::wstring& title, const std::wstring& myPath,
                    const BatchJob& job, UniqueHandle* process = nullptr);

// The message shown when the archiver's path is empty.
inline constexpr wchar_t kMissingRarMessage[] = L"未指定 RAR.exe 的路径无法调用完成！";

}  // namespace rarbatch
