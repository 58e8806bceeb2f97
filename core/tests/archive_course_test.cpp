// One archive's course walked through every outcome its steps can have, with no process and no file:
// a made-up world answers each step, and the walk is written down as a trace of letters.
#include "core/archive_course.h"
#include "core/tests/job_shape.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rarbatch {
namespace {

// How one archiver call ends in the made-up world, and whether the archive file is there after it.
struct Ending {
  CallOutcome Outcome = CallOutcome::Exited;
  std::uint32_t Code = 0;
  bool ExistsAfter = true;
  bool LockedAfter = false;
};
Ending Exit(std::uint32_t code) { return {CallOutcome::Exited, code}; }
Ending Ok() { return Exit(0); }
Ending Gone() { return {CallOutcome::Exited, 0, false}; }
Ending LockedAfter(std::uint32_t code) { return {CallOutcome::Exited, code, true, true}; }
Ending Killed() { return {CallOutcome::Killed, 0}; }
Ending NoStart() { return {CallOutcome::StartFailed, 0}; }

struct World {
  std::optional<ArchiveHeader> Header = ArchiveHeader{ArchiveFormat::Rar5};
  std::vector<Ending> Calls;      // in the order the calls are made
  bool ExistsAtStart = true;      // for a look before any call
  std::wstring BackupFailure;
  std::wstring PutBackFailure;
  FileMarks Marks;                // what the file carries before the first change
  std::wstring MarksFailure;
  int StopAfterCalls = -1;        // a stop asked for once that many calls have ended
};

using testing_jobs::JobShape;
BatchJob JobOf(const JobShape& shape) { return testing_jobs::ShapedJob(shape); }

char Letter(ScriptOperation operation) {
  switch (operation) {
    case ScriptOperation::Delete: return 'd';
    case ScriptOperation::Add: return 'a';
    case ScriptOperation::Comment: return 'c';
    case ScriptOperation::Lock: return 'k';
    case ScriptOperation::Test: return 't';
  }
  return '?';
}

// Walks the course to its end. The trace: H header, T times read, G marks read, B backup, L a look at
// the file, the operation's letter for a call, P times put back, S marks put back, R the record after
// the run.
std::string Walk(ArchiveCourse& course, const BatchJob& job, const World& world, CourseStart start = {}) {
  course.Begin(job, 0, start, [](std::size_t call) { return L"C:\\Temp\\list" + std::to_wstring(call) + L".lst"; });
  std::string trace;
  std::size_t made = 0;
  bool exists = world.ExistsAtStart, locked = false;
  for (int guard = 0; guard < 100; ++guard) {
    const bool stopping = world.StopAfterCalls >= 0 && made >= static_cast<std::size_t>(world.StopAfterCalls);
    const ArchiveStep step = course.Next(stopping);
    switch (step.Kind) {
      case StepKind::Done: course.Conclude(); return trace;
      case StepKind::ReadHeader: trace += 'H'; course.HeaderRead(world.Header); break;
      case StepKind::ReadTimes: trace += 'T'; course.TimesRead(1234); break;
      case StepKind::ReadMarks: trace += 'G'; course.MarksRead(world.Marks); break;
      case StepKind::PutMarksBack:
        trace += 'S';
        EXPECT_EQ(step.Marks, world.Marks);
        course.MarksPutBack(world.MarksFailure);
        break;
      case StepKind::BackUp:
        trace += 'B';
        course.BackedUp(exists && world.BackupFailure.empty(), world.BackupFailure);
        break;
      case StepKind::LookAtFile: trace += 'L'; course.FileSeen(exists, locked); break;
      case StepKind::PutTimesBack:
        trace += 'P';
        EXPECT_EQ(step.CreatedTime, 1234u);
        course.TimesPutBack(world.PutBackFailure);
        break;
      case StepKind::RecordAfter: trace += 'R'; course.Recorded(L""); break;
      case StepKind::Call: {
        CallResult call = course.Result().Calls.at(step.Call);
        trace += Letter(call.Operation);
        const Ending ending = made < world.Calls.size() ? world.Calls[made] : Ok();
        ++made;
        call.Outcome = ending.Outcome;
        call.ExitCode = ending.Code;
        call.Output = L"archiver output";
        if (ending.Outcome == CallOutcome::Exited) {
          exists = ending.ExistsAfter;
          locked = ending.LockedAfter;
        }
        course.CallEnded(step.Call, call);
        break;
      }
    }
  }
  ADD_FAILURE() << "the course never ended: " << trace;
  return trace;
}

struct Row {
  const char* Name;
  JobShape Job;
  World Answers;
  const char* Trace;
  ArchiveState State;
  const wchar_t* Detail;  // what the row's words hold ("" for none)
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.Name; }

class CourseTable : public testing::TestWithParam<Row> {};

TEST_P(CourseTable, WalksToItsStateAndWords) {
  const Row& row = GetParam();
  const BatchJob job = JobOf(row.Job);
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, row.Answers), row.Trace);
  EXPECT_EQ(course.State(), row.State) << ArchiveStateName(course.State());
  if (*row.Detail == 0) {
    EXPECT_EQ(course.Result().Detail, L"");
  } else {
    EXPECT_NE(course.Result().Detail.find(row.Detail), std::wstring::npos) << course.Result().Detail.size();
  }
}

