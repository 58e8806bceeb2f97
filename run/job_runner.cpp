// Carries out a job inside the program: the archiver is called directly, archive by archive, several
// archives at once, and every archive's result is kept for the window to show.
#include "job_runner.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <numeric>

#include "archive_check.h"
#include "win/files.h"
#include "archiver_process.h"
#include "backup.h"
#include "win/file_identity.h"
#include "core/archive_course.h"
#include "core/backup_plan.h"
#include "core/number_text.h"
#include "core/paths.h"
#include "core/script_check.h"
#include "win/error_text.h"
#include "win/handles.h"
#include "win/text.h"
#include "win/threads.h"

namespace rarbatch {
namespace {

constexpr unsigned kMostWorkers = 4;

// No archive taken: what a worker's archive is before it takes one and after it is done with it.
constexpr std::size_t kNoArchive = static_cast<std::size_t>(-1);

// For each archive, the number of its file: list entries that name the same file (by volume and file
// index, so that every spelling of one file counts; by full path where it does not exist yet) share
// one number.
std::vector<std::size_t> SameFileGroups(const std::vector<std::wstring>& archives) {
  std::vector<std::wstring> keys;
  keys.reserve(archives.size());
  for (const auto& archive : archives) keys.push_back(SameFileKey(archive));
  std::vector<std::size_t> order(archives.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  std::vector<std::size_t> groups(archives.size());
  std::size_t group = 0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k > 0 && keys[order[k - 1]] != keys[order[k]]) ++group;
    groups[order[k]] = group;
  }
  return groups;
}

// The common root of the archives' full paths, below which their backups keep their places.
std::wstring BackupRoot(const std::vector<std::wstring>& archives) {
  std::vector<std::wstring> full;
  full.reserve(archives.size());
  for (const auto& archive : archives) full.push_back(FullPathOf(archive));
  return CommonRoot(full);
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(ExtendedLengthPath(FullPathOf(path)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The archiver's temporary files ("__rar_*") in the archive's folder, by name, for a call that was
// ended while it wrote one.
std::wstring TemporaryFilesBeside(const std::wstring& archive) {
  const std::wstring full = FullPathOf(archive);
  const std::wstring folder = full.substr(0, full.find_last_of(L'\\') + 1);
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileW(ExtendedLengthPath(folder + L"__rar_*").c_str(), &found));
  std::wstring names;
  if (!find) return names;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (!names.empty()) names += L"、";
    names += folder + found.cFileName;
  } while (FindNextFileW(find.get(), &found));
  return names;
}

// Writes a call's list file in UTF-8; false when it cannot.
bool WriteListFile(const CallResult& call) {
  // Never an empty file in place of names that have no UTF-8 form: the archiver would take it for
  // "nothing to delete".
  const std::optional<std::string> utf8 = ToCodePage(call.ListText, CP_UTF8);
  if (!utf8) return false;
  const std::string& bytes = *utf8;
  UniqueHandle file(CreateFileW(ExtendedLengthPath(call.ListFile).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace

unsigned DefaultWorkerCount() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return std::clamp<unsigned>(info.dwNumberOfProcessors, 1, kMostWorkers);
}

// Everything the workers and the owner share. `mutex` guards all below it.
struct JobRunner::Shared {
  Shared(BatchJob j, unsigned w, JobEvents e)
      : job(std::move(j)), workerCount(std::max(w, 1u)), events(std::move(e)),
        refused(FindRunProblem(job).has_value()), group(SameFileGroups(job.Archives)),
        groupBusy(job.Archives.size(), false), backupRoot(job.Backup ? BackupRoot(job.Archives) : L""),
        backedUp(job.Archives.size(), 0) {
    courses.reserve(job.Archives.size());
    for (const std::wstring& archive : job.Archives) courses.emplace_back(archive);
    counts.Total = counts.Waiting = courses.size();
  }

  // Changes archive `i`'s course by `change`, keeping the counts of its state.
  template <typename Change>
  void Update(std::size_t i, Change change) {
    const ArchiveState before = courses[i].State();
    change(courses[i]);
    Recount(before, courses[i].State());
  }

  void Recount(ArchiveState before, ArchiveState after) {
    auto count = [this](ArchiveState s) -> std::size_t& {
      switch (s) {
        case ArchiveState::Waiting: return counts.Waiting;
        case ArchiveState::Running: return counts.Running;
        case ArchiveState::Success: return counts.Success;
        case ArchiveState::Warning: return counts.Warning;
        case ArchiveState::Failure: return counts.Failure;
        case ArchiveState::Stopped: break;
      }
      return counts.Stopped;
    };
    auto ended = [](ArchiveState s) { return s != ArchiveState::Waiting && s != ArchiveState::Running; };
    --count(before);
    if (ended(before)) --counts.Done;
    ++count(after);
    if (ended(after)) ++counts.Done;
  }

  const BatchJob job;
  const unsigned workerCount;
  const JobEvents events;
  // The caller shows FindRunProblem's message and never starts such a job; should one come anyway,
  // nothing runs (a delete entry naming nothing would empty every archive).
  const bool refused;
  const std::vector<std::size_t> group;  // see SameFileGroups
  std::vector<Thread> workers;  // only the owner's thread touches these

  mutable Mutex mutex;
  Condition changed;  // an archive's file became free, or the run is stopping
  std::vector<bool> groupBusy;
  const std::wstring backupRoot;  // see BackupRoot
  std::vector<char> backedUp;     // per file (group), whether it was copied in this run
  std::vector<ArchiveCourse> courses;  // per archive: its steps so far, its calls and its state
  std::deque<std::size_t> pending;  // archives not yet taken, in list order
  RunCounts counts;
  bool stopping = false;
  bool aborting = false;
  bool running = false;
  unsigned active = 0;  // workers that have not finished
  // How the archiver is called, decided once by the first worker, before any archive is taken; the
  // other workers wait for it without the lock, so the owner is never held up.
  Mutex optionsLock;
  bool optionsDecided = false;
  CourseStart start;  // the options, the note on them and why the archiver cannot be used, if so
  std::string passwordInput;  // the password for the archiver's standard input, ANSI, with a line end
  // Every archiver the run starts, the version probe too, so that 停止 and closing end them all.
  RunningArchivers archivers;
  unsigned listFiles = 0;  // list files made so far, for their names
};

namespace {

// The job with its archiver found as the script's command interpreter finds a bare "Rar.exe": in the
// current folder, then on PATH.
BatchJob WithArchiverFound(BatchJob job) {
  job.RarPath = ResolveProgram(job.RarPath);
  return job;
}

}  // namespace

JobRunner::JobRunner(BatchJob job, unsigned workers, JobEvents events)
    : shared_(std::make_unique<Shared>(WithArchiverFound(std::move(job)), workers, std::move(events))) {}

JobRunner::~JobRunner() {
  Abort();
  Wait();
}

bool JobRunner::Start() {
  Shared& s = *shared_;
  if (s.refused) return false;
  {
    std::lock_guard lock(s.mutex);
    if (s.running) return false;
  }
  // Workers of an earlier run have ended, or are just returning from RunEnded.
  JoinWorkers();
  std::lock_guard lock(s.mutex);
  s.pending.clear();
  for (std::size_t i = 0; i < s.courses.size(); ++i) {
    if (s.courses[i].State() == ArchiveState::Waiting) s.pending.push_back(i);
  }
  if (s.pending.empty()) return false;
  s.stopping = false;
  s.aborting = false;
  s.archivers.Reopen();
  const std::size_t wanted = std::min<std::size_t>(s.workerCount, s.pending.size());
  // The workers wait for the lock held here until all are started.
  for (std::size_t k = 0; k < wanted; ++k) {
    s.workers.emplace_back();
    if (!s.workers.back().Start([this] { Work(); })) {
      s.workers.pop_back();
      break;  // work on with the workers there are
    }
    ++s.active;
  }
  if (s.active == 0) {
    s.pending.clear();
    return false;
  }
  s.running = true;
  return true;
}

bool JobRunner::Retry() {
  Shared& s = *shared_;
  {
    std::lock_guard lock(s.mutex);
    if (s.running) return false;
    for (std::size_t i = 0; i < s.courses.size(); ++i) s.Update(i, [](ArchiveCourse& c) { c.PrepareRetry(); });
  }
  return Start();
}

void JobRunner::Stop() {
  Shared& s = *shared_;
  std::lock_guard lock(s.mutex);
  if (!s.running) return;
  s.stopping = true;
  StopWaiting();
  s.changed.NotifyAll();
}

void JobRunner::StopWaiting() {
  Shared& s = *shared_;
  for (std::size_t i : s.pending) s.Update(i, [](ArchiveCourse& c) { c.Conclude(false); });
  s.pending.clear();
}

void JobRunner::Abort() {
  Stop();
  Shared& s = *shared_;
  std::lock_guard lock(s.mutex);
  if (!s.running || s.aborting) return;
  s.aborting = true;
  s.archivers.Close();
}

bool JobRunner::IsStopping() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->running && shared_->stopping;
}

void JobRunner::Wait() { JoinWorkers(); }

void JobRunner::JoinWorkers() {
  for (Thread& worker : shared_->workers) worker.Join();
  shared_->workers.clear();
}

bool JobRunner::IsRunning() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->running;
}

std::size_t JobRunner::ArchiveCount() const { return shared_->courses.size(); }

ArchiveResult JobRunner::Result(std::size_t archive) const {
  std::lock_guard lock(shared_->mutex);
  return shared_->courses.at(archive).Result();
}

ArchiveSummary JobRunner::Row(std::size_t archive) const {
  std::lock_guard lock(shared_->mutex);
  const ArchiveResult& result = shared_->courses.at(archive).Result();
  return {result.State, result.Detail};
}

const std::wstring& JobRunner::ArchiveName(std::size_t archive) const {
  return shared_->job.Archives.at(archive);  // the job never changes once the runner has it
}

RunCounts JobRunner::Counts() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->counts;
}

bool JobRunner::DecideOptions() {
  Shared& s = *shared_;
  const std::optional<std::string> ansi =
      s.job.UsePassword ? ToCodePage(s.job.Password, CP_ACP) : std::optional<std::string>(std::string());
  const CallResult probe = ProbeArchiver(s.job.RarPath, &s.archivers);
  if (probe.Outcome == CallOutcome::Exited && probe.ExitCode == kEndedByStopExitCode) return false;
  s.start.ArchiverProblem = WhyArchiverUnusable(probe).value_or(L"");
  const std::optional<ArchiverVersion> version = ParseArchiverVersion(probe.Output);
  s.start.Options = RunOptionsFor(version, ansi.has_value(), &s.start.OptionsNote);
  if (ansi && s.job.UsePassword) s.passwordInput = *ansi + "\r\n";
  return true;
}

void JobRunner::RunOne(CallResult& call) {
  Shared& s = *shared_;
  if (!call.ListFile.empty() && !WriteListFile(call)) {
    call.Outcome = CallOutcome::StartFailed;
    call.Output = L"无法写入列表文件：" + call.ListFile;
    return;
  }
  RunArchiverCall(s.job.RarPath, call, call.PasswordOnInput ? s.passwordInput : std::string(), &s.archivers, 0, 0,
                  s.job.Password);
  if (!call.ListFile.empty()) DeleteFileW(ExtendedLengthPath(call.ListFile).c_str());
}

// A worker never lets an exception end the program: what it was doing fails in words, its archive's
// file is free again, and the run ends as it would have.
void JobRunner::Work() {
  std::size_t workingOn = kNoArchive;
  try {
    WorkThrough(workingOn);
  } catch (const std::exception& failure) {
    Recover(workingOn, failure.what());
  } catch (...) {
    Recover(workingOn, "");
  }
}

void JobRunner::Recover(std::size_t workingOn, const char* what) noexcept {
  Shared& s = *shared_;
  bool last = false;
  std::size_t failed = kNoArchive;
  try {
    std::lock_guard lock(s.mutex);
    if (workingOn != kNoArchive) {
      failed = workingOn;
      const std::wstring text = FromCodePage(what ? what : "", CP_ACP);
      const std::wstring why = L"程序出错：" + (text.empty() ? std::wstring(L"未知错误") : text);
      s.Update(failed, [&why](ArchiveCourse& c) { c.FailWith(why); });
      s.groupBusy[s.group[failed]] = false;
      s.changed.NotifyAll();
    }
    last = --s.active == 0;
    if (last) {
      // No worker is left to take what waits: it is stopped, and a retry can run it.
      StopWaiting();
      s.running = false;
    }
  } catch (...) {
  }
  try {
    if (failed != kNoArchive && s.events.ArchiveFinished) s.events.ArchiveFinished(failed);
    if (last && s.events.RunEnded) s.events.RunEnded();
  } catch (...) {
  }
}

void JobRunner::WorkThrough(std::size_t& workingOn) {
  Shared& s = *shared_;
  {
    // The first worker decides while the others wait here; should it fail (it throws), the next
    // one tries again.
    const std::lock_guard decide(s.optionsLock);
    // Not decided when a stop ended the probe: a retry probes again.
    if (!s.optionsDecided) s.optionsDecided = DecideOptions();
  }
  HeldLock lock(s.mutex);
  for (std::size_t i = TakeNext(lock); i != kNoArchive; i = TakeNext(lock)) {
    workingOn = i;
    lock.Unlock();
    if (s.events.ArchiveStarted) s.events.ArchiveStarted(i);
    lock.Lock();
    for (ArchiveStep step = s.courses[i].Next(s.stopping); step.Kind != StepKind::Done;
         step = s.courses[i].Next(s.stopping)) {
      CarryOut(i, step, lock);
    }
    s.Update(i, [](ArchiveCourse& c) { c.Conclude(); });
    s.groupBusy[s.group[i]] = false;
    workingOn = kNoArchive;
    s.changed.NotifyAll();
    lock.Unlock();
    if (s.events.ArchiveFinished) s.events.ArchiveFinished(i);
    lock.Lock();
  }
  const bool last = --s.active == 0;
  if (last) s.running = false;
  lock.Unlock();
  if (last && s.events.RunEnded) s.events.RunEnded();
}

std::size_t JobRunner::TakeNext(HeldLock& lock) {
  Shared& s = *shared_;
  // The first waiting archive whose file no other worker has; wait while all are taken.
  auto next = s.pending.end();
  while (!s.stopping && !s.pending.empty()) {
    next = std::find_if(s.pending.begin(), s.pending.end(), [&s](std::size_t i) { return !s.groupBusy[s.group[i]]; });
    if (next != s.pending.end()) break;
    s.changed.Wait(lock);
  }
  if (s.stopping || s.pending.empty()) return kNoArchive;
  const std::size_t i = *next;
  s.pending.erase(next);
  s.groupBusy[s.group[i]] = true;
  CourseStart start = s.start;
  start.AlreadyBackedUp = s.backedUp[s.group[i]] != 0;
  // Named under the lock, whenever the course plans its calls (taking the archive, or finding its
  // names encrypted).
  const ListFileNamer listFileFor = [&s](std::size_t) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    return std::wstring(temp) + L"rarbatch " + Decimal(GetCurrentProcessId()) + L"-" + Decimal(s.listFiles++) + L".lst";
  };
  s.Update(i, [&](ArchiveCourse& c) { c.Begin(s.job, i, start, listFileFor); });
  return i;
}

