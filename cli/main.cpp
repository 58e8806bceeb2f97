// rarbatch-cli: runs a saved job from a console, with the same runner as the window's own run, or
// writes a job of a folder tree's archives.
#include <windows.h>

#include <cstring>
#include <functional>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/cli_arguments.h"
#include "core/content_samples.h"
#include "core/job_file.h"
#include "core/number_text.h"
#include "core/preview_export.h"
#include "core/run_export.h"
#include "core/script_check.h"
#include "core/utf8.h"
#include "core/volume_names.h"
#include "lists/dropped_files.h"
#include "run/archive_preview.h"
#include "run/backup.h"
#include "run/job_runner.h"
#include "win/error_text.h"
#include "win/file_hash.h"
#include "win/file_ops.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/saved_files.h"
#include "win/threads.h"
#include "win/user_settings.h"

namespace rarbatch {
namespace {

// Text to a standard handle: through the console's own call when it is a console (any character
// shows), as UTF-8 bytes when it is a file or a pipe.
void Write(DWORD which, const std::wstring& text) {
  static Mutex lock;
  const std::lock_guard<Mutex> hold(lock);
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

// The error output while archives finish: a line per archive and, when the error output is a console,
// a progress bar kept on the line below the last one, redrawn in place.
class Progress {
 public:
  explicit Progress(std::size_t total) : total_(total) {
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) &&
        GetConsoleScreenBufferInfo(handle, &screen)) {
      // One cell short of the window's width: a full line would move the cursor onto the next.
      const int width = screen.srWindow.Right - screen.srWindow.Left;
      width_ = width > 0 ? static_cast<std::size_t>(width) : 0;
    }
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // An archive's line, numbered "[3/120] ", above the bar.
  void Finished(const std::wstring& text) {
    const std::lock_guard<Mutex> hold(lock_);
    ++done_;
    Show(L"[" + Decimal(done_) + L"/" + Decimal(total_) + L"] " + text);
  }
  // Any other line, above the bar.
  void Note(const std::wstring& text) {
    const std::lock_guard<Mutex> hold(lock_);
    Show(text);
  }
  // Takes the bar away, leaving the lines.
  void Finish() {
    const std::lock_guard<Mutex> hold(lock_);
    if (width_ != 0) Write(STD_ERROR_HANDLE, Blank());
    width_ = 0;
  }

 private:
  void Show(const std::wstring& text) {
    if (width_ == 0) {
      Err(text);
    } else {
      Write(STD_ERROR_HANDLE, Blank() + text + L"\n" + FormatProgressBar(done_, total_, width_));
    }
  }
  std::wstring Blank() const { return L"\r" + std::wstring(width_, L' ') + L"\r"; }

  Mutex lock_;
  const std::size_t total_;
  std::size_t done_ = 0;
  std::size_t width_ = 0;  // 0: not a console, no bar
};

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

// RARBATCH_PASSWORD as it was at the start. It is taken out of the environment at once, so that no
// archiver the companion starts inherits it.
std::wstring gEnvironmentPassword;

// The password from RARBATCH_PASSWORD, or typed at the console without echo; nothing without either.
std::optional<std::wstring> AskPassword() {
  if (!gEnvironmentPassword.empty()) return gEnvironmentPassword;
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
  return PaddedDigits(now.wYear, 4) + L"-" + PaddedDigits(now.wMonth, 2) + L"-" + PaddedDigits(now.wDay, 2) + L"T" +
         PaddedDigits(now.wHour, 2) + L":" + PaddedDigits(now.wMinute, 2) + L":" + PaddedDigits(now.wSecond, 2) + L"Z";
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
  std::optional<Stopwatch> Started;
  double Seconds = -1;
  std::wstring Finished;
};

// What a run or a preview waits on: its end, told from a worker thread, and Ctrl+C (or Ctrl+Break),
// which is caught only from Catch to Release.
class EndOrStop {
 public:
  EndOrStop()
      : ended_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), interrupt_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~EndOrStop() { Release(); }
  EndOrStop(const EndOrStop&) = delete;
  EndOrStop& operator=(const EndOrStop&) = delete;