ArchiveHeader Header(ArchiveFormat format, bool locked = false, bool namesEncrypted = false) {
  ArchiveHeader header{format};
  header.Locked = locked;
  header.NamesEncrypted = namesEncrypted;
  return header;
}

// A hidden, read-only file that came from the internet.
const FileMarks kDownloaded{kReadOnlyAttribute | kHiddenAttribute | kArchiveAttribute,
                            "[ZoneTransfer]\r\nZoneId=3\r\n"};

const Row kRows[] = {
    // Everything succeeds: a delete, then the add carrying comment and lock; the file is looked at
    // after each call.
    {"AllSucceed", {.Add = true, .Comment = true, .Lock = true}, {}, "HGdLaL", ArchiveState::Success, L""},
    {"TimesAndBackupAroundTheCalls", {.Backup = true, .KeepTimes = true}, {}, "HTGBdLPR", ArchiveState::Success, L""},
    // The first failure ends the archive: nothing is added, commented or locked after it, and the
    // file is not even looked at.
    {"StopsAtTheFirstFailure", {.Add = true, .Lock = true}, {.Calls = {Exit(3)}}, "HGd", ArchiveState::Failure,
     L"删除："},
    {"AStartThatFailsIsAFailure", {.Add = true}, {.Calls = {NoStart()}}, "HGd", ArchiveState::Failure,
     L"无法启动压缩程序"},
    // Exit 10: a delete that found nothing succeeded, with a note; an add that missed files warns.
    {"ADeleteThatFoundNothingSucceedsWithANote", {}, {.Calls = {Exit(10)}}, "HGdL", ArchiveState::Success,
     L"压缩包中没有要删除的文件"},
    {"AnAddThatMissedFilesWarns", {.Delete = false, .Add = true}, {.Calls = {Exit(10)}}, "HGaL",
     ArchiveState::Warning, L"有要添加的文件找不到"},
    // A last call that changed nothing set neither comment nor lock: a finishing call of its own does.
    {"FinishingCallAfterATen", {.Comment = true, .Lock = true}, {.Calls = {Exit(10), Ok()}}, "HGdLcL",
     ArchiveState::Success, L"压缩包中没有要删除的文件"},
    {"NoFinishingCallWhenTheArchiveIsAlreadyLocked", {.Lock = true}, {.Calls = {LockedAfter(10)}}, "HGdL",
     ArchiveState::Success, L"压缩包中没有要删除的文件"},
    {"NoFinishingCallAfterASuccess", {.Lock = true}, {.Calls = {Ok()}}, "HGdL", ArchiveState::Success, L""},
    // The delete took every entry, so the archiver deleted the file: nothing is left to test, comment
    // or lock, and no time is put back on a file that is gone.
    {"EmptiedArchiveIsNotTestedOrLocked", {.Lock = true, .KeepTimes = true, .Test = true}, {.Calls = {Gone()}},
     "HTGdL", ArchiveState::Warning, L"压缩包中的文件已全部删除"},
    {"AnAddAfterEmptyingMakesTheArchiveAnew", {.Add = true}, {.Calls = {Gone(), Ok()}}, "HGdLaL",
     ArchiveState::Warning, L"随后的添加新建了压缩包"},
    // "Left as it was" only when no earlier call may have changed the archive.
    {"KilledFirstCallLeavesTheArchiveAsItWas", {.Add = true}, {.Calls = {Killed()}}, "HGd", ArchiveState::Stopped,
     L"已中止，压缩包保持原样"},
    {"KilledAfterAChangeSaysTheChangeStays", {.Add = true}, {.Calls = {Ok(), Killed()}}, "HGdLa",
     ArchiveState::Stopped, L"之前完成的步骤的改动仍在"},
    {"KilledCallIsRecordedBesideTheBackup", {.Backup = true}, {.Calls = {Killed()}}, "HGBdR", ArchiveState::Stopped,
     L"已中止"},
    // A stop lets no further call start; a call that ran still gets its times and record.
    {"StopBeforeAnyCall", {.KeepTimes = true}, {.StopAfterCalls = 0}, "HTG", ArchiveState::Stopped, L""},
    {"StopBetweenCalls", {.Add = true, .Backup = true, .KeepTimes = true}, {.StopAfterCalls = 1}, "HTGBdLPR",
     ArchiveState::Stopped, L""},
    // What the first bytes say refuses the archive before any call.
    {"LockedArchiveIsRefused", {}, {.Header = Header(ArchiveFormat::Rar5, true)}, "H", ArchiveState::Failure,
     L"已锁定"},
    {"NotRarIsRefused", {.Backup = true}, {.Header = Header(ArchiveFormat::NotRar)}, "H", ArchiveState::Failure,
     L"不是 RAR 压缩包"},
    {"UnreadableFileIsLeftToTheArchiver", {}, {.Header = std::nullopt, .Calls = {Exit(6)}}, "HGd",
     ArchiveState::Failure, L"(6)"},
    {"FailedBackupLeavesTheArchiveAlone", {.Backup = true}, {.BackupFailure = L"磁盘已满"}, "HGB",
     ArchiveState::Failure, L"备份失败，压缩包没有改动：磁盘已满"},
    {"NoFileNothingToCopy", {.Backup = true}, {.Calls = {Exit(10)}, .ExistsAtStart = false}, "HGBdL",
     ArchiveState::Success, L"压缩包中没有要删除的文件"},
    // What the file carried is put back once a call has run, after its times and before the record.
    {"MarksArePutBackAfterTheCalls", {}, {.Marks = kDownloaded}, "HGdLS", ArchiveState::Success, L""},
    {"MarksBetweenTimesAndRecord", {.Backup = true, .KeepTimes = true}, {.Marks = kDownloaded}, "HTGBdLPSR",
     ArchiveState::Success, L""},
    {"NoMarksOnAFileThatIsGone", {}, {.Calls = {Gone()}, .Marks = kDownloaded}, "HGdL", ArchiveState::Warning,
     L"压缩包中的文件已全部删除"},
    {"NoMarksWhenNoCallRan", {}, {.Marks = kDownloaded, .StopAfterCalls = 0}, "HG", ArchiveState::Stopped, L""},
    {"MarksThatCannotBePutBackWarn", {}, {.Marks = kDownloaded, .MarksFailure = L"无法恢复下载标记"}, "HGdLS",
     ArchiveState::Warning, L"无法恢复下载标记"},
    {"MarksThatCannotBePutBackAddToAWarning", {.Delete = false, .Add = true},
     {.Calls = {Exit(10)}, .Marks = kDownloaded, .MarksFailure = L"无法恢复下载标记"}, "HGaLS", ArchiveState::Warning,
     L"有要添加的文件找不到 (10)；无法恢复下载标记"},
    {"TimesThatCannotBePutBackAreANote", {.KeepTimes = true}, {.PutBackFailure = L"无法恢复创建时间"}, "HTGdLP",
     ArchiveState::Success, L""},
};

