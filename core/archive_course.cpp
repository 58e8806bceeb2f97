// One archive's course through a run: the order of its steps and what each outcome leads to.
#include "archive_course.h"

#include <algorithm>
#include <utility>

#include "core/archive_names.h"
#include "core/file_references.h"

namespace rarbatch {
namespace {

bool ChecksOrFinishes(ScriptOperation operation) {
  return operation == ScriptOperation::Test || operation == ScriptOperation::Comment ||
         operation == ScriptOperation::Lock;
}

ArchiveStep Step(StepKind kind, std::size_t call = 0) {
  ArchiveStep step;
  step.Kind = kind;
  step.Call = call;
  return step;
}

void AppendNote(std::wstring& note, const std::wstring& more) {
  note += (note.empty() ? L"" : L"；") + more;
}

}  // namespace

void RunCounts::Move(ArchiveState before, ArchiveState after) {
  auto count = [this](ArchiveState s) -> std::size_t& {
    switch (s) {
      case ArchiveState::Waiting: return Waiting;
      case ArchiveState::Running: return Running;
      case ArchiveState::Success: return Success;
      case ArchiveState::Warning: return Warning;
      case ArchiveState::Failure: return Failure;
      case ArchiveState::Stopped: break;
    }
    return Stopped;
  };
  auto ended = [](ArchiveState s) { return s != ArchiveState::Waiting && s != ArchiveState::Running; };
  --count(before);
  if (ended(before)) --Done;
  ++count(after);
  if (ended(after)) ++Done;
}

ArchiveCourse::ArchiveCourse(std::wstring archive) { result_.Archive = std::move(archive); }

void ArchiveCourse::Begin(const BatchJob& job, std::size_t index, const CourseStart& start,
                          const ListFileNamer& listFileFor) {
  job_ = &job;
  index_ = index;
  options_ = start.Options;
  listFileFor_ = listFileFor;
  backedUp_ = backedUp_ || start.AlreadyBackedUp;
  result_.State = ArchiveState::Running;
  fileKnown_ = false;
  lookAfterCall_ = false;
  mayHoldReferences_ = false;  // the header, read again, says so anew
  headerRead_ = false;
  listing_.reset();
  std::vector<CallResult>& calls = result_.Calls;
  if (calls.empty()) {
    passwordOnEveryCall_ = false;  // the header, read again, says so anew
    recoveryPercent_ = 0;
    result_.Content = {};
    calls = ArchiverCallsFor(job, index, options_, listFileFor_);
    if (!calls.empty() && !start.OptionsNote.empty()) calls.front().Note = start.OptionsNote;
  }
  // An archive a call has already changed is not looked at, timed or copied again.
  const bool untouched = std::none_of(calls.begin(), calls.end(), CallCompleted);
  // What was found by content in an archive no call has changed is found anew: the archive may have
  // changed since, and an entry is deleted by content only as its bytes are now. Until then its
  // calls carry none of the old finding. Once a call has changed it, what was found stays.
  if (untouched && result_.Content.Listed) {
    result_.Content = {};
    Replan(calls.empty() ? L"" : calls.front().Note);
  }
  if (!start.ArchiverProblem.empty()) return Refuse(start.ArchiverProblem);
  call_ = NextCall(0);
  phase_ = untouched ? FirstFrom(Phase::Header) : Phase::Calls;
}

ArchiveCourse::Phase ArchiveCourse::FirstFrom(Phase from) const {
  auto applies = [this](Phase phase) {
    switch (phase) {
      case Phase::Header:
      case Phase::Calls:
      case Phase::Done: return true;
      case Phase::References:
        return (mayHoldReferences_ && !SplitDeleteEntries(job_->DeleteNames).Names.empty()) ||
               (headerRead_ && HasSamples() && !result_.Content.Listed);
      case Phase::Compare: return listing_ && !result_.Content.Listed;
      case Phase::Times: return job_->KeepTimes && !createdBefore_;
      case Phase::Marks: return !marksBefore_;
      case Phase::Backup: return job_->Backup && !backedUp_;
      case Phase::PutBack:
        return createdBefore_ && std::any_of(result_.Calls.begin(), result_.Calls.end(), [](const CallResult& c) {
                 return c.Outcome == CallOutcome::Exited;
               });
      case Phase::PutMarks:
        return marksBefore_ && CarriesMarks(*marksBefore_) &&
               std::any_of(result_.Calls.begin(), result_.Calls.end(),
                           [](const CallResult& c) { return c.Outcome == CallOutcome::Exited; });
      case Phase::Record:
        return job_->Backup && backedUp_ &&
               std::any_of(result_.Calls.begin(), result_.Calls.end(), [](const CallResult& c) {
                 return c.Outcome == CallOutcome::Exited || c.Outcome == CallOutcome::Killed;
               });
    }
    return true;
  };
  Phase phase = from;
  while (!applies(phase)) phase = static_cast<Phase>(static_cast<int>(phase) + 1);
  return phase;
}

std::size_t ArchiveCourse::NextCall(std::size_t from) const {
  const std::vector<CallResult>& calls = result_.Calls;
  while (from < calls.size() && CallCompleted(calls[from])) ++from;
  return from;
}

ArchiveStep ArchiveCourse::Next(bool stopping) {
  for (;;) {
    switch (phase_) {
      case Phase::Header: return Step(StepKind::ReadHeader);
      case Phase::References:
        // A stop starts no archiver, and no call follows to need the listing.
        if (!stopping) return Step(StepKind::ReadReferences);
        phase_ = FirstFrom(Phase::Times);
        continue;
      case Phase::Compare: {
        if (stopping) {
          phase_ = FirstFrom(Phase::Times);
          continue;
        }
        ArchiveStep step = Step(StepKind::CompareContents);
        step.Listing = listing_;
        step.Options = options_;
        step.Options.PasswordOnEveryCall = passwordOnEveryCall_;
        step.WithPassword = job_->UsePassword;
        return step;
      }
      case Phase::Times: return Step(StepKind::ReadTimes);
      case Phase::Marks: return Step(StepKind::ReadMarks);
      case Phase::Backup: return Step(StepKind::BackUp);
      case Phase::Calls: {
        if (lookAfterCall_) return Step(StepKind::LookAtFile);
        std::vector<CallResult>& calls = result_.Calls;
        if (stopping || call_ >= calls.size()) {
          EndCalls();
          continue;
        }
        // A delete that emptied the archive deleted its file: there is nothing left to test, comment
        // or lock, unless a later add made it anew.
        const bool emptiedBefore = std::any_of(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(call_),
                                               [](const CallResult& c) { return c.Emptied; });
        if (ChecksOrFinishes(calls[call_].Operation) && emptiedBefore) {
          if (!fileKnown_) return Step(StepKind::LookAtFile);
          if (!exists_) {
            calls[call_].Note = L"压缩包文件已不存在，以后的步骤不再进行";
            for (std::size_t later = call_; later < calls.size(); ++later) calls[later].Outcome = CallOutcome::Skipped;
            EndCalls();
            continue;
          }
        }
        return Step(StepKind::Call, call_);
      }
      case Phase::PutBack:
      case Phase::PutMarks: {
        // What is put back goes on the file as the calls left it; on none when they left none.
        if (!fileKnown_) return Step(StepKind::LookAtFile);
        const bool times = phase_ == Phase::PutBack;
        if (!exists_) {
          phase_ = FirstFrom(times ? Phase::PutMarks : Phase::Record);
          continue;
        }
        ArchiveStep step = Step(times ? StepKind::PutTimesBack : StepKind::PutMarksBack);
        if (times) step.CreatedTime = *createdBefore_;
        if (!times) step.Marks = *marksBefore_;
        return step;
      }
      case Phase::Record: return Step(StepKind::RecordAfter);
      case Phase::Done: return Step(StepKind::Done);
    }
  }
}

void ArchiveCourse::EndCalls() { phase_ = FirstFrom(Phase::PutBack); }

void ArchiveCourse::Refuse(const std::wstring& why) {
  result_.Refusal = why;
  result_.Calls.clear();  // none was made; a retry plans them anew
  phase_ = Phase::Done;
}

void ArchiveCourse::Report(const ArchiveStep& step, StepReport report) {
  switch (step.Kind) {
    case StepKind::ReadHeader: return HeaderRead(report.Header, report.FileSize);
    case StepKind::ReadReferences: return ReferencesRead(report.Call);
    case StepKind::CompareContents: return ContentCompared(std::move(report.Content), report.Call);
    case StepKind::ReadTimes: return TimesRead(report.Created);
    case StepKind::ReadMarks: return MarksRead(std::move(report.Marks));
    case StepKind::BackUp: return BackedUp(report.Copied, report.Failure);
    case StepKind::LookAtFile: return FileSeen(report.Exists, report.Locked, report.RecoveryRecord);
    case StepKind::Call: return CallEnded(step.Call, std::move(report.Call));
    case StepKind::PutTimesBack: return TimesPutBack(report.Failure);
    case StepKind::PutMarksBack: return MarksPutBack(report.Failure);
    case StepKind::RecordAfter: return Recorded(report.Failure);
    case StepKind::Done: break;
  }
}

void ArchiveCourse::HeaderRead(const std::optional<ArchiveHeader>& header, std::uint64_t fileSize) {
  if (header) {
    if (std::optional<std::wstring> refusal = WhyNoCallCanSucceed(*header, *job_)) return Refuse(*refusal);
    // Its names open only with a password: every call gets the job's, the finishing one too.
    passwordOnEveryCall_ = header->NamesEncrypted && job_->UsePassword;
    recoveryPercent_ = RecoveryPercentToKeep(*header, fileSize);
    if (passwordOnEveryCall_ || recoveryPercent_ > 0) {
      std::wstring note = result_.Calls.empty() ? L"" : result_.Calls.front().Note;
      if (note.empty() && passwordOnEveryCall_) note = L"文件名已加密：每一步都带上密码";
      Replan(note);
    }
    // RAR 4 stores no references; a file whose header could not be read is left to the archiver.
    mayHoldReferences_ = header->Format != ArchiveFormat::Rar4;
    headerRead_ = true;
  }
  phase_ = FirstFrom(Phase::References);
}

CallResult ArchiveCourse::ReferenceListing() const {
  return ReferenceListingCall(*job_, index_, options_, passwordOnEveryCall_);
}

void ArchiveCourse::Replan(const std::wstring& note) {
  RunOptions replanned = options_;
  replanned.PasswordOnEveryCall = passwordOnEveryCall_;
  replanned.RecoveryPercent = recoveryPercent_;
  if (result_.Content.Listed) replanned.ContentEntries = ContentEntries(result_.Content);
  std::vector<CallResult>& calls = result_.Calls;
  calls = ArchiverCallsFor(*job_, index_, replanned, listFileFor_);
  if (!calls.empty()) calls.front().Note = note;
  call_ = NextCall(0);
}

void ArchiveCourse::ReferencesRead(const CallResult& listing) {
  // Ended by the run's abort: nothing more is done to the archive, which is left as it was.
  if (listing.Outcome == CallOutcome::Killed) {
    phase_ = Phase::Done;
    return;
  }
  ListingRead read = ReadReferenceListing(listing);
  if (HasSamples()) {
    // Without its listing nothing can be found by content: the job's other changes alone would leave
    // the archive half cleaned while the row said it was done, so none is made, and a retry does all.
    if (!read.Read) return Refuse(L"无法列出压缩包中的文件，不能按内容删除，压缩包没有改动：" + read.Problem);
    listing_ = std::make_shared<const std::vector<ListedEntry>>(std::move(read.Entries));
    phase_ = FirstFrom(Phase::Compare);
    return;
  }
  if (read.Read) {
    const std::vector<BrokenReference> broken =
        ReferencesLeftWithoutTarget(read.Entries, SplitDeleteEntries(job_->DeleteNames).Names);
    if (!broken.empty()) return Refuse(DescribeBrokenReferences(broken));
  } else if (read.CutShort) {
    // The archiver reads it well, so the delete would go through unchecked.
    return Refuse(L"无法检查文件引用，压缩包没有改动：" + read.Problem);
  } else if (!result_.Calls.empty()) {
    AppendNote(result_.Calls.front().Note, L"无法检查文件引用：" + read.Problem);
  }
  phase_ = FirstFrom(Phase::Times);
}

void ArchiveCourse::ContentCompared(ContentFindings findings, const CallResult& printCall) {
  const std::shared_ptr<const std::vector<ListedEntry>> listing = std::move(listing_);
  // Ended by the run's abort: nothing more is done to the archive, which is left as it was.
  if (printCall.Outcome == CallOutcome::Killed || !listing) {
    phase_ = Phase::Done;
    return;
  }
  result_.Content = std::move(findings);
  result_.Content.Listed = true;
  // The references rule on everything the delete takes: the job's names and the entries found.
  std::vector<std::wstring> names = SplitDeleteEntries(job_->DeleteNames).Names;
  const std::vector<std::wstring> found = ContentEntries(result_.Content);
  names.insert(names.end(), found.begin(), found.end());
  const std::vector<BrokenReference> broken = ReferencesLeftWithoutTarget(*listing, names);
  if (!broken.empty()) return Refuse(DescribeBrokenReferences(broken));
  if (!found.empty()) Replan(result_.Calls.empty() ? L"" : result_.Calls.front().Note);
  phase_ = FirstFrom(Phase::Times);
}

void ArchiveCourse::TimesRead(std::optional<std::uint64_t> created) {
  createdBefore_ = created;
  phase_ = FirstFrom(Phase::Marks);
}

void ArchiveCourse::MarksRead(std::optional<FileMarks> marks) {
  // Read or not, it is not read again: one that cannot be read has nothing the program could keep.
  marksBefore_ = marks ? std::move(*marks) : FileMarks{};
  phase_ = FirstFrom(Phase::Backup);
}

void ArchiveCourse::BackedUp(bool copied, const std::wstring& failure) {
  if (!failure.empty()) return Refuse(L"备份失败，压缩包没有改动：" + failure);
  backedUp_ = backedUp_ || copied;
  phase_ = FirstFrom(Phase::Calls);
}

void ArchiveCourse::CallEnded(std::size_t k, CallResult ended) {
  // A plain success keeps no output: a run over tens of thousands of archives would otherwise hold
  // every call's messages. A failure, a warning and a note keep theirs for the detail view.
  if (ended.Outcome == CallOutcome::Exited && ended.ExitCode == 0 && ended.Note.empty()) {
    std::wstring().swap(ended.Output);
  }
  std::vector<CallResult>& calls = result_.Calls;
  calls[k] = std::move(ended);
  const CallResult& done = calls[k];
  call_ = k;
  if (CallFailed(done)) {
    // Nothing is commented or locked after a failed step; a retry starts again here.
    for (std::size_t later = k + 1; later < calls.size(); ++later) calls[later].Outcome = CallOutcome::Skipped;
    return EndCalls();
  }
  // Ended by a stop, or never started: an archiver that did not finish left the archive as it was.
  if (done.Outcome != CallOutcome::Exited) return EndCalls();
  fileKnown_ = false;
  lookAfterCall_ = true;
}

void ArchiveCourse::FileSeen(bool exists, bool locked, bool recoveryRecord) {
  exists_ = exists;
  locked_ = exists && locked;
  recordNow_ = exists && recoveryRecord;
  fileKnown_ = true;
  if (!lookAfterCall_) return;
  lookAfterCall_ = false;
  AfterCall(call_);
  call_ = NextCall(call_ + 1);
}

void ArchiveCourse::AfterCall(std::size_t k) {
  std::vector<CallResult>& calls = result_.Calls;
  CallResult& done = calls[k];
  if (done.Operation == ScriptOperation::Delete && done.ExitCode == 0 && !exists_) done.Emptied = true;
  if (done.Operation == ScriptOperation::Add && exists_) {
    for (std::size_t earlier = 0; earlier < k; ++earlier) {
      if (calls[earlier].Emptied) calls[earlier].Note = L"随后的添加新建了压缩包";
    }
  }
  // A call that changed nothing set no comment and no lock: a call of their own does, next.
  if (!done.Finishing && done.SetsCommentOrLock && done.ExitCode == 10 && exists_ && !(job_->Lock && locked_)) {
    RunOptions finishingOptions = options_;
    finishingOptions.PasswordOnEveryCall = passwordOnEveryCall_;
    finishingOptions.RecoveryPercent = recoveryPercent_;
    if (std::optional<CallResult> finishing = FinishingCallFor(*job_, index_, finishingOptions)) {
      calls.insert(calls.begin() + static_cast<std::ptrdiff_t>(k) + 1, std::move(*finishing));
    }
  }
}

void ArchiveCourse::TimesPutBack(const std::wstring& failure) {
  if (!failure.empty()) {
    std::vector<CallResult>& calls = result_.Calls;
    const auto ran = std::find_if(calls.rbegin(), calls.rend(),
                                  [](const CallResult& c) { return c.Outcome == CallOutcome::Exited; });
    if (ran != calls.rend()) AppendNote(ran->Note, failure);
  }
  phase_ = FirstFrom(Phase::PutMarks);
}

void ArchiveCourse::MarksPutBack(const std::wstring& failure) {
  if (!failure.empty()) warning_ = failure;
  phase_ = FirstFrom(Phase::Record);
}

void ArchiveCourse::Recorded(const std::wstring& failure) {
  if (!failure.empty() && !result_.Calls.empty()) AppendNote(result_.Calls.back().Note, failure);
  phase_ = Phase::Done;
}

void ArchiveCourse::Conclude(bool started) {
  phase_ = Phase::Done;
  if (!result_.Refusal.empty()) {
    result_.Detail = result_.Refusal;
    result_.State = ArchiveState::Failure;
    return;
  }
  if (!started && result_.Calls.empty()) {
    result_.Detail.clear();
    result_.State = ArchiveState::Stopped;
    return;
  }
  ArchiveSummary summary = SummarizeCalls(result_.Calls);
  result_.Detail = std::move(summary.Detail);
  result_.State = summary.State;
  SayWhatBecameOfTheRecord();
  // An archive compared and found clean says so, rather than a bare 成功 beside the cleaned ones.
  if (result_.Content.Listed && result_.Content.Matches.empty() && result_.State == ArchiveState::Success &&
      result_.Detail.empty()) {
    result_.Detail = kNothingFoundByContent;
  }
  // What could not be found by content, and a step after the calls that failed, make a success a
  // warning.
  std::wstring warning = result_.Content.Listed && job_ ? DescribeContentProblems(result_.Content, job_->Samples) : L"";
  if (!warning_.empty()) AppendNote(warning, warning_);
  if (warning.empty()) return;
  if (result_.State == ArchiveState::Success) {
    result_.State = ArchiveState::Warning;
    result_.Detail = warning + (result_.Detail.empty() ? L"" : L"；" + result_.Detail);
  } else if (result_.State == ArchiveState::Warning) {
    AppendNote(result_.Detail, warning);
  }
}

void ArchiveCourse::SayWhatBecameOfTheRecord() {
  // Only a file looked at after a change that ran can tell; an emptied archive has nothing to keep.
  const bool changed = std::any_of(result_.Calls.begin(), result_.Calls.end(), [](const CallResult& c) {
    return c.Outcome == CallOutcome::Exited && c.Operation != ScriptOperation::Test;
  });
  if (recoveryPercent_ == 0 || !changed || !fileKnown_ || !exists_) return;
  if (recordNow_) return AppendNote(result_.Detail, L"恢复记录已保留");
  AppendNote(result_.Detail, L"恢复记录未能保留");
  if (result_.State == ArchiveState::Success) result_.State = ArchiveState::Warning;
}

void ArchiveCourse::FailWith(const std::wstring& why) {
  result_.Refusal = why;
  Conclude();
}

bool ArchiveCourse::PrepareRetry() {
  if (result_.State != ArchiveState::Failure && result_.State != ArchiveState::Stopped) return false;
  for (CallResult& call : result_.Calls) {
    if (CallCompleted(call)) continue;
    call.Outcome = CallOutcome::NotRun;
    call.ExitCode = 0;
    call.Output.clear();
    call.Note.clear();
  }
  result_.Detail.clear();
  result_.Refusal.clear();  // the archive is looked at again
  result_.State = ArchiveState::Waiting;
  warning_.clear();
  phase_ = Phase::Done;
  return true;
}

}  // namespace rarbatch