  bool Ready() const { return ended_ && interrupt_; }
  void Ended() { SetEvent(ended_.get()); }
  void Catch() {
    g_interrupt = interrupt_.get();
    caught_ = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
  }
  void Release() {
    if (caught_) SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    caught_ = false;
  }
  // Waits for the end. The first Ctrl+C calls `stop` (what runs now finishes, nothing more starts), a
  // later one `abort` when there is one. True when stopped.
  bool Wait(Progress& progress, const std::function<void()>& stop, const std::function<void()>& abort) {
    bool stopped = false;
    HANDLE waits[] = {ended_.get(), interrupt_.get()};
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
      if (!stopped) {
        stopped = true;
        stop();
        progress.Note(abort ? L"正在停止：等待正在进行的调用结束（再按一次 Ctrl+C 立即终止）……"
                            : L"正在停止：等待正在进行的列出结束……");
      } else if (abort) {
        abort();
      }
    }
    return stopped;
  }

 private:
  UniqueHandle ended_, interrupt_;
  bool caught_ = false;
};

// Writes the report file; one that cannot be written makes the run a failure, as whoever reads it
// later would find nothing.
int WriteReport(const CliArguments& arguments, const std::string& bytes, int exitCode) {
  if (const DWORD error = ReplaceFileContents(arguments.ReportFile, bytes); error != ERROR_SUCCESS) {
    Err(DescribeFailure(L"无法写入报告", arguments.ReportFile, error));
    if (exitCode < kExitFailures) exitCode = kExitFailures;
  }
  return exitCode;
}

std::wstring Duration(long long seconds) {
  return Decimal(seconds / 60) + L":" + (seconds % 60 < 10 ? L"0" : L"") + Decimal(seconds % 60);
}

// `run --preview`: each archive's listing and what the job would do to it; nothing is changed.
int Preview(const CliArguments& arguments, BatchJob job) {
  const std::size_t total = job.Archives.size();
  Progress progress(total);
  EndOrStop end;
  if (!end.Ready()) return Refuse(DescribeFailure(L"无法开始预览", L"", GetLastError()));
  JobPreviewer* previewer = nullptr;
  PreviewEvents events;
  events.ArchiveDone = [&](std::size_t i) {
    const ArchivePreview preview = previewer->Result(i);
    const PreviewRow row = DescribePreview(previewer->Job(), preview);
    progress.Finished(row.State + L"  " + preview.Archive + (row.Words.empty() ? L"" : L"  " + row.Words));
  };
  events.Ended = [&] { end.Ended(); };
  JobPreviewer preview(job, arguments.Workers ? arguments.Workers : DefaultWorkerCount(), std::move(events));
  previewer = &preview;
  end.Catch();
  preview.Start();
  const bool stopped = end.Wait(progress, [&] { preview.Stop(); }, nullptr);
  preview.Wait();
  end.Release();
  progress.Finish();

  std::vector<ArchivePreview> previews = preview.Results();
  for (std::size_t i = 0; i < previews.size(); ++i) {
    if (preview.IsDone(i)) continue;
    previews[i] = ArchivePreview{};
    previews[i].Archive = job.Archives[i];
    previews[i].ListProblem = L"已停止，未预览";
  }
  int exitCode = stopped ? kExitStopped : PreviewExitCode(previews);
  if (arguments.Report == ReportFormat::Csv) {
    exitCode = WriteReport(arguments, FormatCsvPreview(job, previews), exitCode);
  } else if (arguments.Report == ReportFormat::Json) {
    exitCode = WriteReport(arguments, FormatJsonPreview(arguments.JobFile, exitCode, job, previews), exitCode);
  }
  Out(L"预览：" + FormatPreviewSummary(job, previews, preview.Cost()) + L"；用时 " + Duration(static_cast<long long>(preview.ElapsedMs() / 1000)) +
      L"。没有修改任何压缩包。");
  return exitCode;
}