INSTANTIATE_TEST_SUITE_P(Outcomes, CourseTable, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.Name); });

TEST(ArchiveCourse, RetryResumesAtTheFirstCallThatDidNotComplete) {
  const BatchJob job = JobOf({.Add = true, .Comment = true, .KeepTimes = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.Calls = {Ok(), Exit(5)}}), "HTGdLaP");
  EXPECT_EQ(course.State(), ArchiveState::Failure);
  ASSERT_TRUE(course.PrepareRetry());
  EXPECT_EQ(course.State(), ArchiveState::Waiting);
  EXPECT_EQ(course.Result().Calls[0].Outcome, CallOutcome::Exited) << "the completed delete is kept";
  EXPECT_EQ(course.Result().Calls[1].Outcome, CallOutcome::NotRun);
  // Not looked at, timed or copied again: the delete already changed it. The creation time read
  // before the first run is the one put back.
  EXPECT_EQ(Walk(course, job, {}), "aLP");
  EXPECT_EQ(course.State(), ArchiveState::Success);
  EXPECT_FALSE(course.PrepareRetry()) << "a success is not run again";
}

TEST(ArchiveCourse, MarksAreReadOnceBeforeTheFirstChangeAndPutBackAfterARetry) {
  const BatchJob job = JobOf({.Add = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.Calls = {Ok(), Exit(5)}, .Marks = kDownloaded}), "HGdLaS");
  ASSERT_TRUE(course.PrepareRetry());
  // The new file the delete left carries nothing: what was read before it is what goes back.
  EXPECT_EQ(Walk(course, job, {.Marks = kDownloaded}), "aLS");
  EXPECT_EQ(course.State(), ArchiveState::Success);
}

