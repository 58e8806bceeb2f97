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
  bool LosesRecord = false;  // the archiver wrote no recovery record though asked for one
};
Ending Exit(std::uint32_t code) { return {CallOutcome::Exited, code}; }
Ending Ok() { return Exit(0); }
Ending Gone() { return {CallOutcome::Exited, 0, false}; }
Ending LockedAfter(std::uint32_t code) { return {CallOutcome::Exited, code, true, true}; }
Ending Killed() { return {CallOutcome::Killed, 0}; }
Ending NoStart() { return {CallOutcome::StartFailed, 0}; }
Ending LosesRecord() { return {CallOutcome::Exited, 0, true, false, true}; }

struct World {
  std::optional<ArchiveHeader> Header = ArchiveHeader{ArchiveFormat::Rar5};
  std::vector<Ending> Calls;      // in the order the calls are made
  bool ExistsAtStart = true;      // for a look before any call
  std::wstring BackupFailure;
  std::wstring PutBackFailure;
  FileMarks Marks;                // what the file carries before the first change
  std::wstring MarksFailure;
  int StopAfterCalls = -1;        // a stop asked for once that many calls have ended
  // How the technical listing ends, and what it says (an archive without references by default).
  Ending Listing = Ok();
  std::wstring ListingOutput = L"        Name: 广告.url\n        Type: File\n\n        Name: 图.jpg\n        Type: File\n";
  // With samples: what the byte comparison found, and how its call of the archiver ended.
  ContentFindings Found;
  Ending Compare = Ok();
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

// Walks the course to its end. The trace: H header, F the listing of references, T times read, G marks
// read, B backup, C the comparison by content, L a look at the file, the operation's letter for a call, P times put back, S marks
// put back, R the record after the run.
std::string Walk(ArchiveCourse& course, const BatchJob& job, const World& world, CourseStart start = {}) {
  course.Begin(job, 0, start, [](std::size_t call) { return L"C:\\Temp\\list" + std::to_wstring(call) + L".lst"; });
  std::string trace;
  std::size_t made = 0;
  bool exists = world.ExistsAtStart, locked = false;
  // As the archiver does: a call that rewrites the archive leaves a recovery record only if it asks
  // for one; exit 10 rewrote nothing.
  bool record = world.Header && world.Header->RecoveryRecord;
  for (int guard = 0; guard < 100; ++guard) {
    const bool stopping = world.StopAfterCalls >= 0 && made >= static_cast<std::size_t>(world.StopAfterCalls);
    const ArchiveStep step = course.Next(stopping);
    switch (step.Kind) {
      case StepKind::Done: course.Conclude(); return trace;
      case StepKind::ReadHeader: trace += 'H'; course.HeaderRead(world.Header); break;
      case StepKind::ReadReferences: {
        trace += 'F';
        CallResult listing = course.ReferenceListing();
        listing.Outcome = world.Listing.Outcome;
        listing.ExitCode = world.Listing.Code;
        listing.Output = world.ListingOutput;
        course.ReferencesRead(listing);
        break;
      }
      case StepKind::CompareContents: {
        trace += 'C';
        EXPECT_TRUE(step.Listing);
        CallResult print;
        print.Outcome = world.Compare.Outcome;
        print.ExitCode = world.Compare.Code;
        ContentFindings found = world.Found;
        found.Listed = true;
        course.Report(step, {.Call = print, .Content = found});
        break;
      }
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
      case StepKind::LookAtFile: trace += 'L'; course.FileSeen(exists, locked, record); break;
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
          const bool rewrote = ending.Code != 10 && call.Operation != ScriptOperation::Test;
          if (rewrote) record = call.CommandLine.find(L" -rr") != std::wstring::npos && !ending.LosesRecord;
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

// The job's delete name takes 广告.url: in the first listing its reference stays, in the second the
// reference is what goes.
const wchar_t kBrokenByDelete[] =
    L"        Name: 广告.url\n        Type: File\n\n"
    L"        Name: 广告副本.url\n        Type: File reference\n      Target: 广告.url\n\n";
const wchar_t kReferenceDeleted[] =
    L"        Name: 图.jpg\n        Type: File\n\n"
    L"        Name: 广告.url\n        Type: File reference\n      Target: 图.jpg\n\n";

// A hidden, read-only file that came from the internet.
const FileMarks kDownloaded{kReadOnlyAttribute | kHiddenAttribute | kArchiveAttribute,
                            "[ZoneTransfer]\r\nZoneId=3\r\n"};

ArchiveHeader WithRecord() {
  ArchiveHeader header{ArchiveFormat::Rar5};
  header.RecoveryRecord = true;
  return header;
}

const Row kRows[] = {
    // Everything succeeds: a delete, then the add carrying comment and lock; the file is looked at
    // after each call.
    {"AllSucceed", {.Add = true, .Comment = true, .Lock = true}, {}, "HFGdLaL", ArchiveState::Success, L""},
    {"TimesAndBackupAroundTheCalls", {.Backup = true, .KeepTimes = true}, {}, "HFTGBdLPR", ArchiveState::Success, L""},
    // The first failure ends the archive: nothing is added, commented or locked after it, and the
    // file is not even looked at.
    {"StopsAtTheFirstFailure", {.Add = true, .Lock = true}, {.Calls = {Exit(3)}}, "HFGd", ArchiveState::Failure,
     L"删除："},
    {"AStartThatFailsIsAFailure", {.Add = true}, {.Calls = {NoStart()}}, "HFGd", ArchiveState::Failure,
     L"无法启动压缩程序"},
    // Exit 10: a delete that found nothing succeeded, with a note; an add that missed files warns.
    {"ADeleteThatFoundNothingSucceedsWithANote", {}, {.Calls = {Exit(10)}}, "HFGdL", ArchiveState::Success,
     L"压缩包中没有要删除的文件"},
    {"AnAddThatMissedFilesWarns", {.Delete = false, .Add = true}, {.Calls = {Exit(10)}}, "HGaL",
     ArchiveState::Warning, L"有要添加的文件找不到"},
    // A last call that changed nothing set neither comment nor lock: a finishing call of its own does.
    {"FinishingCallAfterATen", {.Comment = true, .Lock = true}, {.Calls = {Exit(10), Ok()}}, "HFGdLcL",
     ArchiveState::Success, L"压缩包中没有要删除的文件"},
    {"NoFinishingCallWhenTheArchiveIsAlreadyLocked", {.Lock = true}, {.Calls = {LockedAfter(10)}}, "HFGdL",
     ArchiveState::Success, L"压缩包中没有要删除的文件"},
    {"NoFinishingCallAfterASuccess", {.Lock = true}, {.Calls = {Ok()}}, "HFGdL", ArchiveState::Success, L""},
    // The delete took every entry, so the archiver deleted the file: nothing is left to test, comment
    // or lock, and no time is put back on a file that is gone.
    {"EmptiedArchiveIsNotTestedOrLocked", {.Lock = true, .KeepTimes = true, .Test = true}, {.Calls = {Gone()}},
     "HFTGdL", ArchiveState::Warning, L"压缩包中的文件已全部删除"},
    {"AnAddAfterEmptyingMakesTheArchiveAnew", {.Add = true}, {.Calls = {Gone(), Ok()}}, "HFGdLaL",
     ArchiveState::Warning, L"随后的添加新建了压缩包"},
    // "Left as it was" only when no earlier call may have changed the archive.
    {"KilledFirstCallLeavesTheArchiveAsItWas", {.Add = true}, {.Calls = {Killed()}}, "HFGd", ArchiveState::Stopped,
     L"已中止，压缩包保持原样"},
    {"KilledAfterAChangeSaysTheChangeStays", {.Add = true}, {.Calls = {Ok(), Killed()}}, "HFGdLa",
     ArchiveState::Stopped, L"之前完成的步骤的改动仍在"},
    {"KilledCallIsRecordedBesideTheBackup", {.Backup = true}, {.Calls = {Killed()}}, "HFGBdR", ArchiveState::Stopped,
     L"已中止"},
    // A stop lets no further call start; a call that ran still gets its times and record.
    {"StopBeforeAnyCall", {.KeepTimes = true}, {.StopAfterCalls = 0}, "HTG", ArchiveState::Stopped, L""},
    {"StopBetweenCalls", {.Add = true, .Backup = true, .KeepTimes = true}, {.StopAfterCalls = 1}, "HFTGBdLPR",
     ArchiveState::Stopped, L""},
    // What the first bytes say refuses the archive before any call.
    {"LockedArchiveIsRefused", {}, {.Header = Header(ArchiveFormat::Rar5, true)}, "H", ArchiveState::Failure,
     L"已锁定"},
    {"NotRarIsRefused", {.Backup = true}, {.Header = Header(ArchiveFormat::NotRar)}, "H", ArchiveState::Failure,
     L"不是 RAR 压缩包"},
    {"UnreadableFileIsLeftToTheArchiver", {}, {.Header = std::nullopt, .Calls = {Exit(6)}}, "HGd",
     ArchiveState::Failure, L"(6)"},
    {"FailedBackupLeavesTheArchiveAlone", {.Backup = true}, {.BackupFailure = L"磁盘已满"}, "HFGB",
     ArchiveState::Failure, L"备份失败，压缩包没有改动：磁盘已满"},
    {"NoFileNothingToCopy", {.Backup = true}, {.Calls = {Exit(10)}, .ExistsAtStart = false}, "HFGBdL",
     ArchiveState::Success, L"压缩包中没有要删除的文件"},
    // Before a delete its references are listed: a delete that would leave one without its target is
    // not made, and nothing is timed, copied or called.
    {"ADeleteThatBreaksAReferenceIsRefused", {.Add = true, .Backup = true, .KeepTimes = true},
     {.ListingOutput = kBrokenByDelete}, "HF", ArchiveState::Failure, L"删除会使文件引用无法解压：广告副本.url → 广告.url"},
    {"ADeleteThatTakesTheReferenceOnlyGoesOn", {}, {.ListingOutput = kReferenceDeleted}, "HFGdL",
     ArchiveState::Success, L""},
    // A listing that failed is noted; the delete meets the archive as the listing did.
    {"AFailedListingIsLeftToTheDelete", {}, {.Calls = {Exit(3)}, .Listing = Exit(3)}, "HFGd", ArchiveState::Failure,
     L"删除："},
    {"AListingEndedByAnAbortEndsTheArchive", {.Backup = true}, {.Listing = Killed()}, "HF", ArchiveState::Stopped,
     L""},
    // A listing cut short cannot be checked, while the delete would go through: refused.
    {"AListingCutShortIsRefused", {}, {.ListingOutput = L"        Name: a\n……（省略 9 字节）……\n"}, "HF",
     ArchiveState::Failure, L"无法检查文件引用，压缩包没有改动"},
    // Not listed: RAR 4 holds no references, a job without deletes takes none, an unreadable file is
    // the archiver's to report, and a stop starts no listing.
    {"Rar4IsNotListed", {}, {.Header = Header(ArchiveFormat::Rar4), .ListingOutput = kBrokenByDelete}, "HGdL",
     ArchiveState::Success, L""},
    {"NoDeleteNoListing", {.Delete = false, .Add = true}, {.ListingOutput = kBrokenByDelete}, "HGaL",
     ArchiveState::Success, L""},
    {"StopBeforeTheListing", {.KeepTimes = true}, {.StopAfterCalls = 0, .ListingOutput = kBrokenByDelete}, "HTG",
     ArchiveState::Stopped, L""},
    // What the file carried is put back once a call has run, after its times and before the record.
    {"MarksArePutBackAfterTheCalls", {}, {.Marks = kDownloaded}, "HFGdLS", ArchiveState::Success, L""},
    {"MarksBetweenTimesAndRecord", {.Backup = true, .KeepTimes = true}, {.Marks = kDownloaded}, "HFTGBdLPSR",
     ArchiveState::Success, L""},
    {"NoMarksOnAFileThatIsGone", {}, {.Calls = {Gone()}, .Marks = kDownloaded}, "HFGdL", ArchiveState::Warning,
     L"压缩包中的文件已全部删除"},
    {"NoMarksWhenNoCallRan", {}, {.Marks = kDownloaded, .StopAfterCalls = 0}, "HG", ArchiveState::Stopped, L""},
    {"MarksThatCannotBePutBackWarn", {}, {.Marks = kDownloaded, .MarksFailure = L"无法恢复下载标记"}, "HFGdLS",
     ArchiveState::Warning, L"无法恢复下载标记"},
    {"MarksThatCannotBePutBackAddToAWarning", {.Delete = false, .Add = true},
     {.Calls = {Exit(10)}, .Marks = kDownloaded, .MarksFailure = L"无法恢复下载标记"}, "HGaLS", ArchiveState::Warning,
     L"有要添加的文件找不到 (10)；无法恢复下载标记"},
    // A recovery record is made anew by the last change; one the archiver did not write is a warning.
    {"ARecoveryRecordIsKept", {.Add = true, .Comment = true, .Lock = true}, {.Header = WithRecord()}, "HFGdLaL",
     ArchiveState::Success, L"恢复记录已保留"},
    {"ARecoveryRecordThatIsLostWarns", {.Add = true}, {.Header = WithRecord(), .Calls = {Ok(), LosesRecord()}},
     "HFGdLaL", ArchiveState::Warning, L"恢复记录未能保留"},
    {"AFailureSaysTheRecordIsGoneToo", {.Add = true}, {.Header = WithRecord(), .Calls = {Ok(), Exit(2)}}, "HFGdLa",
     ArchiveState::Failure, L"恢复记录未能保留"},
    {"AnEmptiedArchiveHasNoRecordToKeep", {}, {.Header = WithRecord(), .Calls = {Gone()}}, "HFGdL",
     ArchiveState::Warning, L"压缩包中的文件已全部删除"},
    {"TimesThatCannotBePutBackAreANote", {.KeepTimes = true}, {.PutBackFailure = L"无法恢复创建时间"}, "HFTGdLP",
     ArchiveState::Success, L""},
};

INSTANTIATE_TEST_SUITE_P(Outcomes, CourseTable, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.Name); });

// Deleting by content: a sample of 3,000 bytes, and an archive whose listing holds it twice.
const ContentSample kBanner{3000, 0x40AA2191u, std::string(64, 'a'), L"C:\\样本\\banner.jpg"};
const wchar_t kWithBanner[] =
    L"        Name: 广告.url\n        Type: File\n        Size: 10\n       CRC32: 00000001\n\n"
    L"        Name: 图.jpg\n        Type: File\n        Size: 3000\n       CRC32: 40AA2191\n\n"
    L"        Name: sub/banner.jpg\n        Type: File\n        Size: 3000\n       CRC32: 40AA2191\n\n"
    L"        Name: 副本.jpg\n        Type: File reference\n      Target: 图.jpg\n\n";
const ContentFindings kBothFound{.Matches = {{L"图.jpg", 0}, {L"sub/banner.jpg", 0}, {L"副本.jpg", 0}}};

BatchJob WithSamples(const JobShape& shape) {
  BatchJob job = JobOf(shape);
  job.Samples = {kBanner};
  return job;
}

struct ContentRow {
  const char* Name;
  JobShape Job;
  World Answers;
  const char* Trace;
  ArchiveState State;
  const wchar_t* Detail;
};

void PrintTo(const ContentRow& row, std::ostream* out) { *out << row.Name; }

class ContentCourseTable : public testing::TestWithParam<ContentRow> {};

TEST_P(ContentCourseTable, WalksToItsStateAndWords) {
  const ContentRow& row = GetParam();
  const BatchJob job = WithSamples(row.Job);
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, row.Answers), row.Trace);
  EXPECT_EQ(course.State(), row.State) << ArchiveStateName(course.State());
  if (*row.Detail == 0) {
    EXPECT_EQ(course.Result().Detail, L"");
  } else {
    EXPECT_NE(course.Result().Detail.find(row.Detail), std::wstring::npos) << course.Result().Detail.size();
  }
}

