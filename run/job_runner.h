// Carries out a job inside the program: the archiver is called directly, archive by archive, several
// archives at once, and every archive's result is kept for the window to show.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/archive_course.h"
#include "core/archiver_calls.h"
#include "core/batch_script.h"

namespace rarbatch {

class HeldLock;  // win/threads.h

// How many archives to work on at once by default: one per processor, from 1 to 4.
unsigned DefaultWorkerCount();

// Called on the runner's worker threads, never while the runner holds its lock: a handler may call
// Result and Counts, and would post a message to a window. It must not destroy the runner or call
// Start, Retry or Wait.
struct JobEvents {
  std::function<void(std::size_t archive)> ArchiveStarted;
  std::function<void(std::size_t archive)> ArchiveFinished;
  // After the last archive of a run has ended, or after Stop once the calls still running have.
  std::function<void()> RunEnded;
};

// Runs one job with the program's plan of calls (RunPlan): at most one delete and one add call per
// archive, in order, stopping at an archive's first failing call so that nothing is commented or
// locked after a failed step. Archives are processed by a few worker threads at once, except that
// list entries naming the same archive file (the same full path, whatever the letter case) never run
// at the same time. The archiver's version is read once per run, to decide how it is called
// (RunOptionsFor). Start, Retry, Stop, Abort and Wait are called from one thread, the owner's; they
// never wait on an archiver except Wait and the destructor.
class JobRunner {
 public:
  // `job` is copied: what the window's lists hold later changes nothing. A worker count of 0 is taken
  // as 1.
  JobRunner(BatchJob job, unsigned workers, JobEvents events);
  // Ends the run (Abort) and waits until every archiver it started has ended.
  ~JobRunner();
  JobRunner(const JobRunner&) = delete;
  JobRunner& operator=(const JobRunner&) = delete;

  // Starts working through the archives that are waiting, in list order. False, with no event to
  // follow, when a run is going on, nothing is waiting, no worker thread could be started, or the
  // job is one that FindRunProblem refuses (the caller checks that first, to show its message).
  bool Start();

  // Runs again the archives that failed or were stopped, each from its first call that did not
  // complete: the calls that completed (with success or a warning) are kept and not repeated, since
  // repeating them would not do the same again (a name already deleted is no longer there). False as
  // for Start.
  bool Retry();

  // No further call starts; calls already running finish. Archives not yet started become Stopped
  // at once. Does not wait.
  void Stop();

  // Stops, and ends the archivers still running at once. The archiver writes a changed archive to a
  // temporary file and replaces the archive only at the end, so an archive whose call is ended is left
  // as it was; a temporary file it leaves beside the archive is named in the call's note. Does not
  // wait.
  void Abort();

  // Whether Stop or Abort has been asked for in this run.
  bool IsStopping() const;

  // Waits until the run has ended: every worker done and every archiver it started ended.
  void Wait();

  bool IsRunning() const;
  std::size_t ArchiveCount() const;
  // A copy of one archive's result, consistent at the moment of the call.
  ArchiveResult Result(std::size_t archive) const;
  // Only what a row of the table shows: the state and the words, without the calls and their output.
  ArchiveSummary Row(std::size_t archive) const;
  // The archive as the job names it.
  const std::wstring& ArchiveName(std::size_t archive) const;
  RunCounts Counts() const;

 private:
  struct Shared;
  // A worker thread: WorkThrough, with whatever it throws caught and reported by Recover.
  // `workingOn` is the archive the worker has taken, if any.
  void Work();
  void WorkThrough(std::size_t& workingOn);
  void Recover(std::size_t workingOn, const char* what) noexcept;
  // Reads the archiver's version and decides how it is called; false when a stop ended the probe.
  bool DecideOptions();
  // With the lock held: the next archive to work on, taken and begun, waiting while every waiting
  // archive's file is busy; kNoArchive when there is none or the run is stopping.
  std::size_t TakeNext(HeldLock& lock);
  // The archives not yet taken become Stopped; with the lock.
  void StopWaiting();
  void JoinWorkers();

  std::unique_ptr<Shared> shared_;
};

}  // namespace rarbatch