TEST(FileMarks, OnlyWhatTheNewFileLacksIsAdded) {
  EXPECT_FALSE(CarriesMarks({}));
  EXPECT_FALSE(CarriesMarks({0x80 /* normal */}));
  EXPECT_TRUE(CarriesMarks({kArchiveAttribute}));
  EXPECT_TRUE(CarriesMarks({0, std::string()})) << "an empty stream is still a mark";

  const FileMarks now{kArchiveAttribute | 0x2000 /* not indexed */, std::nullopt};
  const FileMarks wanted = MarksToPutBack(kDownloaded, now);
  EXPECT_EQ(wanted.Attributes, kReadOnlyAttribute | kHiddenAttribute | kArchiveAttribute | 0x2000);
  EXPECT_EQ(wanted.Zone, kDownloaded.Zone);
  // Attributes the kept set does not name (here: system, 0x4) are not carried over.
  EXPECT_EQ(MarksToPutBack({0x4}, {0}).Attributes, 0u);
  EXPECT_EQ(NameMarks(kDownloaded), L"只读、隐藏、下载标记");
  EXPECT_EQ(NameMarks({kArchiveAttribute}), L"") << "the archive attribute is kept, not named";
  // A stream the new file has of its own stays.
  EXPECT_EQ(MarksToPutBack(kDownloaded, {0, std::string("ZoneId=4")}).Zone, std::string("ZoneId=4"));
}

TEST(ArchiveCourse, RetryAfterARefusalLooksAgainAndPlansAnew) {
  const BatchJob job = JobOf({});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.Header = Header(ArchiveFormat::Rar5, true)}), "H");
  EXPECT_TRUE(course.Result().Calls.empty());
  ASSERT_TRUE(course.PrepareRetry());
  EXPECT_EQ(Walk(course, job, {}), "HGdL");
  EXPECT_EQ(course.State(), ArchiveState::Success);
}

TEST(ArchiveCourse, AfterAnEmptyingDeleteARetryLooksAtTheFileBeforeItsTest) {
  const BatchJob job = JobOf({.Add = true, .Lock = true, .Test = true});
  ArchiveCourse course(job.Archives[0]);
  // The delete emptied the archive, the add made it anew, and the test could not start.
  EXPECT_EQ(Walk(course, job, {.Calls = {Gone(), Ok(), NoStart()}}), "HGdLaLt");
  ASSERT_TRUE(course.PrepareRetry());
  EXPECT_EQ(Walk(course, job, {}), "LtLkL");
  EXPECT_EQ(course.State(), ArchiveState::Warning) << "the emptying is still said";

  // Had the file gone meanwhile, nothing would be tested or locked.
  ArchiveCourse gone(job.Archives[0]);
  Walk(gone, job, {.Calls = {Gone(), Ok(), NoStart()}});
  ASSERT_TRUE(gone.PrepareRetry());
  EXPECT_EQ(Walk(gone, job, {.ExistsAtStart = false}), "L");
  EXPECT_EQ(gone.Result().Calls[2].Outcome, CallOutcome::Skipped);
  EXPECT_EQ(gone.Result().Calls[2].Note, L"压缩包文件已不存在，以后的步骤不再进行");
}