const ContentRow kContentRows[] = {
    // Listed once and compared before anything is timed, copied or called; what was found joins the
    // job's delete, or makes one of its own.
    {"ComparedBeforeTheCalls", {.Backup = true, .KeepTimes = true},
     {.ListingOutput = kWithBanner, .Found = kBothFound}, "HFCTGBdLPR", ArchiveState::Success, L""},
    {"FoundEntriesMakeADeleteOfTheirOwn", {.Delete = false, .Add = true},
     {.ListingOutput = kWithBanner, .Found = kBothFound}, "HFCGdLaL", ArchiveState::Success, L""},
    {"NothingFoundMakesNoDelete", {.Delete = false, .Add = true}, {.ListingOutput = kWithBanner}, "HFCGaL",
     ArchiveState::Success, kNothingFoundByContent},
    {"NothingFoundNothingElseToDo", {.Delete = false}, {.ListingOutput = kWithBanner}, "HFCG", ArchiveState::Success,
     kNothingFoundByContent},
    // RAR 4 holds no references, but its entries are compared all the same.
    {"Rar4IsListedForSamples", {}, {.Header = Header(ArchiveFormat::Rar4), .ListingOutput = kWithBanner,
     .Found = kBothFound}, "HFCGdL", ArchiveState::Success, L""},
    // Without a listing nothing can be found: the archive is not half cleaned by its names alone.
    {"AFailedListingRefusesTheArchive", {.Add = true}, {.Listing = Exit(3)}, "HF", ArchiveState::Failure,
     L"不能按内容删除，压缩包没有改动"},
    {"AListingThatCouldNotStartRefusesTheArchive", {.Add = true}, {.Listing = NoStart()}, "HF",
     ArchiveState::Failure, L"无法启动压缩程序"},
    {"AListingCutShortRefusesTheArchive", {.Delete = false, .Add = true},
     {.ListingOutput = L"        Name: a\n……（省略 9 字节）……\n"}, "HF", ArchiveState::Failure,
     L"文件太多，无法完整列出"},
    {"AListingEndedByAnAbortEndsTheArchive", {}, {.Listing = Killed()}, "HF", ArchiveState::Stopped, L""},
    {"AComparisonEndedByAnAbortEndsTheArchive", {.Backup = true},
     {.ListingOutput = kWithBanner, .Found = kBothFound, .Compare = Killed()}, "HFC", ArchiveState::Stopped, L""},
    {"StopBeforeTheListing", {.KeepTimes = true}, {.StopAfterCalls = 0, .ListingOutput = kWithBanner}, "HTG",
     ArchiveState::Stopped, L""},
    // What could not be compared or deleted makes a success a warning.
    {"AnEntryThatNeedsThePasswordWarns", {}, {.ListingOutput = kWithBanner,
     .Found = {.NotCompared = {L"sub/banner.jpg"}}}, "HFCGdL", ArchiveState::Warning,
     L"无法比较：需要密码：sub/banner.jpg"},
    {"UnreadableBytesWarn", {.Delete = false, .Add = true}, {.ListingOutput = kWithBanner,
     .Found = {.Unreadable = {L"图.jpg"}}}, "HFCGaL", ArchiveState::Warning, L"无法读取内容，未比较：图.jpg"},
    {"AnOverbroadSampleWarns", {}, {.ListingOutput = kWithBanner, .Found = {.Matches = kBothFound.Matches,
     .Overbroad = {0}}}, "HFCGdL", ArchiveState::Warning, L"样本 banner.jpg 与压缩包中超过一半的文件相同"},
    {"AWarningOfTheCallsKeepsTheContentWords", {.Delete = false, .Add = true},
     {.Calls = {Ok(), Exit(10)}, .ListingOutput = kWithBanner, .Found = {.Matches = kBothFound.Matches,
     .NotNameable = {L"x*.jpg"}}}, "HFCGdLaL", ArchiveState::Warning, L"无法按确切路径删除，已保留：x*.jpg"},
    // The references rule takes the entries found with the job's names: a target found without its
    // reference refuses the archive, before anything is timed or copied.
    {"AFoundTargetWithoutItsReferenceIsRefused", {.Backup = true, .KeepTimes = true},
     {.ListingOutput = kWithBanner, .Found = {.Matches = {{L"图.jpg", 0}}}}, "HFC", ArchiveState::Failure,
     L"删除会使文件引用无法解压：副本.jpg → 图.jpg"},
    {"AReferenceFoundWithItsTargetGoesOn", {.Delete = false},
     {.ListingOutput = kWithBanner, .Found = kBothFound}, "HFCGdL", ArchiveState::Success, L""},
};

