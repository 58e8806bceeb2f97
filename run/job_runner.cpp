// Carries out a job inside the program: the archiver is called directly, archive by archive, several
// archives at once, and every archive's result is kept for the window to show.
#include "job_runner.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <deque>

#include "archive_files.h"
#include "archive_steps.h"
#include "archiver_process.h"
#include "backup.h"
#include "list_file.h"
#include "core/archive_course.h"
#include "core/script_check.h"
#include "win/files.h"
#include "win/text.h"
#include "win/threads.h"

namespace rarbatch {
namespace {

constexpr unsigned kMostWorkers = 4;

// No archive taken: what a worker's archive is before it takes one and after it is done with it.
constexpr std::size_t kNoArchive = static_cast<std::size_t>(-1);

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
        groupBusy(job.Archives.size(), false), backupRoot(job.Backup ? BackupRootOf(job.Archives) : L""),
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
    counts.Move(before, courses[i].State());
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
  const std::wstring backupRoot;  // see BackupRootOf
  std::vector<char> backedUp;     // per file (group), whether it was copied in this run
  std::vector<ArchiveCourse> courses;  // per archive: its steps so far, its calls and its state
  std::deque<std::size_t> pending;  // archives not yet taken, in list order
  RunCounts counts;
  bool stopping = false;
  std::atomic<bool> aborting = false;  // read by the steps without the lock
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
    const StepContext context{s.job, s.backupRoot, &s.archivers, s.passwordInput, s.aborting};
    for (ArchiveStep step = s.courses[i].Next(s.stopping); step.Kind != StepKind::Done;
         step = s.courses[i].Next(s.stopping)) {
      StepReport report;
      if (step.Kind == StepKind::Call) report.Call = s.courses[i].Result().Calls[step.Call];
      if (step.Kind == StepKind::ReadReferences) report.Call = s.courses[i].ReferenceListing();
      lock.Unlock();
      CarryOutStep(context, i, step, report);
      lock.Lock();
      s.courses[i].Report(step, std::move(report));
      if (s.courses[i].FileBackedUp()) s.backedUp[s.group[i]] = 1;
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
  const ListFileNamer listFileFor = [](std::size_t) { return NewListFilePath(); };
  s.Update(i, [&](ArchiveCourse& c) { c.Begin(s.job, i, start, listFileFor); });
  return i;
}

}  // namespace rarbatch