int Run(const CliArguments& arguments) {
  std::wstring why;
  std::optional<SavedJob> saved = LoadJob(arguments.JobFile, why);
  if (!saved) return Refuse(why);
  BatchJob job = std::move(saved->Job);
  if (job.RarPath.empty()) return Refuse(L"任务没有指定 Rar.exe 的路径。");
  if (job.Archives.empty()) return Refuse(L"任务中没有压缩包。");
  if (arguments.Preview) {
    // A preview adds nothing, so it needs no password: the job is checked as it would run without one.
    BatchJob checked = job;
    checked.UsePassword = false;
    if (auto problem = FindRunProblem(checked)) return Refuse(*problem);
    // Listing encrypted names and comparing encrypted entries by content need the password: taken
    // from the environment when it is there, never asked for; without it such archives are not
    // previewed and such entries are reported as not compared.
    if (job.UsePassword) job.Password = gEnvironmentPassword;
    return Preview(arguments, std::move(job));
  }
  if (job.UsePassword) {
    auto password = AskPassword();
    if (!password || password->empty()) {
      return Refuse(L"此任务需要密码：请设置环境变量 RARBATCH_PASSWORD，或在控制台中运行以便输入。");
    }
    job.Password = std::move(*password);
  }
  if (auto problem = FindRunProblem(job)) return Refuse(*problem);
  // The run's options: the job's own, turned on (never off) by the arguments.
  job.KeepTimes = job.KeepTimes || arguments.KeepTimes;
  job.TestBeforeLock = job.TestBeforeLock || arguments.TestBeforeLock;
  job.Backup = job.Backup || !arguments.BackupTo.empty();
  const std::wstring backupParent = arguments.BackupTo.empty() ? saved->BackupParent : arguments.BackupTo;
  if (job.Backup && backupParent.empty()) {
    return Refuse(L"任务要求修改前备份，但没有备份文件夹：请用 --backup-to 指定。");
  }
  const unsigned workers = arguments.Workers ? arguments.Workers : DefaultWorkerCount();
  // The window's rule, before any call: room for the archiver's new copies and for the backups.
  if (auto problem = FindSpaceProblem(job, workers, job.Backup ? backupParent : L"")) {
    Err(L"rarbatch-cli：" + *problem);
    return kExitFailures;
  }
  if (job.Backup) {
    std::wstring error;
    job.BackupFolder = MakeRunBackupFolder(backupParent, &error);
    if (job.BackupFolder.empty()) {
      Err(L"rarbatch-cli：" + error + L"\n没有开始处理。");
      return kExitFailures;
    }
    Err(L"备份文件夹：" + job.BackupFolder);
  }

  const std::size_t total = job.Archives.size();
  Progress progress(total);
  std::vector<Timing> timings(total);
  Mutex timingLock;
  EndOrStop end;
  if (!end.Ready()) return Refuse(DescribeFailure(L"无法开始处理", L"", GetLastError()));
  JobRunner* runner = nullptr;
  JobEvents events;
  events.ArchiveStarted = [&](std::size_t i) {
    const std::lock_guard<Mutex> hold(timingLock);
    timings[i].Started.emplace();
  };
  events.ArchiveFinished = [&](std::size_t i) {
    const ArchiveSummary row = runner->Row(i);
    {
      const std::lock_guard<Mutex> hold(timingLock);
      Timing& timing = timings[i];
      if (timing.Started) {
        timing.Seconds = timing.Started->Seconds();
      }
      timing.Finished = UtcNow();
    }
    std::wstring line = std::wstring(ArchiveStateName(row.State)) + L"  " + runner->ArchiveName(i);
    if (!row.Detail.empty()) line += L"  " + row.Detail;
    progress.Finished(line);
  };
  events.RunEnded = [&] { end.Ended(); };

  const Stopwatch start;
  JobRunner run(job, workers, std::move(events));
  runner = &run;
  end.Catch();
  if (!run.Start()) return Refuse(DescribeFailure(L"无法开始处理", L"", GetLastError()));
  // The first Ctrl+C lets the running calls finish and leaves the archives not started as they are.
  const bool stopped = end.Wait(progress, [&] { run.Stop(); }, [&] { run.Abort(); });
  run.Wait();
  end.Release();
  progress.Finish();

  const RunCounts counts = run.Counts();
  int exitCode = stopped ? kExitStopped
                 : counts.Failure > 0 ? kExitFailures
                 : counts.Warning > 0 ? kExitWarnings
                                      : kExitSuccess;
  const auto seconds = static_cast<long long>(start.Seconds());  // whole seconds, rounded down
  if (arguments.Report != ReportFormat::None) {
    ExportRun report;
    report.JobFile = arguments.JobFile;
    report.ExitCode = exitCode;
    for (std::size_t i = 0; i < total; ++i) {
      const ArchiveResult result = run.Result(i);
      report.Rows.push_back({result.Archive, result.State, result.Detail, result.Calls, timings[i].Seconds,
                             timings[i].Finished, result.Content});
    }
    report.Samples = job.Samples;
    exitCode = WriteReport(arguments,
                           arguments.Report == ReportFormat::Csv ? FormatCsvReport(report) : FormatJsonReport(report),
                           exitCode);
  }
  Out(L"共 " + Decimal(total) + L" 个压缩包：成功 " + Decimal(counts.Success) + L"，警告 " +
      Decimal(counts.Warning) + L"，失败 " + Decimal(counts.Failure) + L"，已停止 " +
      Decimal(counts.Stopped) + L"，用时 " + Duration(seconds));
  return exitCode;
}