INSTANTIATE_TEST_SUITE_P(Content, ContentCourseTable, testing::ValuesIn(kContentRows),
                         [](const testing::TestParamInfo<ContentRow>& info) { return std::string(info.param.Name); });

TEST(ArchiveCourse, FoundEntriesGoOnTheFirstDeleteByTheirExactPaths) {
  const BatchJob job = WithSamples({.Add = true, .Lock = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.ListingOutput = kWithBanner, .Found = kBothFound}), "HFCGdLaL");
  const std::vector<CallResult>& calls = course.Result().Calls;
  ASSERT_EQ(calls.size(), 2u) << "rewritten twice at most";
  EXPECT_EQ(calls[0].ListText, L"\"广告.url\"\r\n\"图.jpg\"\r\n\"sub/banner.jpg\"\r\n\"副本.jpg\"\r\n");
  EXPECT_NE(calls[0].CommandLine.find(L"-scfl"), std::wstring::npos);
  EXPECT_EQ(course.Result().Content.Matches, kBothFound.Matches);
  EXPECT_TRUE(course.Result().Content.Listed);

  // A job without samples is not compared, and its delete carries its names alone.
  const BatchJob plain = JobOf({.Add = true, .Lock = true});
  ArchiveCourse without(plain.Archives[0]);
  EXPECT_EQ(Walk(without, plain, {.ListingOutput = kWithBanner, .Found = kBothFound}), "HFGdLaL");
  EXPECT_EQ(without.Result().Calls[0].ListFile, L"");
  EXPECT_FALSE(without.Result().Content.Listed);
}