// Each step is carried out without the lock, and its outcome reported to the course under it.
void JobRunner::CarryOut(std::size_t i, const ArchiveStep& step, HeldLock& lock) {
  Shared& s = *shared_;
  ArchiveCourse& course = s.courses[i];  // the vector never changes size during a run
  const std::wstring& archive = s.job.Archives[i];
  lock.Unlock();
  switch (step.Kind) {
    case StepKind::ReadHeader: {
      const std::optional<ArchiveHeader> header = ReadHeaderOf(archive);
      lock.Lock();
      return course.HeaderRead(header);
    }
    case StepKind::ReadTimes: {
      const std::optional<FileTimes> times = ReadFileTimes(FullPathOf(archive));
      lock.Lock();
      return course.TimesRead(times ? std::optional<std::uint64_t>(times->Created) : std::nullopt);
    }
    case StepKind::BackUp: {
      const std::wstring full = FullPathOf(archive);
      const bool there = FileExists(full);
      const std::wstring failed = there ? BackUpArchive(s.job.BackupFolder, full, PathBelowRoot(full, s.backupRoot)) : L"";
      lock.Lock();
      course.BackedUp(there && failed.empty(), failed);
      if (course.FileBackedUp()) s.backedUp[s.group[i]] = 1;
      return;
    }
    case StepKind::LookAtFile: {
      const bool exists = FileExists(archive);
      const bool locked = exists && IsLockedArchive(archive);
      lock.Lock();
      return course.FileSeen(exists, locked);
    }
    case StepKind::Call: lock.Lock(); return RunCall(i, step.Call, lock);
    case StepKind::PutTimesBack: {
      // -tk kept the modification time; the creation time is the new file's, so it is put back.
      const DWORD error = WriteFileTimes(FullPathOf(archive), FileTimes{step.CreatedTime, 0});
      lock.Lock();
      return course.TimesPutBack(error == ERROR_SUCCESS ? L"" : DescribeFailure(L"无法恢复创建时间", archive, error));
    }
    case StepKind::RecordAfter: {
      // What the run left, beside the archive's backup: a restore tells from it whether the archive
      // was changed since.
      const std::wstring failed = RecordAfterRun(s.job.BackupFolder, FullPathOf(archive));
      lock.Lock();
      return course.Recorded(failed);
    }
    case StepKind::Done: break;
  }
  lock.Lock();
}

void JobRunner::RunCall(std::size_t i, std::size_t k, HeldLock& lock) {
  Shared& s = *shared_;
  CallResult call = s.courses[i].Result().Calls[k];
  lock.Unlock();
  RunOne(call);
  lock.Lock();
  if (s.aborting && call.Outcome == CallOutcome::Exited && call.ExitCode == kEndedByStopExitCode) {
    call.Outcome = CallOutcome::Killed;
    lock.Unlock();
    const std::wstring left = TemporaryFilesBeside(s.job.Archives[i]);
    lock.Lock();
    if (!left.empty()) call.Note = L"压缩程序留下了临时文件：" + left;
  }
  s.courses[i].CallEnded(k, std::move(call));
}

}  // namespace rarbatch
