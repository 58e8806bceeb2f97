// rarbatch-cli: runs a saved job from a console, with the same runner as the window's own run, or
// writes a job of a folder tree's archives.
#include <windows.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "core/cli_arguments.h"
#include "core/job_file.h"
#include "core/run_export.h"
#include "core/script_check.h"
#include "core/utf8.h"
#include "core/volume_names.h"
#include "lists/dropped_files.h"
#include "run/job_runner.h"
#include "win/error_text.h"
#include "win/handles.h"
#include "win/saved_files.h"
#include "win/user_settings.h"

namespace rarbatch {
namespace {

// Text to a standard handle: through the console's own call when it is a console (any character
// shows), as UTF-8 bytes when it is a file or a pipe.
void Write(DWORD which, const std::wstring& text) {
  static std::mutex lock;
  const std::lock_guard<std::mutex> hold(lock);
  HANDLE handle = GetStdHandle(which);
  if (!handle || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  DWORD done = 0;
  if (GetConsoleMode(handle, &mode)) {
    WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    return;
  }
  std::string bytes;
  if (auto utf8 = ToUtf8(text)) {
    bytes = std::move(*utf8);
  } else {
    for (wchar_t c : text) bytes += ToUtf8(std::wstring(1, c)).value_or("?");
  }
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}
void Out(const std::wstring& text) { Write(STD_OUTPUT_HANDLE, text + L"\n"); }
void Err(const std::wstring& text) { Write(STD_ERROR_HANDLE, text + L"\n"); }

int Refuse(const std::wstring& why) {
  Err(L"rarbatch-cli：" + why);
  return kExitBadInput;
}

// Ctrl+C and Ctrl+Break: the main thread, which owns the runner, is told through this event.
HANDLE g_interrupt = nullptr;
BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  SetEvent(g_interrupt);
  return TRUE;
}

std::wstring Environment(const wchar_t* name) {
  const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return {};
  std::wstring value(needed, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), needed));
  return value;
}

// The password from RARBATCH_PASSWORD, or typed at the console without echo; nothing without either.
std::optional<std::wstring> AskPassword() {
  if (std::wstring set = Environment(L"RARBATCH_PASSWORD"); !set.empty()) return set;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode)) return std::nullopt;
  Write(STD_ERROR_HANDLE, L"此任务需要密码，请输入（不回显）：");
  SetConsoleMode(input, (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT);
  std::wstring typed(1024, L'\0');
  DWORD read = 0;
  const BOOL ok = ReadConsoleW(input, typed.data(), static_cast<DWORD>(typed.size()), &read, nullptr);
  SetConsoleMode(input, mode);
  Write(STD_ERROR_HANDLE, L"\n");
  if (!ok) return std::nullopt;
  typed.resize(read);
  while (!typed.empty() && (typed.back() == L'\n' || typed.back() == L'\r')) typed.pop_back();
  return typed;
}

std::wstring UtcNow() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  wchar_t text[32];
  swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
           now.wMinute, now.wSecond);
  return text;
}

std::optional<SavedJob> LoadJob(const std::wstring& path, std::wstring& why) {
  const SmallFile file = ReadSmallFile(path, kMaxJobFileBytes);
  if (file.TooLarge) {
    why = *JobFileSizeRefusal(file.Size);
    return std::nullopt;
  }
  if (file.Error != ERROR_SUCCESS) {
    why = DescribeFailure(L"无法读取任务文件", path, file.Error);
    return std::nullopt;
  }
  JobFileRead read = ReadJobFile(file.Bytes);
  if (!read.Saved) why = path + L"\n" + read.Refusal;
  return std::move(read.Saved);
}

struct Timing {
  std::chrono::steady_clock::time_point Started;
  double Seconds = -1;
  std::wstring Finished;
};