TEST(ArchiveCourse, EncryptedNamesAreListedAndComparedWithThePassword) {
  const BatchJob job = WithSamples({.Add = true, .Password = true});
  ArchiveCourse course(job.Archives[0]);
  course.Begin(job, 0, {}, {});
  ASSERT_EQ(course.Next(false).Kind, StepKind::ReadHeader);
  course.HeaderRead(Header(ArchiveFormat::Rar5, false, true));
  ASSERT_EQ(course.Next(false).Kind, StepKind::ReadReferences);
  CallResult listing = course.ReferenceListing();
  EXPECT_TRUE(listing.PasswordOnInput);
  listing.Outcome = CallOutcome::Exited;
  listing.Output = kWithBanner;
  course.ReferencesRead(listing);
  const ArchiveStep step = course.Next(false);
  ASSERT_EQ(step.Kind, StepKind::CompareContents);
  ASSERT_TRUE(step.Listing);
  EXPECT_EQ(step.Listing->size(), 4u);
  EXPECT_TRUE(step.WithPassword);
  EXPECT_TRUE(step.Options.PasswordOnEveryCall);
  EXPECT_EQ(course.Next(false).Kind, StepKind::CompareContents) << "asked again, the same step";

  // Without a password the entries are compared without one.
  const BatchJob none = WithSamples({});
  ArchiveCourse plain(none.Archives[0]);
  plain.Begin(none, 0, {}, {});
  plain.HeaderRead(Header(ArchiveFormat::Rar5));
  EXPECT_FALSE(plain.ReferenceListing().PasswordOnInput);
  listing.PasswordOnInput = false;
  plain.ReferencesRead(listing);
  EXPECT_FALSE(plain.Next(false).WithPassword);
}

