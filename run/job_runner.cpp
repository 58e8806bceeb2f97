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
        backedUp(job.Archives.size(), 0), passwordOnEveryCall(job.Archives.size(), 0),
        timesBefore(job.Archives.size()), results(job.Archives.size()) {
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
    if (!results[i].Refusal.empty()) {
      results[i].Detail = results[i].Refusal;
      SetState(i, ArchiveState::Failure);
      return;
    }
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
  std::vector<Thread> workers;  // only the owner's thread touches these

  mutable Mutex mutex;
  Condition changed;  // an archive's file became free, or the run is stopping
  std::vector<bool> groupBusy;
  const std::wstring backupRoot;  // see BackupRoot
  // Per file (group), whether it was copied in this run; written by the worker that has the file, so
  // every element its own byte.
  std::vector<char> backedUp;
  // Per archive, whether its names are encrypted and every call, the finishing one too, carries the
  // password; kept for a retry, which no longer reads the header of an archive already changed.
  std::vector<char> passwordOnEveryCall;
  std::vector<std::optional<FileTimes>> timesBefore;  // per archive, read before its first call
  std::vector<ArchiveResult> results;
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
  RunOptions options;
  std::wstring optionsNote;  // why the program fell back, if it did
  std::string passwordInput;  // the password for the archiver's standard input, ANSI, with a line end
  // Every archiver the run starts, the version probe too, so that 停止 and closing end them all.
  RunningArchivers archivers;
  // Why the archiver cannot be used (it gave no version), for every archive; empty when it can.
  std::wstring archiverProblem;
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
  for (std::size_t i = 0; i < s.results.size(); ++i) {
    if (s.results[i].State == ArchiveState::Waiting) s.pending.push_back(i);
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
    for (std::size_t i = 0; i < s.results.size(); ++i) {
      ArchiveResult& r = s.results[i];
      if (r.State != ArchiveState::Failure && r.State != ArchiveState::Stopped) continue;
      for (CallResult& call : r.Calls) {
        if (CallCompleted(call)) continue;
        call.Outcome = CallOutcome::NotRun;
        call.ExitCode = 0;
        call.Output.clear();
        call.Note.clear();
      }
      r.Detail.clear();
      r.Refusal.clear();  // the archive is looked at again
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
  s.changed.NotifyAll();
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

std::size_t JobRunner::ArchiveCount() const { return shared_->results.size(); }

ArchiveResult JobRunner::Result(std::size_t archive) const {
  std::lock_guard lock(shared_->mutex);
  return shared_->results.at(archive);
}

ArchiveSummary JobRunner::Row(std::size_t archive) const {
  std::lock_guard lock(shared_->mutex);
  const ArchiveResult& result = shared_->results.at(archive);
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
  s.archiverProblem = WhyArchiverUnusable(probe).value_or(L"");
  const std::optional<ArchiverVersion> version = ParseArchiverVersion(probe.Output);
  s.options = RunOptionsFor(version, ansi.has_value(), &s.optionsNote);
  if (ansi && s.job.UsePassword) s.passwordInput = *ansi + "\r\n";
  return true;
}

void JobRunner::RunOne(CallResult& call, const std::wstring& archive) {
  Shared& s = *shared_;
  (void)archive;
  if (!call.ListFile.empty() && !WriteListFile(call)) {
    call.Outcome = CallOutcome::StartFailed;
    call.Output = L"无法写入列表文件：" + call.ListFile;
    return;
  }
  RunArchiverCall(s.job.RarPath, call, call.PasswordOnInput ? s.passwordInput : std::string(), &s.archivers, 0, 0,
                  s.job.Password);
  if (!call.ListFile.empty()) DeleteFileW(ExtendedLengthPath(call.ListFile).c_str());
}

namespace {

// No archive taken: what a worker's archive is before it takes one and after it is done with it.
constexpr std::size_t kNoArchive = static_cast<std::size_t>(-1);

}  // namespace

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
      std::wstring text = FromCodePage(what ? what : "", CP_ACP);
      s.results[failed].Refusal = L"程序出错：" + (text.empty() ? std::wstring(L"未知错误") : text);
      s.Conclude(failed, true);
      s.groupBusy[s.group[failed]] = false;
      s.changed.NotifyAll();
    }
    last = --s.active == 0;
    if (last) {
      // No worker is left to take what waits: it is stopped, and a retry can run it.
      for (std::size_t i : s.pending) s.Conclude(i, false);
      s.pending.clear();
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
  for (;;) {
    // The first waiting archive whose file no other worker has; wait while all are taken.
    auto next = s.pending.end();
    while (!s.stopping && !s.pending.empty()) {
      next = std::find_if(s.pending.begin(), s.pending.end(),
                          [&s](std::size_t i) { return !s.groupBusy[s.group[i]]; });
      if (next != s.pending.end()) break;
      s.changed.Wait(lock);
    }
    if (s.stopping || s.pending.empty()) break;
    const std::size_t i = *next;
    workingOn = i;
    s.pending.erase(next);
    s.groupBusy[s.group[i]] = true;
    s.SetState(i, ArchiveState::Running);
    std::vector<CallResult>& calls = s.results[i].Calls;
    const auto listFileFor = [&s](std::size_t) {
      wchar_t temp[MAX_PATH + 1] = {};
      GetTempPathW(MAX_PATH + 1, temp);
      return std::wstring(temp) + L"rarbatch " + Decimal(GetCurrentProcessId()) + L"-" +
             Decimal(s.listFiles++) + L".lst";
    };
    if (calls.empty()) {
      calls = ArchiverCallsFor(s.job, i, s.options, listFileFor);
      if (!calls.empty() && !s.optionsNote.empty()) calls.front().Note = s.optionsNote;
    }
    lock.Unlock();
    if (s.events.ArchiveStarted) s.events.ArchiveStarted(i);
    // What the archive's first bytes say, before any call: an archive no call can succeed on gets
    // none. A file that cannot be read is left to the archiver, which says why.
    std::optional<std::wstring> refusal;
    if (!s.archiverProblem.empty()) refusal = s.archiverProblem;
    bool namesEncrypted = false;
    const bool untouched = std::none_of(calls.begin(), calls.end(), CallCompleted);
    if (untouched && !refusal) {
      if (const std::optional<ArchiveHeader> header = ReadHeaderOf(s.job.Archives[i])) {
        refusal = WhyNoCallCanSucceed(*header, s.job);
        namesEncrypted = header->NamesEncrypted;
      }
    }
    if (untouched && !refusal) {
      const std::wstring full = FullPathOf(s.job.Archives[i]);
      if (s.job.KeepTimes && !s.timesBefore[i]) s.timesBefore[i] = ReadFileTimes(full);
      // A copy before the first change; an archive listed twice is copied once, before either.
      if (s.job.Backup && !s.backedUp[s.group[i]] && FileExists(full)) {
        const std::wstring failed = BackUpArchive(s.job.BackupFolder, full, PathBelowRoot(full, s.backupRoot));
        if (failed.empty()) {
          s.backedUp[s.group[i]] = 1;
        } else {
          refusal = L"备份失败，压缩包没有改动：" + failed;
        }
      }
    }
    lock.Lock();
    if (refusal) {
      s.results[i].Refusal = *refusal;
      calls.clear();  // none was made; a retry plans them anew
    } else if (namesEncrypted && s.job.UsePassword) {
      // Its names open only with a password: every call gets the job's, the finishing one too.
      s.passwordOnEveryCall[i] = 1;
      RunOptions everyCall = s.options;
      everyCall.PasswordOnEveryCall = true;
      std::wstring note = calls.empty() ? L"" : calls.front().Note;
      calls = ArchiverCallsFor(s.job, i, everyCall, listFileFor);
      if (!calls.empty()) calls.front().Note = note.empty() ? L"文件名已加密：每一步都带上密码" : note;
    }

    // Calls that completed in an earlier run stay as they are.
    for (std::size_t k = 0; !refusal && k < calls.size() && !s.stopping; ++k) {
      if (CallCompleted(calls[k])) continue;
      const std::wstring& archive = s.job.Archives[i];
      // A delete that emptied the archive deleted its file: there is nothing left to test, comment
      // or lock.
      const ScriptOperation operation = calls[k].Operation;
      if ((operation == ScriptOperation::Test || operation == ScriptOperation::Comment ||
           operation == ScriptOperation::Lock) &&
          std::any_of(calls.begin(), calls.begin() + k, [](const CallResult& c) { return c.Emptied; }) &&
          !FileExists(archive)) {
        calls[k].Note = L"压缩包文件已不存在，以后的步骤不再进行";
        for (std::size_t later = k; later < calls.size(); ++later) calls[later].Outcome = CallOutcome::Skipped;
        break;
      }
      CallResult call = calls[k];
      lock.Unlock();
      RunOne(call, archive);
      lock.Lock();
      if (s.aborting && call.Outcome == CallOutcome::Exited && call.ExitCode == kEndedByStopExitCode) {
        call.Outcome = CallOutcome::Killed;
        const std::wstring left = TemporaryFilesBeside(archive);
        if (!left.empty()) call.Note = L"压缩程序留下了临时文件：" + left;
      }
      // A plain success keeps no output: a run over tens of thousands of archives would otherwise hold
      // every call's messages. A failure, a warning and a note keep theirs for the detail view.
      if (call.Outcome == CallOutcome::Exited && call.ExitCode == 0 && call.Note.empty()) {
        std::wstring().swap(call.Output);
      }
      calls[k] = std::move(call);
      const CallResult& done = calls[k];
      if (CallFailed(done)) {
        // Nothing is commented or locked after a failed step; a retry starts again here.
        for (std::size_t later = k + 1; later < calls.size(); ++later) calls[later].Outcome = CallOutcome::Skipped;
        break;
      }
      if (done.Outcome != CallOutcome::Exited) break;
      lock.Unlock();
      const bool exists = FileExists(archive);
      const bool locked = exists && IsLockedArchive(archive);
      lock.Lock();
      if (done.Operation == ScriptOperation::Delete && done.ExitCode == 0 && !exists) {
        calls[k].Emptied = true;
      }
      if (done.Operation == ScriptOperation::Add && exists) {
        for (std::size_t earlier = 0; earlier < k; ++earlier) {
          if (calls[earlier].Emptied) calls[earlier].Note = L"随后的添加新建了压缩包";
        }
      }
      // A call that changed nothing set no comment and no lock: a call of their own does, next.
      if (!done.Finishing && done.SetsCommentOrLock && done.ExitCode == 10 && exists &&
          !(s.job.Lock && locked)) {
        RunOptions finishingOptions = s.options;
        finishingOptions.PasswordOnEveryCall = s.passwordOnEveryCall[i] != 0;
        if (auto finishing = FinishingCallFor(s.job, i, finishingOptions)) {
          calls.insert(calls.begin() + static_cast<std::ptrdiff_t>(k) + 1, std::move(*finishing));
        }
      }
    }
    // -tk kept the modification time; the creation time is the new file's, so it is put back.
    if (!refusal && s.timesBefore[i] &&
        std::any_of(calls.begin(), calls.end(), [](const CallResult& c) { return c.Outcome == CallOutcome::Exited; })) {
      const std::wstring archive = s.job.Archives[i];
      const FileTimes before{s.timesBefore[i]->Created, 0};
      lock.Unlock();
      const DWORD error = FileExists(archive) ? WriteFileTimes(FullPathOf(archive), before) : ERROR_SUCCESS;
      lock.Lock();
      if (error != ERROR_SUCCESS) {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
          if (it->Outcome != CallOutcome::Exited) continue;
          it->Note += (it->Note.empty() ? L"" : L"；") + DescribeFailure(L"无法恢复创建时间", archive, error);
          break;
        }
      }
    }
    // What the run left, beside the archive's backup: a restore tells from it whether the archive
    // was changed since.
    if (!refusal && s.job.Backup && s.backedUp[s.group[i]] &&
        std::any_of(calls.begin(), calls.end(), [](const CallResult& c) {
          return c.Outcome == CallOutcome::Exited || c.Outcome == CallOutcome::Killed;
        })) {
      const std::wstring archive = FullPathOf(s.job.Archives[i]);
      lock.Unlock();
      const std::wstring failed = RecordAfterRun(s.job.BackupFolder, archive);
      lock.Lock();
      if (!failed.empty() && !calls.empty()) {
        calls.back().Note += (calls.back().Note.empty() ? L"" : L"；") + failed;
      }
    }
    s.Conclude(i, true);
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

}  // namespace rarbatch