int Run(const CliArguments& arguments) {
  std::wstring why;
  std::optional<SavedJob> saved = LoadJob(arguments.JobFile, why);
  if (!saved) return Refuse(why);
  BatchJob job = std::move(saved->Job);
  if (job.RarPath.empty()) return Refuse(L"任务没有指定 Rar.exe 的路径。");
  if (job.Archives.empty()) return Refuse(L"任务中没有压缩包。");
  if (job.UsePassword) {
    auto password = AskPassword();
    if (!password || password->empty()) {
      return Refuse(L"此任务需要密码：请设置环境变量 RARBATCH_PASSWORD，或在控制台中运行以便输入。");
    }
    job.Password = std::move(*password);
  }
  if (auto problem = FindRunProblem(job)) return Refuse(*problem);

  const std::size_t total = job.Archives.size();
  std::vector<Timing> timings(total);
  std::mutex timingLock;
  std::size_t finished = 0;
  UniqueHandle ended(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle interrupt(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!ended || !interrupt) return Refuse(DescribeFailure(L"无法开始处理", L"", GetLastError()));
  JobRunner* runner = nullptr;
  JobEvents events;
  events.ArchiveStarted = [&](std::size_t i) {
    const std::lock_guard<std::mutex> hold(timingLock);
    timings[i].Started = std::chrono::steady_clock::now();
  };
  events.ArchiveFinished = [&](std::size_t i) {
    const ArchiveResult result = runner->Result(i);
    std::size_t done;
    {
      const std::lock_guard<std::mutex> hold(timingLock);
      Timing& timing = timings[i];
      if (timing.Started != std::chrono::steady_clock::time_point{}) {
        timing.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - timing.Started).count();
      }
      timing.Finished = UtcNow();
      done = ++finished;
    }
    std::wstring line = L"[" + std::to_wstring(done) + L"/" + std::to_wstring(total) + L"] " +
                        ArchiveStateName(result.State) + L"  " + result.Archive;
    if (!result.Detail.empty()) line += L"  " + result.Detail;
    Err(line);
  };
  events.RunEnded = [&] { SetEvent(ended.get()); };

  const auto start = std::chrono::steady_clock::now();
  JobRunner run(job, arguments.Workers ? arguments.Workers : DefaultWorkerCount(), std::move(events));
  runner = &run;
  g_interrupt = interrupt.get();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  if (!run.Start()) {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    return Refuse(DescribeFailure(L"无法开始处理", L"", GetLastError()));
  }
  bool stopped = false;
  HANDLE waits[] = {ended.get(), interrupt.get()};
  while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    if (!stopped) {
      // The calls running now finish; the archives not started are left as they are.
      stopped = true;
      run.Stop();
      Err(L"正在停止：等待正在进行的调用结束（再按一次 Ctrl+C 立即终止）……");
    } else {
      run.Abort();
    }
  }
  run.Wait();
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);

  const RunCounts counts = run.Counts();
  int exitCode = stopped ? kExitStopped
                 : counts.Failure > 0 ? kExitFailures
                 : counts.Warning > 0 ? kExitWarnings
                                      : kExitSuccess;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
  if (arguments.Report != ReportFormat::None) {
    ExportRun report;
    report.JobFile = arguments.JobFile;
    report.ExitCode = exitCode;
    for (std::size_t i = 0; i < total; ++i) {
      const ArchiveResult result = run.Result(i);
      report.Rows.push_back({result.Archive, result.State, result.Detail, result.Calls, timings[i].Seconds,
                             timings[i].Finished});
    }
    // A report that cannot be written is a failure: whoever reads it later would find nothing.
    std::string bytes;
    if (arguments.Report == ReportFormat::Csv) {
      bytes = FormatCsvReport(report);
    } else {
      bytes = FormatJsonReport(report);
    }
    if (const DWORD error = ReplaceFileContents(arguments.ReportFile, bytes); error != ERROR_SUCCESS) {
      Err(DescribeFailure(L"无法写入报告", arguments.ReportFile, error));
      if (exitCode < kExitFailures) exitCode = kExitFailures;
    }
  }
  Out(L"共 " + std::to_wstring(total) + L" 个压缩包：成功 " + std::to_wstring(counts.Success) + L"，警告 " +
      std::to_wstring(counts.Warning) + L"，失败 " + std::to_wstring(counts.Failure) + L"，已停止 " +
      std::to_wstring(counts.Stopped) + L"，用时 " + std::to_wstring(seconds / 60) + L":" +
      (seconds % 60 < 10 ? L"0" : L"") + std::to_wstring(seconds % 60));
  return exitCode;
}