// Once a call has changed the archive, what was found stays and nothing is listed again; before
// that, a retry finds anew, since the archive may have changed meanwhile.
TEST(ArchiveCourse, ARetryKeepsWhatWasFoundOnlyOnceACallChangedTheArchive) {
  const BatchJob job = WithSamples({.Delete = false, .Add = true});
  const World found{.Calls = {Ok(), Exit(5)}, .ListingOutput = kWithBanner,
                    .Found = {.Matches = kBothFound.Matches, .NotCompared = {L"加密.jpg"}}};
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, found), "HFCGdLa");
  ASSERT_TRUE(course.PrepareRetry());
  EXPECT_EQ(Walk(course, job, {}), "aL");
  EXPECT_EQ(course.State(), ArchiveState::Warning);
  EXPECT_NE(course.Result().Detail.find(L"无法比较：需要密码：加密.jpg"), std::wstring::npos);
  EXPECT_EQ(course.Result().Content.Matches, kBothFound.Matches);

  ArchiveCourse unchanged(job.Archives[0]);
  EXPECT_EQ(Walk(unchanged, job, {.Calls = {Exit(5)}, .ListingOutput = kWithBanner, .Found = kBothFound}), "HFCGd");
  ASSERT_TRUE(unchanged.PrepareRetry());
  EXPECT_EQ(Walk(unchanged, job, {.ListingOutput = kWithBanner}), "HFCaL") << "its marks were read once";
  EXPECT_EQ(unchanged.State(), ArchiveState::Success);
  EXPECT_TRUE(unchanged.Result().Content.Matches.empty());
}

