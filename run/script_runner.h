// The program's folder, the script file beside the program, and starting it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "core/batch_script.h"
#include "win/handles.h"

namespace rarbatch {

// The script's path in the program's folder.
std::wstring ScriptPath(const std::wstring& myPath);

// Whether the string converts to the script's code page without any character being replaced. The
// interpreter reads a batch file in its console's code page, which for the new console of the
// script is the OEM code page (936 on Chinese systems, 437 or 850 on Western ones).
bool IsScriptEncodable(const std::wstring& text);

// Writes the text followed by CR LF to `path` in the OEM code page, creating or truncating the file.
// The text is converted first, so a failed conversion leaves an existing file untouched.
// Returns the error message, or nothing on success.
std::optional<std::wstring> WriteScriptFile(const std::wstring& path, const std::wstring& text);

// The command line that runs the script: the interpreter of `systemFolder` with AutoRun and
// delayed expansion off, and the quoted script path.
std::wstring ScriptCommandLine(const std::wstring& systemFolder, const std::wstring& scriptPath);

// Starts the script in a new, normally shown window and does not wait for it. The process handle is
// handed to `process` when given (tests wait on it), otherwise closed at once.
std::optional<std::wstring> StartScript(const std::wstring& path, UniqueHandle* process = nullptr);

// Writes the text to the script path in `myPath` and starts it.
std::optional<std::wstring> WriteAndRunScript(const std::wstring& myPath, const std::wstring& text,
                                              UniqueHandle* process = nullptr);

// What the generate action did, and what to tell the user when it did not start the script.
enum class GenerateOutcome { Started, MissingRar, Refused, Failed };
struct GenerateResult {
  GenerateOutcome Outcome;
  std::wstring Message;  // empty when started
};

// The whole generate action: refuses a job without the archiver's path or one that cannot be written
// safely, otherwise composes, writes and starts the script. Shows nothing: the caller tells the user.
GenerateResult GenerateAndRun(const std::wstring& myPath, const BatchJob& job,
                              UniqueHandle* process = nullptr);

// Deletes the script file once the process that runs it has ended, so that a password written into
// it does not stay on disk. The waiting happens on a thread of its own; destroying the object waits
// for the process to end and the file to go, so a program that closes its window first stays until
// then.
class ScriptFileCleanup {
 public:
  ScriptFileCleanup() = default;
  ~ScriptFileCleanup() { Wait(); }
  ScriptFileCleanup(const ScriptFileCleanup&) = delete;
  ScriptFileCleanup& operator=(const ScriptFileCleanup&) = delete;

  // Deletes `path` when `process` has ended. Waits for an earlier deletion first. False when the
  // process handle could not be kept; the file is then left alone.
  bool DeleteWhenEnded(HANDLE process, std::wstring path);
  // Waits until the process has ended and the file is deleted; returns at once when nothing waits.
  void Wait();

 private:
  static DWORD WINAPI Run(void* self);

  UniqueHandle thread_;
  UniqueHandle process_;
  std::wstring path_;
};

// The message shown when the archiver's path is empty.
inline constexpr wchar_t kMissingRarMessage[] = L"未指定 RAR.exe 的路径无法调用完成！";

// The message shown when the generate button is pressed while the last script still runs.
inline constexpr wchar_t kScriptStillRunningMessage[] =
    L"上一次生成的批处理文件仍在运行，请等它结束后再生成。";

}  // namespace rarbatch