int Scan(const CliArguments& arguments) {
  // The job holds full paths, so that it runs the same from any current folder.
  std::wstring folder(32768, L'\0');
  const DWORD length = GetFullPathNameW(arguments.Folder.c_str(), static_cast<DWORD>(folder.size()), folder.data(), nullptr);
  if (length == 0 || length >= folder.size()) return Refuse(DescribeFailure(L"无效的文件夹", arguments.Folder, GetLastError()));
  folder.resize(length);
  if (!IsFolder(folder)) return Refuse(L"找不到文件夹：" + folder);
  if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  std::vector<std::wstring> found;
  std::vector<UnlistedFolder> unlisted;
  ListArchivesInTree(folder, found, unlisted);
  SavedJob saved;
  for (std::wstring& archive : found) {
    if (!IsLaterVolume(archive)) saved.Job.Archives.push_back(std::move(archive));
  }
  if (saved.Job.Archives.size() > kMaxJobListItems) {
    return Refuse(L"找到 " + std::to_wstring(saved.Job.Archives.size()) + L" 个压缩包，超过了一个任务最多 " +
                  std::to_wstring(kMaxJobListItems) + L" 个的上限；请分文件夹扫描。");
  }
  saved.Job.RarPath = FindArchiver(LoadSettings(SettingsFilePath()).LastArchiver);
  for (const UnlistedFolder& skipped : unlisted) Err(DescribeFailure(L"无法列出文件夹", skipped.Folder, skipped.Error));
  std::wstring why;
  const auto bytes = WriteJobFile(saved, &why);
  if (!bytes) return Refuse(why);
  if (const DWORD error = ReplaceFileContents(arguments.OutFile, *bytes); error != ERROR_SUCCESS) {
    Err(DescribeFailure(L"无法写入任务文件", arguments.OutFile, error));
    return kExitFailures;
  }
  Out(L"找到 " + std::to_wstring(saved.Job.Archives.size()) + L" 个压缩包，已写入 " + arguments.OutFile +
      (saved.Job.RarPath.empty() ? L"（没有找到 Rar.exe，请在任务中填写）" : L""));
  return unlisted.empty() ? kExitSuccess : kExitWarnings;
}

int Main(int argc, wchar_t** argv) {
  std::vector<std::wstring> arguments(argv + 1, argv + argc);
  const ParsedArguments parsed = ParseCliArguments(arguments);
  if (!parsed.Arguments) {
    Err(L"rarbatch-cli：" + parsed.Error);
    Write(STD_ERROR_HANDLE, CliUsage());
    return kExitBadInput;
  }
  switch (parsed.Arguments->Command) {
    case CliCommand::Run: return Run(*parsed.Arguments);
    case CliCommand::Scan: return Scan(*parsed.Arguments);
    case CliCommand::Help: break;
  }
  Write(STD_OUTPUT_HANDLE, CliUsage());
  return kExitSuccess;
}

}  // namespace
}  // namespace rarbatch

int wmain(int argc, wchar_t** argv) {
  try {
    return rarbatch::Main(argc, argv);
  } catch (const std::exception& failure) {
    rarbatch::Err(L"rarbatch-cli：意外错误：" + std::wstring(failure.what(), failure.what() + std::strlen(failure.what())));
  } catch (...) {
    rarbatch::Err(L"rarbatch-cli：意外错误。");
  }
  return rarbatch::kExitFailures;
}