TEST(ArchiveCourse, RetryResumesAtTheFirstCallThatDidNotComplete) {
  const BatchJob job = JobOf({.Add = true, .Comment = true, .KeepTimes = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.Calls = {Ok(), Exit(5)}}), "HFTGdLaP");
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
  EXPECT_EQ(Walk(course, job, {.Calls = {Ok(), Exit(5)}, .Marks = kDownloaded}), "HFGdLaS");
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
  EXPECT_EQ(Walk(course, job, {}), "HFGdL");
  EXPECT_EQ(course.State(), ArchiveState::Success);
}

TEST(ArchiveCourse, AfterAnEmptyingDeleteARetryLooksAtTheFileBeforeItsTest) {
  const BatchJob job = JobOf({.Add = true, .Lock = true, .Test = true});
  ArchiveCourse course(job.Archives[0]);
  // The delete emptied the archive, the add made it anew, and the test could not start.
  EXPECT_EQ(Walk(course, job, {.Calls = {Gone(), Ok(), NoStart()}}), "HFGdLaLt");
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

TEST(ArchiveCourse, ARetryAfterAReferenceRefusalListsAgain) {
  const BatchJob job = JobOf({.Add = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.ListingOutput = kBrokenByDelete}), "HF");
  EXPECT_TRUE(course.Result().Calls.empty()) << "no call was made";
  ASSERT_TRUE(course.PrepareRetry());
  // The reference was taken out meanwhile: the listing says so, and the job goes through.
  EXPECT_EQ(Walk(course, job, {}), "HFGdLaL");
  EXPECT_EQ(course.State(), ArchiveState::Success);
}

