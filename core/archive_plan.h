// What every archive of a job gets from the archiver, decided once: its calls, each with its
// arguments typed, written out two ways. The script writes one call per delete entry, per file to add,
// for the comment and for the lock, as it always has. The program's own run makes at most one delete
// call and one add call, with the comment, the lock and the password on the last one, because every
// call that changes an archive rewrites all of it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "batch_script.h"

namespace rarbatch {

// Where a used password goes: on the command line (-p<password>), or through the archiver's standard
// input (-p alone), where no other program can read it.
enum class PasswordSource { None, CommandLine, StandardInput };

// One archiver call for an archive; the archive itself is filled in when the call is written out.
struct PlannedCall {
  ScriptOperation Command = ScriptOperation::Delete;  // d, a, c, k or t
  std::vector<std::size_t> Names;  // d: positions of the job's delete entries it carries
  // d: entries found by content (ContentFindings), each by its exact stored path; they go in a list
  // file, beside the names.
  std::vector<std::wstring> ContentEntries{};
  std::vector<std::size_t> Files;  // a: positions of the job's files to add
  PasswordSource Password = PasswordSource::None;
  bool BaseNamesOnly = false;  // -ep1: each file at the archive's root, a folder with its own name
  bool Comment = false;        // -z<comment file>, also on d and a
  bool Lock = false;           // -k on d, a and c; the k command locks by itself
  bool Utf8Output = false;     // -scfr: the archiver's messages in UTF-8
  bool KeepTimes = false;      // -tk: the archive keeps its modification time
  unsigned RecoveryPercent = 0;  // -rr<N>%: a recovery record made anew (0: none asked for)
};

using ArchivePlan = std::vector<PlannedCall>;

// The script's calls: each delete entry, each file to add (with the password on the command line),
// the comment, the lock.
ArchivePlan ScriptPlan(const BatchJob& job);

struct RunOptions {
  // Where the password goes when the job uses one.
  PasswordSource Password = PasswordSource::StandardInput;
  bool Utf8Output = true;
  // The password on every call, not only on the add: for an archive whose names are encrypted, which
  // no call can open without it.
  bool PasswordOnEveryCall = false;
  // The archive has a recovery record, which every call that rewrites it drops unless it asks for
  // one: the percent that gives it back (RecoveryPercentToKeep), or 0.
  unsigned RecoveryPercent = 0;
  // The archive's entries found by content: they join the first delete call (one is made when the job
  // deletes no names), so the archive is still rewritten at most twice.
  std::vector<std::wstring> ContentEntries{};
};

// The program's own calls: one d with every delete entry that holds names only, then one d for each
// entry that holds a switch (so that the switch applies to its own names, as in the script); one a
// with every file, each stored at the archive's root; -p on the a call; -z and -k on the last call.
// A job that neither deletes nor adds gets its FinishingCall alone. With the job's TestBeforeLock,
// a t call follows the changes, and a job that locks gets its comment and lock in a FinishingCall
// after the test instead (d, a, t, then c -z -k or k), so that only a sound archive is locked. With
// KeepTimes every call carries -tk. With a RecoveryPercent the last call that changes the archive
// carries -rr, and so does the last change before a test that the lock waits for.
ArchivePlan RunPlan(const BatchJob& job, const RunOptions& options);

// The call that sets the comment and the lock by themselves (c with -z and -k, or k): the whole plan
// of a job that neither deletes nor adds, and the call that follows a last call that changed nothing
// (exit code 10), since the archiver then sets neither. Nothing when the job does neither.
std::optional<PlannedCall> FinishingCall(const BatchJob& job, const RunOptions& options);

// The script's lines. Every piece of the job is escaped once, up front, so that the command interpreter
// hands the archiver exactly what the user entered (batch_script.cpp says how).
class ScriptWriter {
 public:
  explicit ScriptWriter(const BatchJob& job);
  // Appends the line of `call` for the job's archive `archive`, ended by CR LF.
  void Append(std::wstring& text, const PlannedCall& call, std::size_t archive) const;
  // The length of the line without its CR LF and without the archive's text; and the length of the
  // archive's text as the line holds it.
  std::size_t FixedLength(const PlannedCall& call) const;
  std::size_t ArchiveLength(std::size_t archive) const { return archives_[archive].size(); }

