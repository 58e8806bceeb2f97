// Carrying out one step of an archive's course.
#include "archive_steps.h"

#include <windows.h>

#include "archive_check.h"
#include "archive_files.h"
#include "archiver_process.h"
#include "backup.h"
#include "content_compare.h"
#include "list_file.h"
#include "core/archive_names.h"
#include "win/error_text.h"
#include "win/file_marks.h"
#include "win/file_ops.h"

namespace rarbatch {
namespace {

// The most of a technical listing kept, about two hundred thousand entries; the course refuses a
// delete whose listing was cut short.
constexpr std::size_t kListingKeepBytes = 64 * 1024 * 1024;

// Runs one call, with its list file if it has one; the list file goes when the call is done.
void RunCall(const StepContext& context, CallResult& call) {
  std::optional<TempFile> list;
  if (!call.ListFile.empty() && !(list = WriteListFile(call))) {
    call.Outcome = CallOutcome::StartFailed;
    call.Output = L"无法写入列表文件：" + call.ListFile;
    return;
  }
  RunArchiverCall(context.Job.RarPath, call, call.PasswordOnInput ? context.PasswordInput : std::string(),
                  context.Archivers, 0, 0, context.Job.Password);
}

// Compares the listing's candidates with the job's samples: one p call for all of them, given the
// password as the run's calls get it.
void CompareContents(const StepContext& context, std::size_t archive, const ArchiveStep& step, StepReport& report) {
  if (!step.Listing) return;
  const bool passwordOnInput = step.WithPassword && context.Job.UsePassword &&
                               step.Options.Password == PasswordSource::StandardInput;
  report.Content = FindContent(context.Job, archive, step.Options, step.WithPassword, *step.Listing,
                               SplitDeleteEntries(context.Job.DeleteNames).Names,
                               passwordOnInput ? context.PasswordInput : std::string(), context.Archivers,
                               &report.Call);
  if (context.Aborting && report.Call.Outcome == CallOutcome::Exited &&
      report.Call.ExitCode == kEndedByStopExitCode) {
    report.Call.Outcome = CallOutcome::Killed;
  }
}

}  // namespace

void CarryOutStep(const StepContext& context, std::size_t archive, const ArchiveStep& step, StepReport& report) {
  const std::wstring& path = context.Job.Archives[archive];
  switch (step.Kind) {
    case StepKind::ReadHeader:
      report.Header = ReadHeaderOf(path);
      report.FileSize = SizeOf(FullPathOf(path)).value_or(0);
      return;
    case StepKind::ReadReferences:
      RunArchiverCall(context.Job.RarPath, report.Call,
                      report.Call.PasswordOnInput ? context.PasswordInput : std::string(), context.Archivers,
                      kListingKeepBytes, 0, context.Job.Password);
      if (context.Aborting && report.Call.Outcome == CallOutcome::Exited &&
          report.Call.ExitCode == kEndedByStopExitCode) {
        report.Call.Outcome = CallOutcome::Killed;
      }
      return;
    case StepKind::CompareContents: return CompareContents(context, archive, step, report);
    case StepKind::ReadTimes:
      if (const std::optional<FileTimes> times = ReadFileTimes(FullPathOf(path))) report.Created = times->Created;
      return;
    case StepKind::ReadMarks: report.Marks = ReadFileMarks(FullPathOf(path)); return;
    case StepKind::BackUp: {
      // A file that is not there yet has nothing to keep; the archiver says what it makes of it.
      const std::wstring full = FullPathOf(path);
      if (!PathExists(full)) return;
      report.Failure = BackUpArchive(context.Job.BackupFolder, full, PlaceInBackup(full, context.BackupRoot));
      report.Copied = report.Failure.empty();
      return;
    }
    case StepKind::LookAtFile:
      report.Exists = PathExists(path);
      if (const std::optional<ArchiveHeader> header = report.Exists ? ReadHeaderOf(path) : std::nullopt) {
        report.Locked = header->Locked;
        report.RecoveryRecord = header->RecoveryRecord;
      }
      return;
    case StepKind::Call:
      RunCall(context, report.Call);
      if (context.Aborting && report.Call.Outcome == CallOutcome::Exited &&
          report.Call.ExitCode == kEndedByStopExitCode) {
        report.Call.Outcome = CallOutcome::Killed;
        const std::wstring left = TemporaryFilesBeside(path);
        if (!left.empty()) report.Call.Note = L"压缩程序留下了临时文件：" + left;
      }
      return;
    case StepKind::PutTimesBack: {
      // -tk kept the modification time; the creation time is the new file's, so it is put back.
      const DWORD error = WriteFileTimes(FullPathOf(path), FileTimes{step.CreatedTime, 0});
      if (error != ERROR_SUCCESS) report.Failure = DescribeFailure(L"无法恢复创建时间", path, error);
      return;
    }
    case StepKind::PutMarksBack: report.Failure = PutFileMarksBack(FullPathOf(path), step.Marks); return;
    case StepKind::RecordAfter:
      // What the run left, beside the archive's backup: a restore tells from it whether the archive
      // was changed since.
      report.Failure = RecordAfterRun(context.Job.BackupFolder, FullPathOf(path));
      return;
    case StepKind::Done: return;
  }
}

}  // namespace rarbatch
