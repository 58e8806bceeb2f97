// One archive's course through a run, decided without touching anything: given the job, what the
// archive's first bytes said and how each finished step went, it says the next step to carry out and
// the archive's state and words. The runner (run/job_runner.cpp) only carries the steps out, on
// worker threads; the window and the companion read the result it keeps.
//
// The steps, in order, each only where it applies:
//   ReadHeader   the first bytes, before any call: an archive no call can succeed on gets none;
//   ReadReferences  its technical listing, when the job deletes from an archive that may hold
//                references, or when the job has samples of content to delete (then any archive its
//                header lets be read, RAR 4 too): a delete that would leave a reference without its
//                target is refused;
//   CompareContents  with samples, the listing's candidates compared byte for byte; the entries
//                that hold a sample's bytes join the first delete, planned anew;
//   ReadTimes    its creation time, with the job's KeepTimes, before the first change;
//   ReadMarks    what the file carries beside its contents (attributes, the mark of a download),
//                before the first change;
//   BackUp       a checked copy before the first change, once per file;
//   LookAtFile   whether the file is there (and locked), after each call that ran and where a later
//                step depends on it;
//   Call         the next archiver call that has not completed;
//   PutTimesBack the creation time, once a call has run;
//   PutMarksBack what the file carried and the new one lacks, once a call has run;
//   RecordAfter  what the run left, beside the backup, once a call has run;
//   Done.
// A failed call skips every later call (nothing is commented or locked after a failed step) and
// ends the archive; a retry starts again at its first call that did not complete. A stop lets no
// further call start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive_header.h"
#include "archiver_calls.h"
#include "batch_script.h"
#include "content_samples.h"
#include "file_marks.h"

namespace rarbatch {

// One archive of the job as far as the run has got.
struct ArchiveResult {
  std::wstring Archive;
  ArchiveState State = ArchiveState::Waiting;
  std::wstring Detail;  // see ArchiveSummary
  // Why no call was made, when the archive's first bytes show that none could succeed.
  std::wstring Refusal;
  // Its calls in run order, once it has been started; those not run (yet) are NotRun.
  std::vector<CallResult> Calls;
  // With the job's samples: what its listing and the byte comparison found (Listed is false when it
  // was not listed).
  ContentFindings Content;
};

// The words of an archive compared with the samples in which none was found.
inline constexpr wchar_t kNothingFoundByContent[] = L"没有与样本内容相同的文件";

// How many archives are in each state. Done counts those that have ended in any way.
struct RunCounts {
  std::size_t Total = 0, Waiting = 0, Running = 0, Done = 0;
  std::size_t Success = 0, Warning = 0, Failure = 0, Stopped = 0;
  // One archive went from `before` to `after`.
  void Move(ArchiveState before, ArchiveState after);
};

enum class StepKind {
  ReadHeader, ReadReferences, CompareContents, ReadTimes, ReadMarks, BackUp, LookAtFile, Call, PutTimesBack, PutMarksBack,
  RecordAfter, Done
};

struct ArchiveStep {
  StepKind Kind = StepKind::Done;
  std::size_t Call = 0;            // Call: the position of the call in the result's Calls
  std::uint64_t CreatedTime = 0;   // PutTimesBack: the creation time to put back (a FILETIME value)
  FileMarks Marks;                 // PutMarksBack: what the file carried before the first change
  // CompareContents: the archive's listing, how the run calls the archiver, and whether the job's
  // password may be used (the job has one).
  std::shared_ptr<const std::vector<ListedEntry>> Listing;
  RunOptions Options;
  bool WithPassword = false;
};

// What carrying out a step found, for ArchiveCourse::Report: the fields of that step's kind.
struct StepReport {
  std::optional<ArchiveHeader> Header;   // ReadHeader: nothing when the file could not be read
  std::uint64_t FileSize = 0;            // ReadHeader: the file's size in bytes, when it was read
  std::optional<std::uint64_t> Created;  // ReadTimes: nothing when they could not be read
  std::optional<FileMarks> Marks;        // ReadMarks: nothing when they could not be read
  bool Copied = false;                   // BackUp: a copy was made (false too when there was no file)
  bool Exists = false, Locked = false;   // LookAtFile
  bool RecoveryRecord = false;           // LookAtFile: its header says it has a recovery record
  CallResult Call;                       // Call, ReadReferences, CompareContents (its p call): as it ended
  ContentFindings Content;               // CompareContents: what the comparison found
  std::wstring Failure;                  // BackUp, PutTimesBack, RecordAfter: what failed, if anything
};

// What the runner knows when it takes an archive: how the archiver is called, why the program fell
// back if it did, why the archiver cannot be used at all (empty when it can), and whether the file
// was already copied in this run (an archive listed twice is copied once, before either).
struct CourseStart {
  RunOptions Options;
  std::wstring OptionsNote;
  std::wstring ArchiverProblem;
  bool AlreadyBackedUp = false;
};

// The path of the list file for an archive's call (its position in the plan).
using ListFileNamer = std::function<std::wstring(std::size_t call)>;

// The runner carries out Next() and reports it with the matching call below; Begin and the reports
// are made under the runner's lock, the steps themselves without it.
class ArchiveCourse {
 public:
  explicit ArchiveCourse(std::wstring archive = {});

  // Taking the archive in a run (the first, or a retry): its calls are planned when it has none.
  void Begin(const BatchJob& job, std::size_t index, const CourseStart& start, const ListFileNamer& listFileFor);

