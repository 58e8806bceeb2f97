// Carries out a job inside the program: the archiver is called directly, archive by archive, several
// archives at once, and every archive's result is kept for the window to show.
#include "job_runner.h"

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <numeric>
#include <system_error>
#include <thread>

#include "archiver_process.h"
#include "core/script_check.h"

namespace rarbatch {
namespace {

constexpr unsigned kMostWorkers = 4;

// The archive's full path, so that "D:\x\.\a.rar" and "d:/X/a.rar" are seen to be one file.
std::wstring FullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return path;
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

bool LessIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
}

// For each archive, the number of its file: list entries that name the same file, compared by full
// path without regard to case, share one number.
std::vector<std::size_t> SameFileGroups(const std::vector<std::wstring>& archives) {
  std::vector<std::wstring> keys;
  keys.reserve(archives.size());
  for (const auto& archive : archives) keys.push_back(FullPath(archive));
  std::vector<std::size_t> order(archives.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) {
    return LessIgnoringCase(keys[a], keys[b]);
  });
  std::vector<std::size_t> groups(archives.size());
  std::size_t group = 0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k > 0 && LessIgnoringCase(keys[order[k - 1]], keys[order[k]])) ++group;
    groups[order[k]] = group;
  }
  return groups;
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
        groupBusy(job.Archives.size(), false), results(job.Archives.size()) {
    for (std::size_t i = 0; i < results.size(); ++i) results[i].Archive = job.Archives[i];
    counts.Total = counts.Waiting = results.size();
  }

  // Moves an archive to `state`, keeping the counts.
  void SetState(std::size_t i, ArchiveState state) {
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
    auto ended = [](ArchiveState s) {
      return s != ArchiveState::Waiting && s != ArchiveState::Running;
    };
    ArchiveState& current = results[i].State;
    --count(current);
    if (ended(current)) --counts.Done;
    ++count(state);
    if (ended(state)) ++counts.Done;
    current = state;
  }

  // The end state of an archive from its calls. One that never started has none and was stopped.
  void Conclude(std::size_t i, bool started) {
    if (!started && results[i].Calls.empty()) {
      results[i].Detail.clear();
      SetState(i, ArchiveState::Stopped);
      return;
    }
    ArchiveSummary summary = SummarizeCalls(results[i].Calls);
    results[i].Detail = std::move(summary.Detail);
    SetState(i, summary.State);
  }

  const BatchJob job;
  const unsigned workerCount;
  const JobEvents events;
  // The caller shows FindRunProblem's message and never starts such a job; should one come anyway,
  // nothing runs (a delete entry naming nothing would empty every archive).
  const bool refused;
  const std::vector<std::size_t> group;  // see SameFileGroups
  std::vector<std::thread> workers;      // only the owner's thread touches these

  mutable std::mutex mutex;
  std::condition_variable changed;  // an archive's file became free, or the run is stopping
  std::vector<bool> groupBusy;
  std::vector<ArchiveResult> results;
  std::deque<std::size_t> pending;  // archives not yet taken, in list order
  RunCounts counts;
  bool stopping = false;
  bool running = false;
  unsigned active = 0;  // workers that have not finished
};

JobRunner::JobRunner(BatchJob job, unsigned workers, JobEvents events)
    : shared_(std::make_unique<Shared>(std::move(job), workers, std::move(events))) {}

JobRunner::~JobRunner() {
  Stop();
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
  for (std::size_t i = 0; i < s.results.size(); ++i) {
    if (s.results[i].State == ArchiveState::Waiting) s.pending.push_back(i);
  }
  if (s.pending.empty()) return false;
  s.stopping = false;
  const std::size_t wanted = std::min<std::size_t>(s.workerCount, s.pending.size());
  // The workers wait for the lock held here until all are started.
  for (std::size_t k = 0; k < wanted; ++k) {
    try {
      s.workers.emplace_back(&JobRunner::Work, this);
    } catch (const std::system_error&) {
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
    for (std::size_t i = 0; i < s.results.size(); ++i) {
      ArchiveResult& r = s.results[i];
      if (r.State != ArchiveState::Failure && r.State != ArchiveState::Stopped) continue;
      for (CallResult& call : r.Calls) {
        if (CallCompleted(call)) continue;
        call.Outcome = CallOutcome::NotRun;
        call.ExitCode = 0;
        call.Output.clear();
      }
      r.Detail.clear();
      s.SetState(i, ArchiveState::Waiting);
    }
  }
  return Start();
}

void JobRunner::Stop() {
  Shared& s = *shared_;
  std::lock_guard lock(s.mutex);
  if (!s.running) return;
  s.stopping = true;
  for (std::size_t i : s.pending) s.Conclude(i, false);
  s.pending.clear();
  s.changed.notify_all();
}

void JobRunner::Wait() { JoinWorkers(); }

void JobRunner::JoinWorkers() {
  for (auto& worker : shared_->workers) {
    if (worker.joinable()) worker.join();
  }
  shared_->workers.clear();
}

bool JobRunner::IsRunning() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->running;
}

std::size_t JobRunner::ArchiveCount() const { return shared_->results.size(); }

ArchiveResult JobRunner::Result(std::size_t archive) const {
  std::lock_guard lock(shared_->mutex);
  return shared_->results.at(archive);
}

RunCounts JobRunner::Counts() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->counts;
}

void JobRunner::Work() {
  Shared& s = *shared_;
  std::unique_lock lock(s.mutex);
  for (;;) {
    // The first waiting archive whose file no other worker has; wait while all are taken.
    auto next = s.pending.end();
    while (!s.stopping && !s.pending.empty()) {
      next = std::find_if(s.pending.begin(), s.pending.end(),
                          [&s](std::size_t i) { return !s.groupBusy[s.group[i]]; });
      if (next != s.pending.end()) break;
      s.changed.wait(lock);
    }
    if (s.stopping || s.pending.empty()) break;
    const std::size_t i = *next;
    s.pending.erase(next);
    s.groupBusy[s.group[i]] = true;
    s.SetState(i, ArchiveState::Running);
    std::vector<CallResult>& calls = s.results[i].Calls;
    if (calls.empty()) {
      for (ArchiverCall& call : ArchiverCallsFor(s.job, i)) {
        CallResult planned;
        planned.Operation = call.Operation;
        planned.CommandLine = std::move(call.CommandLine);
        calls.push_back(std::move(planned));
      }
    }
    lock.unlock();
    if (s.events.ArchiveStarted) s.events.ArchiveStarted(i);
    lock.lock();

    // Calls that completed in an earlier run stay as they are.
    for (std::size_t k = 0; k < calls.size() && !s.stopping; ++k) {
      if (CallCompleted(calls[k])) continue;
      const ArchiverCall call{calls[k].Operation, calls[k].CommandLine};
      lock.unlock();
      CallResult done = RunArchiverCall(s.job.RarPath, call);
      lock.lock();
      calls[k] = std::move(done);
    }
    s.Conclude(i, true);
    s.groupBusy[s.group[i]] = false;
    s.changed.notify_all();
    lock.unlock();
    if (s.events.ArchiveFinished) s.events.ArchiveFinished(i);
    lock.lock();
  }
  const bool last = --s.active == 0;
  if (last) s.running = false;
  lock.unlock();
  if (last && s.events.RunEnded) s.events.RunEnded();
}

}  // namespace rarbatch