TEST(ArchiveCourse, AnArchiverThatCannotBeUsedRefusesBeforeAnyStep) {
  const BatchJob job = JobOf({.Backup = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {}, {.ArchiverProblem = L"压缩程序没有给出版本"}), "");
  EXPECT_EQ(course.State(), ArchiveState::Failure);
  EXPECT_EQ(course.Result().Detail, L"压缩程序没有给出版本");
}

TEST(ArchiveCourse, SecondEntryOfACopiedFileIsNotCopiedAgainButRecorded) {
  const BatchJob job = JobOf({.Backup = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {}, {.AlreadyBackedUp = true}), "HGdLR");
  EXPECT_TRUE(course.FileBackedUp());
}

TEST(ArchiveCourse, EncryptedNamesPutThePasswordOnEveryCallTheFinishingOneToo) {
  const BatchJob job = JobOf({.Add = true, .Lock = true, .Password = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.Header = Header(ArchiveFormat::Rar5, false, true), .Calls = {Ok(), Exit(10)}}),
            "HGdLaLkL");
  const std::vector<CallResult>& calls = course.Result().Calls;
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_TRUE(calls[2].Finishing);
  for (const CallResult& call : calls) EXPECT_TRUE(call.PasswordOnInput) << call.CommandLine.size();
  EXPECT_EQ(calls[0].Note, L"文件名已加密：每一步都带上密码");
}

TEST(ArchiveCourse, AFallbackNoteStaysOnTheFirstCallAndOutputOnlyWhereItSaysSomething) {
  const BatchJob job = JobOf({.Add = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.Calls = {Ok(), Exit(1)}}, {.OptionsNote = L"压缩程序版本 5.21 早于 5.30"}), "HGdLaL");
  const std::vector<CallResult>& calls = course.Result().Calls;
  EXPECT_EQ(calls[0].Note, L"压缩程序版本 5.21 早于 5.30");
  EXPECT_EQ(calls[0].Output, L"archiver output") << "a call with a note keeps its output";
  EXPECT_EQ(calls[1].Output, L"archiver output") << "a warning keeps its output";
  EXPECT_EQ(course.State(), ArchiveState::Warning);

  ArchiveCourse plain(job.Archives[0]);
  Walk(plain, job, {});
  EXPECT_TRUE(plain.Result().Calls[0].Output.empty()) << "a plain success keeps none";
}

TEST(ArchiveCourse, AFailedPutBackIsANoteOnTheLastCallThatRan) {
  const BatchJob job = JobOf({.Add = true, .KeepTimes = true});
  ArchiveCourse course(job.Archives[0]);
  Walk(course, job, {.Calls = {Ok(), Ok()}, .PutBackFailure = L"无法恢复创建时间：拒绝访问"});
  EXPECT_EQ(course.Result().Calls[1].Note, L"无法恢复创建时间：拒绝访问");
}

TEST(ArchiveCourse, AProgramFailureEndsTheArchiveWithItsWords) {
  const BatchJob job = JobOf({});
  ArchiveCourse course(job.Archives[0]);
  course.Begin(job, 0, {}, {});
  course.FailWith(L"程序出错：内存不足");
  EXPECT_EQ(course.State(), ArchiveState::Failure);
  EXPECT_EQ(course.Result().Detail, L"程序出错：内存不足");
}

TEST(ArchiveCourse, AnArchiveAStopReachedBeforeItWasTakenIsStopped) {
  ArchiveCourse course(L"a.rar");
  course.Conclude(false);
  EXPECT_EQ(course.State(), ArchiveState::Stopped);
  EXPECT_TRUE(course.Result().Detail.empty());
}

}  // namespace
}  // namespace rarbatch