TEST(ArchiveCourse, AListingThatFailedIsANoteOnTheDelete) {
  const BatchJob job = JobOf({.Add = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.Listing = NoStart(), .ListingOutput = L"系统找不到指定的文件。"}, {.OptionsNote = L"压缩程序版本 5.21 早于 5.30"}), "HFGdLaL");
  EXPECT_EQ(course.Result().Calls[0].Note, L"压缩程序版本 5.21 早于 5.30；无法检查文件引用：无法启动压缩程序：系统找不到指定的文件。");
  EXPECT_EQ(course.State(), ArchiveState::Success);
}

TEST(ArchiveCourse, EncryptedNamesAreListedWithThePassword) {
  const BatchJob job = JobOf({.Add = true, .Password = true});
  ArchiveCourse course(job.Archives[0]);
  course.Begin(job, 0, {}, {});
  ASSERT_EQ(course.Next(false).Kind, StepKind::ReadHeader);
  course.HeaderRead(Header(ArchiveFormat::Rar5, false, true));
  ASSERT_EQ(course.Next(false).Kind, StepKind::ReadReferences);
  const CallResult listing = course.ReferenceListing();
  EXPECT_TRUE(listing.PasswordOnInput);
  EXPECT_EQ(listing.CommandLine, L"\"C:\\Rar.exe\" lt -c- -p -scfr \"D:\\漫画\\卷一.rar\"");

  ArchiveCourse plain(job.Archives[0]);
  plain.Begin(job, 0, {}, {});
  plain.HeaderRead(Header(ArchiveFormat::Rar5));
  EXPECT_FALSE(plain.ReferenceListing().PasswordOnInput) << "names that are not encrypted need none";
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
  EXPECT_EQ(Walk(course, job, {}, {.AlreadyBackedUp = true}), "HFGdLR");
  EXPECT_TRUE(course.FileBackedUp());
}