// `restore`: every archive of a manifest put back as the window's 还原 puts it back, each with what
// became of it, and a report when asked for.
int Restore(const CliArguments& arguments) {
  const RestoreOutcome outcome = RestoreFromManifest(arguments.Manifest);
  if (!outcome.Error.empty()) return Refuse(outcome.Error);
  std::size_t restored = 0;
  for (const RestoreRow& row : outcome.Rows) {
    restored += row.Restored ? 1 : 0;
    Err((row.Restored ? L"已还原  " : L"还原失败  ") + row.Archive + (row.Detail.empty() ? L"" : L"  " + row.Detail));
  }
  if (!outcome.Note.empty()) Err(outcome.Note);
  int exitCode = restored == outcome.Rows.size() ? kExitSuccess : kExitFailures;
  if (arguments.Report != ReportFormat::None) {
    ExportRun report;
    report.JobFile = arguments.Manifest;
    report.ExitCode = exitCode;
    for (const RestoreRow& row : outcome.Rows) {
      report.Rows.push_back({row.Archive, row.Restored ? ArchiveState::Success : ArchiveState::Failure,
                             (row.Restored ? L"已还原：" : L"还原失败：") + row.Detail, {}, -1, UtcNow()});
    }
    exitCode = WriteReport(arguments,
                           arguments.Report == ReportFormat::Csv ? FormatCsvReport(report) : FormatJsonReport(report),
                           exitCode);
  }
  Out(L"备份清单中共 " + Decimal(outcome.Rows.size()) + L" 个压缩包：已还原 " + Decimal(restored) + L"，失败 " +
      Decimal(outcome.Rows.size() - restored));
  return exitCode;
}