  // The step to carry out next; with `stopping`, no further call starts, and what a call that ran
  // still needs (its times, its record) is done before Done. Asking again without a report in
  // between gives the same step.
  ArchiveStep Next(bool stopping);

  // The outcome of `step`, as carried out: one of the reports below.
  void Report(const ArchiveStep& step, StepReport report);

  // ReadHeader: what the first bytes said; nothing when the file could not be read, which is left to
  // the archiver to say why. An archive with a recovery record gets one made anew by its last change,
  // as large as the one it has (`fileSize` tells how large that is).
  void HeaderRead(const std::optional<ArchiveHeader>& header, std::uint64_t fileSize = 0);
  // ReadReferences: the listing call as it ended. A delete that would leave a reference without its
  // target refuses the archive, as does a listing cut short; a listing that failed is noted on the
  // first call, which then meets the archive as the listing did. One ended by an abort ends the
  // archive, stopped, with nothing done.
  void ReferencesRead(const CallResult& listing);
  // CompareContents: what the comparison found, and its call of the archiver as it ended (NotRun when
  // there was nothing to compare). The entries found join the first delete, planned anew; a delete
  // that would then leave a reference without its target refuses the archive. One ended by an abort
  // ends the archive, stopped, with nothing done.
  void ContentCompared(ContentFindings findings, const CallResult& printCall = {});
  // ReadTimes: the creation time, when it could be read.
  void TimesRead(std::optional<std::uint64_t> created);
  // ReadMarks: what the file carries, when it could be read.
  void MarksRead(std::optional<FileMarks> marks);
  // BackUp: empty when copied or when there was no file to copy (`copied` says which), otherwise
  // what failed; a failed copy refuses the archive, which is then left as it was.
  void BackedUp(bool copied, const std::wstring& failure);
  // Call: the call as it ended (its outcome, exit code, output and note).
  void CallEnded(std::size_t call, CallResult ended);
  // LookAtFile: whether the archive file exists, whether it is locked and has a recovery record.
  void FileSeen(bool exists, bool locked, bool recoveryRecord = false);
  // PutTimesBack and RecordAfter: empty, or what failed (a note on the last call that ran).
  void TimesPutBack(const std::wstring& failure);
  // PutMarksBack: empty, or what failed; the archive then ends with a warning that says so, since a
  // file that lost the mark of a download passes for a local one.
  void MarksPutBack(const std::wstring& failure);
  void Recorded(const std::wstring& failure);

  // Ends the archive from its calls once Next() says Done: its state and words (SummarizeCalls), or a
  // failure with its refusal. `started`: false for an archive a stop reached before it was taken.
  void Conclude(bool started = true);
  // The program failed while carrying out a step: the archive fails with `why`.
  void FailWith(const std::wstring& why);
  // Makes a failed or stopped archive wait again, keeping the calls that completed; false for one in
  // any other state.
  bool PrepareRetry();

  // The listing call that ReadReferences carries out.
  CallResult ReferenceListing() const;

  const ArchiveResult& Result() const { return result_; }
  ArchiveState State() const { return result_.State; }
  void SetRunning() { result_.State = ArchiveState::Running; }
  // Whether the file has been copied in this run (by this entry or another entry of the same file).
  bool FileBackedUp() const { return backedUp_; }

 private:
  enum class Phase { Header, References, Compare, Times, Marks, Backup, Calls, PutBack, PutMarks, Record, Done };

  // The first phase from `from` on that applies to this archive.
  Phase FirstFrom(Phase from) const;
  // The first call not completed from `from` on, or Calls.size().
  std::size_t NextCall(std::size_t from) const;
  // The calls are over (all done, one failed, or a stop): on to what follows them.
  void EndCalls();
  // What a call that ran and the file as it now is say: an emptied archive, a re-created one, the
  // finishing call after a call that changed nothing.
  void AfterCall(std::size_t k);
  void Refuse(const std::wstring& why);
  // The calls planned anew, from the first, with what the header and the comparison found; the first
  // call's note stays.
  void Replan(const std::wstring& note);
  // Whether the job deletes by content.
  bool HasSamples() const { return job_ && !job_->Samples.empty(); }
  // Whether the recovery record it had is there after the calls, in the row's words; a lost one turns
  // a success into a warning.
  void SayWhatBecameOfTheRecord();

  ArchiveResult result_;
  const BatchJob* job_ = nullptr;
  std::size_t index_ = 0;
  RunOptions options_;
  ListFileNamer listFileFor_;

  Phase phase_ = Phase::Done;
  std::size_t call_ = 0;             // the call under way or next
  bool lookAfterCall_ = false;       // call_ ran: the file is looked at before anything else
  bool fileKnown_ = false;           // exists_ and locked_ are as the file is now
  bool exists_ = false, locked_ = false;
  bool recordNow_ = false;           // the file as last seen has a recovery record
  bool backedUp_ = false;            // copied in this run, by this course or by another entry of the file
  bool passwordOnEveryCall_ = false; // its names are encrypted: every call, the finishing one too
  bool mayHoldReferences_ = false;   // its header was read and is not RAR 4, which holds none
  bool headerRead_ = false;          // its header was read (and refused no call)
  std::shared_ptr<const std::vector<ListedEntry>> listing_;  // with samples: its listing, for the comparison
  unsigned recoveryPercent_ = 0;     // it had a recovery record: -rr on the last change, in percent
  std::optional<std::uint64_t> createdBefore_;  // read before its first call
  std::optional<FileMarks> marksBefore_;        // read before its first call
  std::wstring warning_;  // what makes a success a warning: a step after the calls that failed
};

}  // namespace rarbatch