 private:
  // The line with the archive's escaped text inserted at `archiveText`.
  void Write(std::wstring& text, const PlannedCall& call, const std::wstring& archiveText) const;

  std::wstring rar_, password_, comment_;
  std::vector<std::wstring> archives_, names_, files_;
};

// The program's command line for `call` on the job's archive `archive`, every argument quoted for the
// archiver. A delete entry goes as the words the archiver reads from it on its own script line
// (DeleteEntryWords), so one entry may hold several names and none runs on into the next.
// With a `listFile`, the names or files are not on the line: "@<listFile>" is, with -scfl, and the
// file holds ListFileText; an entry's switches stay on the line.
std::wstring RunCommandLine(const BatchJob& job, const PlannedCall& call, std::size_t archive,
                            const std::wstring& listFile = {});

// How a password on the command line is shown and kept: never as itself.
inline constexpr wchar_t kMaskedPasswordSwitch[] = L"-p***";

// RunCommandLine with the password switch, when the call carries the password on its command line,
// written as kMaskedPasswordSwitch; `passwordAt` is where it stands (npos without one). This is the
// line the run keeps and shows; WithPassword makes the one started, when it is started.
std::wstring MaskedRunCommandLine(const BatchJob& job, const PlannedCall& call, std::size_t archive,
                                  const std::wstring& listFile, std::size_t* passwordAt);
std::wstring WithPassword(const std::wstring& masked, std::size_t passwordAt, const std::wstring& password);

// The length of RunCommandLine for that call but for the archive's text, and the length of that text.
std::size_t RunCommandLineFixedLength(const BatchJob& job, const PlannedCall& call,
                                      const std::wstring& listFile = {});
std::size_t RunArchiveLength(const BatchJob& job, std::size_t archive);

// Whether the call carries names or files that a list file can take instead of the command line. A
// call with entries found by content always takes them from one (ArchiverCallsFor).
bool CanUseListFile(const PlannedCall& call);

// A list file's text for `call`: one name or file a line (a delete entry's words as the archiver
// splits them, less its switches), each quoted as on the command line and ended by CR LF, to be
// written in UTF-8.
std::wstring ListFileText(const BatchJob& job, const PlannedCall& call);

// The first call of `plan`, for the first archive in list order, whose line is longer than `limit`;
// Item names the call's first delete entry or file. Every line holds its archive once, so its length
// is `fixedLength(call)`, the line's length with an empty archive text, plus `archiveLength(archive)`,
// the archive's text as the line writes it.
template <typename FixedFn, typename ArchiveFn>
std::optional<OverlongLine> FindOverlongCall(const BatchJob& job, const ArchivePlan& plan,
                                             std::size_t limit, FixedFn fixedLength,
                                             ArchiveFn archiveLength) {
  std::vector<std::size_t> fixed;
  fixed.reserve(plan.size());
  for (const PlannedCall& call : plan) fixed.push_back(fixedLength(call));
  for (std::size_t a = 0; a < job.Archives.size(); ++a) {
    const std::size_t archive = archiveLength(a);
    for (std::size_t c = 0; c < plan.size(); ++c) {
      if (fixed[c] + archive <= limit) continue;
      const PlannedCall& call = plan[c];
      const std::size_t item = !call.Names.empty() ? call.Names.front()
                               : !call.Files.empty() ? call.Files.front() : 0;
      return OverlongLine{a, call.Command, item, fixed[c] + archive};
    }
  }
  return std::nullopt;
}

}  // namespace rarbatch