int Scan(const CliArguments& arguments) {
  // The job holds full paths, so that it runs the same from any current folder.
  std::wstring folder = FullPathOf(arguments.Folder);
  if (!IsExistingFolder(folder)) return Refuse(L"找不到文件夹：" + folder);
  if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  std::vector<std::wstring> found;
  std::vector<UnlistedFolder> unlisted;
  ListArchivesInTree(folder, found, unlisted);
  SavedJob saved;
  for (std::wstring& archive : found) {
    if (!IsLaterVolume(archive)) saved.Job.Archives.push_back(std::move(archive));
  }
  if (saved.Job.Archives.size() > kMaxJobListItems) {
    return Refuse(L"找到 " + Decimal(saved.Job.Archives.size()) + L" 个压缩包，超过了一个任务最多 " +
                  Decimal(kMaxJobListItems) + L" 个的上限；请分文件夹扫描。");
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
  Out(L"找到 " + Decimal(saved.Job.Archives.size()) + L" 个压缩包，已写入 " + arguments.OutFile +
      (saved.Job.RarPath.empty() ? L"（没有找到 Rar.exe，请在任务中填写）" : L""));
  return unlisted.empty() ? kExitSuccess : kExitWarnings;
}

// `sample add`: each file read through once and kept in the job as its size, CRC32 and SHA-256; an
// empty or unreadable file is refused with why, one already in the job is skipped, and the job file is
// replaced in one move only when something was added.
int SampleAdd(const CliArguments& arguments) {
  std::wstring why;
  std::optional<SavedJob> saved = LoadJob(arguments.JobFile, why);
  if (!saved) return Refuse(why);
  std::size_t added = 0, refused = 0;
  for (const std::wstring& file : arguments.SampleFiles) {
    const std::wstring path = FullPathOf(file);
    if (IsExistingFolder(path)) {
      Err(L"没有加入：" + path + L" 是文件夹，样本应为文件。");
      ++refused;
      continue;
    }
    DWORD error = ERROR_SUCCESS;
    const std::optional<ContentSample> sample = SampleOfFile(path, &error);
    if (!sample) {
      Err(L"没有加入：" + DescribeFailure(L"无法读取样本文件", path, error));
      ++refused;
    } else if (const auto refusal = SampleRefusal(*sample)) {
      Err(L"没有加入：" + *refusal);
      ++refused;
    } else if (HasSample(saved->Job.Samples, *sample)) {
      Err(L"已跳过：任务中已有内容相同的样本：" + path);
    } else if (saved->Job.Samples.size() >= kMaxJobListItems) {
      Err(L"没有加入：任务中的样本已达 " + Decimal(kMaxJobListItems) + L" 个的上限：" + path);
      ++refused;
    } else {
      saved->Job.Samples.push_back(*sample);
      Out(L"已加入样本：" + SampleName(*sample) + L"（" + Decimal(sample->Size) + L" 字节，SHA-256 " +
          DigestStart(*sample) + L"…）");
      ++added;
    }
  }
  if (added > 0) {
    const auto bytes = WriteJobFile(*saved, &why);
    if (!bytes) return Refuse(why);
    if (const DWORD error = ReplaceFileContents(arguments.JobFile, *bytes); error != ERROR_SUCCESS) {
      Err(DescribeFailure(L"无法写入任务文件", arguments.JobFile, error));
      return kExitFailures;
    }
  }
  Out(L"加入 " + Decimal(added) + L" 个样本，任务中共有 " + Decimal(saved->Job.Samples.size()) + L" 个样本" +
      (added > 0 ? L"，已写入 " + arguments.JobFile : L"，任务文件没有改动") + L"。");
  if (refused == 0) return kExitSuccess;
  return added > 0 ? kExitWarnings : kExitFailures;
}

// `sample list`: one line per sample of the job.
int SampleList(const CliArguments& arguments) {
  std::wstring why;
  const std::optional<SavedJob> saved = LoadJob(arguments.JobFile, why);
  if (!saved) return Refuse(why);
  if (saved->Job.Samples.empty()) Out(L"任务中没有样本。");
  for (const ContentSample& sample : saved->Job.Samples) {
    const std::wstring sha(sample.Sha256.begin(), sample.Sha256.end());
    Out(SampleName(sample) + L"  " + Decimal(sample.Size) + L" 字节  CRC32 " + Crc32Text(sample.Crc32) +
        L"  SHA-256 " + sha + L"  来源 " + (sample.Origin.empty() ? L"（未知）" : sample.Origin));
  }
  return kExitSuccess;
}

int Main(int argc, wchar_t** argv) {
  gEnvironmentPassword = Environment(L"RARBATCH_PASSWORD");
  SetEnvironmentVariableW(L"RARBATCH_PASSWORD", nullptr);
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
    case CliCommand::Restore: return Restore(*parsed.Arguments);
    case CliCommand::Sample:
      return parsed.Arguments->Sample == SampleAction::Add ? SampleAdd(*parsed.Arguments) : SampleList(*parsed.Arguments);
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