TEST(ArchiveCourse, EncryptedNamesPutThePasswordOnEveryCallTheFinishingOneToo) {
  const BatchJob job = JobOf({.Add = true, .Lock = true, .Password = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.Header = Header(ArchiveFormat::Rar5, false, true), .Calls = {Ok(), Exit(10)}}),
            "HFGdLaLkL");
  const std::vector<CallResult>& calls = course.Result().Calls;
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_TRUE(calls[2].Finishing);
  for (const CallResult& call : calls) EXPECT_TRUE(call.PasswordOnInput) << call.CommandLine.size();
  EXPECT_EQ(calls[0].Note, L"文件名已加密：每一步都带上密码");
}

// Only the last change asks for the record (each rewrite drops it), at the percent that keeps its size;
// the finishing call after a change that changed nothing, being then the last change, asks too.
TEST(ArchiveCourse, TheLastChangeAsksForTheRecordTheFinishingCallToo) {
  ArchiveHeader header = WithRecord();
  header.RecoveryOffset = 100000;
  const BatchJob job = JobOf({.Add = true, .Lock = true});
  ArchiveCourse course(job.Archives[0]);
  course.Begin(job, 0, {}, {});
  ASSERT_EQ(course.Next(false).Kind, StepKind::ReadHeader);
  course.Report({StepKind::ReadHeader}, {.Header = header, .FileSize = 105000});
  const std::vector<CallResult>& calls = course.Result().Calls;
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].CommandLine.find(L"-rr"), std::wstring::npos) << "the delete's record would go with the add";
  EXPECT_NE(calls[1].CommandLine.find(L" -k -rr6% "), std::wstring::npos) << std::string(calls[1].CommandLine.begin(), calls[1].CommandLine.end());

  ArchiveCourse tenThenLock(job.Archives[0]);
  EXPECT_EQ(Walk(tenThenLock, job, {.Header = WithRecord(), .Calls = {Ok(), Exit(10)}}), "HFGdLaLkL");
  const std::vector<CallResult>& three = tenThenLock.Result().Calls;
  ASSERT_EQ(three.size(), 3u);
  EXPECT_TRUE(three[2].Finishing);
  EXPECT_NE(three[2].CommandLine.find(L" -rr10%"), std::wstring::npos) << "the size unknown: the fallback";
  EXPECT_EQ(tenThenLock.State(), ArchiveState::Warning) << "the add's exit 10 still warns";
  EXPECT_NE(tenThenLock.Result().Detail.find(L"恢复记录已保留"), std::wstring::npos);

  // An archive without one gets no -rr.
  ArchiveCourse plain(job.Archives[0]);
  Walk(plain, job, {});
  for (const CallResult& call : plain.Result().Calls) EXPECT_EQ(call.CommandLine.find(L"-rr"), std::wstring::npos);
  EXPECT_EQ(plain.Result().Detail.find(L"恢复记录"), std::wstring::npos);
}

// A retry keeps the plan the header gave, -rr included, though the header is not read again.
TEST(ArchiveCourse, ARetryStillAsksForTheRecord) {
  const BatchJob job = JobOf({.Add = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.Header = WithRecord(), .Calls = {Ok(), Exit(5)}}), "HFGdLa");
  EXPECT_EQ(course.State(), ArchiveState::Failure);
  EXPECT_NE(course.Result().Detail.find(L"恢复记录未能保留"), std::wstring::npos) << "the delete dropped it";
  ASSERT_TRUE(course.PrepareRetry());
  EXPECT_EQ(Walk(course, job, {.Header = WithRecord()}), "aL");
  EXPECT_EQ(course.State(), ArchiveState::Success);
  EXPECT_EQ(course.Result().Detail, L"恢复记录已保留");
}

TEST(ArchiveCourse, AFallbackNoteStaysOnTheFirstCallAndOutputOnlyWhereItSaysSomething) {
  const BatchJob job = JobOf({.Add = true});
  ArchiveCourse course(job.Archives[0]);
  EXPECT_EQ(Walk(course, job, {.Calls = {Ok(), Exit(1)}}, {.OptionsNote = L"压缩程序版本 5.21 早于 5.30"}), "HFGdLaL");
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
