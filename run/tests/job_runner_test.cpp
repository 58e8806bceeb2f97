// The job run inside the program, against the stand-in archiver: results from exit codes and from the
// archives' first bytes, at most two calls an archive, one archive never worked on twice at once,
// stopping and ending the archivers, retrying from the failed call, names outside the code page, and
// what the archives hold afterwards.
#include "run/job_runner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "core/archive_header.h"
#include "core/archiver_args.h"
#include "run/archiver_process.h"
#include "tools/dialog_driver.h"
#include "run/tests/real_archiver.h"
#include "tools/test_support.h"

namespace rarbatch {
namespace {

using testing::FakeArchive;
using testing::FakeEntry;
using testing::ReadFakeArchive;
using Call = std::vector<std::wstring>;

constexpr auto kDeadline = std::chrono::milliseconds(testing::kPatienceMs);

// What the runner reported, for tests to wait on.
class EventLog {
 public:
  JobEvents Events() {
    return {[this](std::size_t i) { Note(&started_, i); },
            [this](std::size_t i) { Note(&finished_, i); }, [this] { Note(&ended_, 0); }};
  }
  // Waits, up to the deadline, until `archive` has finished.
  bool WaitFinished(std::size_t archive) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kDeadline, [&] {
      return std::count(finished_.begin(), finished_.end(), archive) > 0;
    });
  }
  std::vector<std::size_t> Started() { return Sorted(started_); }
  std::vector<std::size_t> Finished() { return Sorted(finished_); }
  std::size_t Ended() { return Sorted(ended_).size(); }

 private:
  void Note(std::vector<std::size_t>* list, std::size_t i) {
    std::lock_guard lock(mutex_);
    list->push_back(i);
    changed_.notify_all();
  }
  std::vector<std::size_t> Sorted(const std::vector<std::size_t>& list) {
    std::lock_guard lock(mutex_);
    std::vector<std::size_t> sorted = list;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::size_t> started_, finished_, ended_;
};

// Opens the file without sharing while the object lives: the stand-in archiver waits for it.
class HeldFile {
 public:
  explicit HeldFile(const std::wstring& path)
      : handle_(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~HeldFile() { Release(); }
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release() {
    if (Held()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// A folder with the stand-in archiver, a file to add and a comment file.
struct Workspace {
  Workspace() {
    rar = testing::InstallFakeRar(dir.Path());
    testing::WriteFileBytes(dir.Path() + L"new.txt", "new");
    testing::WriteFileBytes(dir.Path() + L"comment.txt", "\xE5\xA4\x87\xE6\xB3\xA8");  // 备注
  }
  // A job of delete old.txt, add new.txt, comment and lock for the archives named in `names`.
  BatchJob Job(const std::vector<std::wstring>& names) const {
    BatchJob job;
    job.RarPath = rar;
    for (const auto& name : names) job.Archives.push_back(dir.Path() + name);
    job.DeleteNames = {L"old.txt"};
    job.AddFiles = {dir.Path() + L"new.txt"};
    job.CommentFile = dir.Path() + L"comment.txt";
    job.Lock = true;
    return job;
  }
  // An archive holding `entries` (old.txt and keep.txt unless told).
  void Make(const std::wstring& name, FakeArchive a = {}) const {
    if (a.Entries.empty()) a.Entries = {{L"old.txt", L""}, {L"keep.txt", L""}};
    ASSERT_TRUE(testing::WriteFakeArchive(dir.Path() + name, a)) << name;
  }
  void MakeLocked(const std::wstring& name) const {
    FakeArchive a;
    a.Locked = true;
    Make(name, a);
  }
  // The calls the stand-in recorded, each without the program's name.
  std::vector<Call> Calls() const { return testing::ReadRecordedCalls(dir.Path()); }
  std::size_t CallCount() const { return Calls().size(); }

  testing::ScratchFolder dir;
  std::wstring rar;
};

// An archive holding just these entries, added without a password.
FakeArchive Holding(std::initializer_list<const wchar_t*> names) {
  FakeArchive a;
  for (const wchar_t* name : names) a.Entries.push_back({name, L""});
  return a;
}

TEST(JobRunner, EveryArchiveGetsAtMostTwoCallsAndARowInWords) {
  Workspace w;
  const std::wstring unicode = L"\u0e01\U0001F600 x.rar";  // outside code page 936
  for (const wchar_t* name : {L"ok.rar", L"forced 11.rar", L"forced 1.rar"}) w.Make(name);
  w.Make(unicode);
  w.Make(L"keeps only.rar", Holding({L"keep.txt"}));
  w.MakeLocked(L"locked.rar");
  FakeArchive volume;
  volume.Volume = true;
  w.Make(L"volume.part1.rar", volume);
  testing::WriteFileBytes(w.dir.Path() + L"not an archive.rar", "PK\x03\x04 a zip file");
  testing::ForceExitCode(w.dir.Path() + L"forced 11.rar", 11);
  testing::ForceExitCode(w.dir.Path() + L"forced 1.rar", 1);
  BatchJob job = w.Job({L"ok.rar", L"locked.rar", L"missing.rar", L"forced 11.rar", L"forced 1.rar", unicode,
                        L"keeps only.rar", L"volume.part1.rar", L"not an archive.rar"});
  job.UsePassword = true;
  job.Password = L"p w\"d\\";

  EventLog log;
  JobRunner runner(job, 3, log.Events());
  ASSERT_TRUE(runner.Start());
  EXPECT_FALSE(runner.Start()) << "one run at a time";
  runner.Wait();
  EXPECT_FALSE(runner.IsRunning());

  const struct {
    ArchiveState state;
    const wchar_t* detail;
    std::size_t callsMade;
  } want[] = {
      {ArchiveState::Success, L"", 2},
      {ArchiveState::Failure, L"已锁定", 0},
      {ArchiveState::Failure, L"删除：打开文件错误 (6)", 1},  // nothing follows a failed step
      {ArchiveState::Failure, L"删除：密码错误 (11)", 1},
      {ArchiveState::Warning, L"删除：警告 (1)", 2},
      {ArchiveState::Success, L"", 2},
      {ArchiveState::Success, L"删除：压缩包中没有要删除的文件", 2},
      {ArchiveState::Failure, L"分卷压缩包不能删除或添加文件", 0},
      {ArchiveState::Failure, L"不是 RAR 压缩包", 0},
  };
  std::size_t calls = 0;
  for (std::size_t i = 0; i < std::size(want); ++i) {
    const ArchiveResult r = runner.Result(i);
    EXPECT_EQ(r.Archive, job.Archives[i]);
    EXPECT_EQ(r.State, want[i].state) << i << " " << ArchiveStateName(r.State) << " " << r.Detail;
    EXPECT_EQ(r.Detail, want[i].detail) << i;
    const auto made = std::count_if(r.Calls.begin(), r.Calls.end(), [](const CallResult& c) {
      return c.Outcome == CallOutcome::Exited;
    });
    EXPECT_EQ(static_cast<std::size_t>(made), want[i].callsMade) << i;
    calls += want[i].callsMade;
  }
  const RunCounts c = runner.Counts();
  EXPECT_EQ((std::vector<std::size_t>{c.Total, c.Done, c.Success, c.Warning, c.Failure, c.Stopped}),
            (std::vector<std::size_t>{9, 9, 3, 1, 5, 0}));
  EXPECT_EQ(log.Ended(), 1u);
  EXPECT_EQ(w.CallCount(), calls) << "the version is read by a call without arguments, not recorded";

  // The archiver's output, both streams in one pipe, in UTF-8 as asked.
  EXPECT_EQ(runner.Result(2).Calls[0].Output, L"压缩包 " + job.Archives[2] + L"\r\n退出代码 6\r\n");
  // The password reached the archiver through its standard input, never on a command line.
  for (const Call& call : w.Calls()) {
    for (const std::wstring& word : call) EXPECT_EQ(word.find(job.Password), std::wstring::npos);
  }
  // What the archives hold now: new.txt at the root, under the password, commented and locked.
  const std::vector<FakeEntry> edited{{L"keep.txt", L""}, {L"new.txt", job.Password}};
  for (const std::wstring& name : {std::wstring(L"ok.rar"), unicode, std::wstring(L"keeps only.rar")}) {
    const FakeArchive a = ReadFakeArchive(w.dir.Path() + name);
    EXPECT_EQ(a.Entries, edited) << name;
    EXPECT_EQ(a.Comment, L"备注");
    EXPECT_TRUE(a.Locked);
  }
  EXPECT_FALSE(ReadFakeArchive(w.dir.Path() + L"missing.rar").Exists) << "no add after the failed delete";
  const FakeArchive locked = ReadFakeArchive(w.dir.Path() + L"locked.rar");
  EXPECT_EQ(locked.Entries.size(), 2u) << "a locked archive is left alone";
}

TEST(JobRunner, ADeleteThatChangesNothingIsFollowedByTheCommentAndLockAlone) {
  Workspace w;
  w.Make(L"without old.rar", Holding({L"keep.txt"}));
  w.Make(L"only old.rar", Holding({L"old.txt"}));
  BatchJob job = w.Job({L"without old.rar", L"only old.rar"});
  job.AddFiles.clear();
  JobRunner runner(job, 1, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();

  const ArchiveResult nothing = runner.Result(0);
  EXPECT_EQ(nothing.State, ArchiveState::Success);
  EXPECT_EQ(nothing.Detail, L"删除：压缩包中没有要删除的文件");
  ASSERT_EQ(nothing.Calls.size(), 2u);
  EXPECT_TRUE(nothing.Calls[1].Finishing);
  const FakeArchive a = ReadFakeArchive(job.Archives[0]);
  EXPECT_EQ(a.Comment, L"备注");
  EXPECT_TRUE(a.Locked);

  // The archiver deletes an archive it has emptied: nothing is left to comment or lock.
  const ArchiveResult emptied = runner.Result(1);
  EXPECT_EQ(emptied.State, ArchiveState::Warning);
  EXPECT_EQ(emptied.Detail, L"删除：压缩包中的文件已全部删除，压缩程序随之删除了压缩包文件");
  EXPECT_EQ(emptied.Calls.size(), 1u);
  EXPECT_FALSE(ReadFakeArchive(job.Archives[1]).Exists);
}

// An archive with a recovery record gets -rr on its last change only, and keeps one; an archive
// without gets none.
TEST(JobRunner, TheLastChangeOfAnArchiveWithARecoveryRecordKeepsIt) {
  Workspace w;
  FakeArchive withRecord = Holding({L"old.txt", L"keep.txt"});
  withRecord.RecoveryPercent = 5;
  w.Make(L"record.rar", withRecord);
  w.Make(L"plain.rar");
  const BatchJob job = w.Job({L"record.rar", L"plain.rar"});
  JobRunner runner(job, 1, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();

  const ArchiveResult kept = runner.Result(0);
  EXPECT_EQ(kept.State, ArchiveState::Success) << kept.Detail;
  EXPECT_EQ(kept.Detail, L"恢复记录已保留");
  const FakeArchive after = ReadFakeArchive(job.Archives[0]);
  EXPECT_EQ(after.RecoveryPercent, kFallbackRecoveryPercent) << "the stand-in's header gives no size";
  EXPECT_TRUE(after.Locked);
  const ArchiveResult plain = runner.Result(1);
  EXPECT_EQ(plain.State, ArchiveState::Success);
  EXPECT_EQ(plain.Detail, L"");

  std::vector<std::wstring> withRr;
  for (const Call& call : w.Calls()) {
    const bool rr = std::any_of(call.begin(), call.end(), [](const std::wstring& a) { return a.starts_with(L"-rr"); });
    if (rr) withRr.push_back(call.at(0) + L" " + call.back());
  }
  EXPECT_EQ(withRr, (std::vector<std::wstring>{L"a " + job.AddFiles[0]})) << "the add of record.rar alone";
}

TEST(JobRunner, AMissingArchiverFailsTheFirstCallAndARefusedJobNeverRuns) {
  Workspace w;
  w.Make(L"a.rar");
  BatchJob job = w.Job({L"a.rar"});
  job.RarPath = w.dir.Path() + L"no such Rar.exe";
  JobRunner missing(job, 2, {});
  ASSERT_TRUE(missing.Start());
  missing.Wait();
  const ArchiveResult r = missing.Result(0);
  EXPECT_EQ(r.State, ArchiveState::Failure);
  EXPECT_EQ(r.Detail.find(L"无法启动压缩程序：错误 2："), 0u) << r.Detail;
  EXPECT_TRUE(r.Calls.empty()) << "found out once, before any archive";

  job.RarPath = w.rar;
  job.DeleteNames = {L"-r"};  // names nothing: the archiver would delete every entry
  JobRunner refused(job, 1, {});
  EXPECT_FALSE(refused.Start());
  EXPECT_EQ(refused.Result(0).State, ArchiveState::Waiting);
  EXPECT_EQ(w.CallCount(), 0u);
}

TEST(JobRunner, OneArchiveIsNeverWorkedOnTwiceAtOnce) {
  Workspace w;
  for (const wchar_t* name : {L"a.rar", L"b.rar", L"c.rar"}) w.Make(name);
  CreateDirectoryW((w.dir.Path() + L"sub").c_str(), nullptr);
  // Four entries name a.rar: in other letter cases and through another path.
  BatchJob job = w.Job({L"a.rar", L"A.RAR", L"b.rar", L"sub\\..\\a.Rar", L"c.rar", L"a.rar"});
  // A second lock would fail: one add call with the comment an archive.
  job.DeleteNames.clear();
  job.Lock = false;
  testing::FakeArchiverDelay delay(150);
  HeldFile heldB(w.dir.Path() + L"b.rar");
  ASSERT_TRUE(heldB.Held());

  EventLog log;
  JobRunner runner(job, 4, log.Events());
  ASSERT_TRUE(runner.Start());
  // Every entry of a.rar and c.rar ends while b.rar's call waits: archives run side by side.
  for (std::size_t i : {0u, 1u, 3u, 4u, 5u}) EXPECT_TRUE(log.WaitFinished(i)) << i;
  EXPECT_EQ(runner.Result(2).State, ArchiveState::Running);
  heldB.Release();
  runner.Wait();

  EXPECT_EQ(GetFileAttributesW((w.dir.Path() + L"overlaps.log").c_str()), INVALID_FILE_ATTRIBUTES)
      << "two calls worked on one archive at once";
  for (std::size_t i = 0; i < job.Archives.size(); ++i) {
    EXPECT_EQ(runner.Result(i).State, ArchiveState::Success) << i << " " << runner.Result(i).Detail;
  }
  EXPECT_EQ(w.CallCount(), 6u);
}

TEST(JobRunner, StopLetsTheRunningCallEndAndRetryCarriesOn) {
  Workspace w;
  for (const wchar_t* name : {L"0.rar", L"1.rar", L"2.rar", L"3.rar"}) w.Make(name);
  const BatchJob job = w.Job({L"0.rar", L"1.rar", L"2.rar", L"3.rar"});
  HeldFile held0(w.dir.Path() + L"0.rar");
  ASSERT_TRUE(held0.Held());

  EventLog log;
  JobRunner runner(job, 1, log.Events());
  ASSERT_TRUE(runner.Start());
  // The first changing call has started once it marks the archive busy (the listing before it does not);
  // it now waits for the file.
  const std::wstring busy = job.Archives[0] + L".busy";
  ASSERT_TRUE(testing::WaitUntil([&] { return GetFileAttributesW(busy.c_str()) != INVALID_FILE_ATTRIBUTES; }));
  runner.Stop();
  EXPECT_TRUE(runner.IsRunning()) << "Stop does not wait for the running call";
  EXPECT_TRUE(runner.IsStopping());
  EXPECT_EQ(runner.Result(0).State, ArchiveState::Running);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(runner.Result(i).State, ArchiveState::Stopped) << i;
  held0.Release();
  runner.Wait();

  EXPECT_EQ(log.Ended(), 1u);
  const ArchiveResult first = runner.Result(0);
  EXPECT_EQ(first.State, ArchiveState::Stopped);
  ASSERT_EQ(first.Calls.size(), 2u);
  EXPECT_EQ(first.Calls[0].Outcome, CallOutcome::Exited);
  EXPECT_EQ(first.Calls[0].ExitCode, 0u);
  EXPECT_EQ(first.Calls[1].Outcome, CallOutcome::NotRun);
  EXPECT_TRUE(runner.Result(1).Calls.empty());
  EXPECT_EQ(w.CallCount(), 1u) << "no call started after Stop";
  EXPECT_EQ(runner.Counts().Stopped, 4u);

  // Retry carries on where each archive stopped: 0.rar's delete is not repeated.
  ASSERT_TRUE(runner.Retry());
  runner.Wait();
  EXPECT_EQ(log.Ended(), 2u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(runner.Result(i).State, ArchiveState::Success) << i << " " << runner.Result(i).Detail;
    const FakeArchive a = ReadFakeArchive(job.Archives[i]);
    EXPECT_EQ(a.Entries, (std::vector<FakeEntry>{{L"keep.txt", L""}, {L"new.txt", L""}})) << i;
    EXPECT_TRUE(a.Locked);
  }
  EXPECT_EQ(w.CallCount(), 8u);
  EXPECT_FALSE(runner.Retry()) << "nothing failed or stopped";
}

TEST(JobRunner, ASecondStopEndsTheRunningArchiverAndLeavesTheArchiveAsItWas) {
  Workspace w;
  w.Make(L"slow.rar");
  const BatchJob job = w.Job({L"slow.rar"});
  const std::string before = testing::ReadFileBytes(job.Archives[0]);
  testing::FakeArchiverDelay delay(60000);

  JobRunner runner(job, 1, {});
  ASSERT_TRUE(runner.Start());
  // Stopped once the delete is at work, not while the listing before it runs.
  const std::wstring busy = job.Archives[0] + L".busy";
  ASSERT_TRUE(testing::WaitUntil([&] { return GetFileAttributesW(busy.c_str()) != INVALID_FILE_ATTRIBUTES; }));
  const ULONGLONG stopped = GetTickCount64();
  runner.Stop();
  runner.Abort();
  runner.Wait();
  EXPECT_LT(GetTickCount64() - stopped, 30000u) << "the archiver was not ended";

  const ArchiveResult r = runner.Result(0);
  EXPECT_EQ(r.State, ArchiveState::Stopped);
  ASSERT_EQ(r.Calls.size(), 2u);
  EXPECT_EQ(r.Calls[0].Outcome, CallOutcome::Killed);
  EXPECT_EQ(r.Detail.find(L"删除：已中止，压缩包保持原样"), 0u) << r.Detail;
  EXPECT_EQ(testing::ReadFileBytes(job.Archives[0]), before);
}

TEST(JobRunner, RetryRunsAgainFromTheFailedCall) {
  Workspace w;
  for (const wchar_t* name : {L"forced.rar", L"ok.rar"}) w.Make(name);
  testing::ForceExitCode(w.dir.Path() + L"forced.rar", 11);
  BatchJob job = w.Job({L"forced.rar", L"ok.rar"});
  job.AddFiles.push_back(w.dir.Path() + L"late.txt");  // not there: the add takes the others, and says 10

  JobRunner runner(job, 2, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();
  EXPECT_EQ(runner.Result(0).Detail, L"删除：密码错误 (11)");
  EXPECT_EQ(runner.Result(1).State, ArchiveState::Warning);
  EXPECT_EQ(runner.Result(1).Detail, L"添加：有要添加的文件找不到 (10)");
  const std::size_t firstRun = w.CallCount();
  EXPECT_EQ(firstRun, 3u);

  DeleteFileW((w.dir.Path() + L"forced.rar.exitcode").c_str());
  ASSERT_TRUE(runner.Retry());
  runner.Wait();
  EXPECT_EQ(runner.Result(0).State, ArchiveState::Warning) << runner.Result(0).Detail;
  const FakeArchive a = ReadFakeArchive(job.Archives[0]);
  EXPECT_EQ(a.Entries, (std::vector<FakeEntry>{{L"keep.txt", L""}, {L"new.txt", L""}}));
  EXPECT_EQ(a.Comment, L"备注");
  EXPECT_TRUE(a.Locked);
  EXPECT_EQ(w.CallCount(), firstRun + 2) << "forced.rar's delete and add; ok.rar only warned";
}

TEST(JobRunner, ManyNamesAndFilesGoThroughListFiles) {
  Workspace w;
  w.Make(L"a.rar");
  BatchJob job = w.Job({L"a.rar"});
  for (int i = 0; i < 1500; ++i) job.DeleteNames.push_back(L"\"absent name " + std::to_wstring(i) + L".txt\"");
  JobRunner runner(job, 1, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();
  const ArchiveResult r = runner.Result(0);
  EXPECT_EQ(r.State, ArchiveState::Success) << r.Detail;
  ASSERT_EQ(r.Calls.size(), 2u);
  EXPECT_FALSE(r.Calls[0].ListFile.empty());
  EXPECT_LT(r.Calls[0].CommandLine.size(), 1000u);
  EXPECT_EQ(GetFileAttributesW(r.Calls[0].ListFile.c_str()), INVALID_FILE_ATTRIBUTES) << "removed after the call";
  EXPECT_EQ(ReadFakeArchive(job.Archives[0]).Entries, (std::vector<FakeEntry>{{L"keep.txt", L""}, {L"new.txt", L""}}));
}

// Whatever a worker meets, the program goes on: the archive fails in words, the others are worked on,
// and the run ends.
TEST(JobRunner, AnExceptionInAWorkerFailsItsArchiveAndTheRunEnds) {
  Workspace w;
  for (const wchar_t* name : {L"a.rar", L"b.rar", L"c.rar"}) w.Make(name);
  const BatchJob job = w.Job({L"a.rar", L"b.rar", L"c.rar"});
  EventLog log;
  JobEvents events = log.Events();
  const auto noted = events.ArchiveStarted;
  auto thrown = std::make_shared<bool>(false);
  events.ArchiveStarted = [noted, thrown](std::size_t i) {
    noted(i);
    if (i == 1 && !*thrown) {
      *thrown = true;
      throw std::runtime_error("out of handles");
    }
  };
  JobRunner runner(job, 1, events);
  ASSERT_TRUE(runner.Start());
  runner.Wait();
  EXPECT_FALSE(runner.IsRunning());
  EXPECT_EQ(log.Ended(), 1u);
  EXPECT_EQ(runner.Result(0).State, ArchiveState::Success);
  EXPECT_EQ(runner.Result(1).State, ArchiveState::Failure);
  EXPECT_EQ(runner.Result(1).Detail, L"程序出错：out of handles");
  EXPECT_EQ(runner.Result(2).State, ArchiveState::Stopped) << "the only worker has gone; a retry runs it";
  ASSERT_TRUE(runner.Retry());
  runner.Wait();
  EXPECT_EQ(runner.Result(1).State, ArchiveState::Success);
  EXPECT_EQ(runner.Result(2).State, ArchiveState::Success);
}

// The job of deleting ad.url and 广告.txt, adding "说明 readme.txt", a comment and the lock, over
// archives the real archiver made: every row in words, no false failure, at most two calls an
// archive, and the end state the job asked for.
TEST(JobRunnerOnTheRealArchiver, EveryArchiveEndsAsAskedOrSaysWhyNot) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const testing::RealArchiver rar(d);
  for (const wchar_t* name : {L"ad.url", L"广告.txt", L"keep.txt", L"说明 readme.txt"}) {
    ASSERT_TRUE(testing::WriteFileBytes(d + name, "text"));
  }
  std::string noise(200000, '\0');
  unsigned state = 7;
  for (auto& c : noise) state = state * 1103515245u + 12345u, c = static_cast<char>(state >> 23);
  ASSERT_TRUE(testing::WriteFileBytes(d + L"big.bin", noise));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"comment.txt", "备注"));
  const auto make = [&](const std::wstring& arguments) { ASSERT_EQ(rar.Run(arguments), 0u) << arguments; };
  const std::wstring q = L"\"" + d;
  make(L"a -idq -ep1 " + q + L"both.rar\" " + q + L"ad.url\" " + q + L"广告.txt\" " + q + L"keep.txt\"");
  make(L"a -idq -ep1 " + q + L"one.rar\" " + q + L"ad.url\" " + q + L"keep.txt\"");
  make(L"a -idq -ep1 " + q + L"none.rar\" " + q + L"keep.txt\"");
  make(L"a -idq -ep1 " + q + L"only.rar\" " + q + L"ad.url\" " + q + L"广告.txt\"");
  make(L"a -idq -ep1 -m0 -v100k " + q + L"volume.rar\" " + q + L"big.bin\"");
  make(L"a -idq -ep1 -hpsecret " + q + L"hidden.rar\" " + q + L"ad.url\"");
  make(L"a -idq -ep1 " + q + L"locked.rar\" " + q + L"ad.url\"");
  make(L"k -idq " + q + L"locked.rar\"");
  ASSERT_TRUE(testing::WriteFileBytes(d + L"text.rar", "not an archive"));

  BatchJob job;
  job.RarPath = rar.Exe();
  for (const wchar_t* name : {L"both.rar", L"one.rar", L"none.rar", L"only.rar", L"volume.part1.rar",
                              L"hidden.rar", L"locked.rar", L"text.rar"}) {
    job.Archives.push_back(d + name);
  }
  job.DeleteNames = {L"ad.url", L"广告.txt"};
  job.AddFiles = {d + L"说明 readme.txt"};
  job.CommentFile = d + L"comment.txt";
  job.Lock = true;
  JobRunner runner(job, 2, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();

  const struct {
    ArchiveState state;
    const wchar_t* detail;
  } want[] = {
      {ArchiveState::Success, L""},
      {ArchiveState::Success, L""},
      {ArchiveState::Success, L"删除：压缩包中没有要删除的文件"},
      {ArchiveState::Warning, L"删除：压缩包中的文件已全部删除，压缩程序随之删除了压缩包文件；随后的添加新建了压缩包"},
      {ArchiveState::Failure, L"分卷压缩包不能删除或添加文件"},
      {ArchiveState::Failure, L"文件名已加密，需要密码"},
      {ArchiveState::Failure, L"已锁定"},
      {ArchiveState::Failure, L"不是 RAR 压缩包"},
  };
  for (std::size_t i = 0; i < std::size(want); ++i) {
    const ArchiveResult r = runner.Result(i);
    EXPECT_EQ(r.State, want[i].state) << r.Archive << " " << r.Detail;
    EXPECT_EQ(r.Detail, want[i].detail) << r.Archive;
    EXPECT_LE(r.Calls.size(), 2u) << r.Archive;
    if (i >= 4) {
      EXPECT_TRUE(r.Calls.empty()) << r.Archive << ": no call can succeed";
    }
  }
  // Changed as asked: the names gone, the new file at the root, commented and locked.
  const std::vector<std::wstring> kept{L"keep.txt", L"说明 readme.txt"};
  for (const wchar_t* name : {L"both.rar", L"one.rar", L"none.rar"}) {
    EXPECT_EQ(rar.Entries(d + name), kept) << name;
    EXPECT_TRUE(rar.Locked(d + name)) << name;
  }
  EXPECT_EQ(rar.Entries(d + L"only.rar"), (std::vector<std::wstring>{L"说明 readme.txt"}));
  EXPECT_EQ(testing::ReadFileBytes(d + L"text.rar"), "not an archive");
  EXPECT_FALSE(rar.Locked(d + L"volume.part1.rar")) << "a refused archive gets no call";
}

// Each delete entry is its own names, as on its own script line: a quote left open in one entry does
// not take the next one into a single name (which named nothing, and the row said 成功).
TEST(JobRunnerOnTheRealArchiver, AQuoteLeftOpenEndsWithItsEntry) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const testing::RealArchiver rar(d);
  for (const wchar_t* name : {L"my file.txt", L"x.bak", L"keep.txt"}) {
    ASSERT_TRUE(testing::WriteFileBytes(d + name, "text"));
  }
  const std::wstring q = L"\"" + d;
  ASSERT_EQ(rar.Run(L"a -idq -ep1 " + q + L"t.rar\" " + q + L"my file.txt\" " + q + L"x.bak\" " + q + L"keep.txt\""), 0u);

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {d + L"t.rar"};
  job.DeleteNames = {L"\"my file.txt", L"*.bak"};
  JobRunner runner(job, 1, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();
  const ArchiveResult r = runner.Result(0);
  EXPECT_EQ(r.State, ArchiveState::Success) << r.Detail;
  EXPECT_EQ(r.Detail, L"");
  EXPECT_EQ(rar.Entries(d + L"t.rar"), (std::vector<std::wstring>{L"keep.txt"}));
}

// An archive whose names are encrypted gets the password on every call: also on the finishing call
// that locks it after the last change found nothing to do (exit code 10: the file to add is gone).
TEST(JobRunnerOnTheRealArchiver, TheFinishingCallOfAnArchiveWithEncryptedNamesCarriesThePassword) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const testing::RealArchiver rar(d);
  ASSERT_TRUE(testing::WriteFileBytes(d + L"keep.txt", "text"));
  ASSERT_EQ(rar.Run(L"a -idq -ep1 -hpsecret \"" + d + L"hidden.rar\" \"" + d + L"keep.txt\""), 0u);

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {d + L"hidden.rar"};
  job.DeleteNames = {L"nothing.txt"};
  job.AddFiles = {d + L"gone.txt"};
  job.Lock = true;
  job.UsePassword = true;
  job.Password = L"secret";
  JobRunner runner(job, 1, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();
  const ArchiveResult r = runner.Result(0);
  EXPECT_EQ(r.State, ArchiveState::Warning) << r.Detail;
  EXPECT_EQ(r.Detail, L"添加：有要添加的文件找不到 (10)");
  ASSERT_EQ(r.Calls.size(), 3u);
  EXPECT_TRUE(r.Calls[2].Finishing);
  EXPECT_TRUE(r.Calls[2].PasswordOnInput) << r.Calls[2].CommandLine;
  std::wstring listing;
  ASSERT_EQ(rar.Run(L"lt -psecret \"" + d + L"hidden.rar\"", &listing), 0u) << listing;
  EXPECT_NE(listing.find(L", lock"), std::wstring::npos) << listing;
}

// A delete that would take a reference's target and keep the reference is not made: the archive is
// listed first (lt, which changes nothing), refused with both names, and left as it was; one whose
// delete takes the reference too goes through. Names that are encrypted are listed with the password.
TEST(JobRunner, ADeleteThatWouldBreakAReferenceIsRefusedBeforeAnyChange) {
  Workspace w;
  FakeArchive referenced;
  referenced.Entries = {{L"old.txt", L""}, {L"old copy.txt", L"", L"old.txt"}, {L"keep.txt", L""}};
  w.Make(L"broken.rar", referenced);
  FakeArchive both = referenced;
  both.Entries[1].Name = L"old.txt.bak";
  w.Make(L"sound.rar", both);
  FakeArchive hidden = referenced;
  hidden.EncryptedNames = true;
  hidden.NamesPassword = L"secret";
  w.Make(L"hidden.rar", hidden);
  BatchJob job = w.Job({L"broken.rar", L"sound.rar", L"hidden.rar"});
  job.DeleteNames = {L"old.txt*"};  // takes old.txt and old.txt.bak, not old copy.txt
  job.UsePassword = true;
  job.Password = L"secret";
  JobRunner runner(job, 2, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();

  for (std::size_t refused : {0u, 2u}) {
    const ArchiveResult r = runner.Result(refused);
    EXPECT_EQ(r.State, ArchiveState::Failure) << refused;
    EXPECT_EQ(r.Detail, L"删除会使文件引用无法解压：old copy.txt → old.txt");
    EXPECT_TRUE(r.Calls.empty()) << "nothing of the job is done";
  }
  EXPECT_EQ(ReadFakeArchive(w.dir.Path() + L"broken.rar").Entries, referenced.Entries);
  EXPECT_EQ(ReadFakeArchive(w.dir.Path() + L"hidden.rar").Entries, hidden.Entries);
  EXPECT_EQ(runner.Result(1).State, ArchiveState::Success) << runner.Result(1).Detail;
  EXPECT_EQ(ReadFakeArchive(w.dir.Path() + L"sound.rar").Entries,
            (std::vector<FakeEntry>{{L"keep.txt", L""}, {L"new.txt", L"secret"}}));

  // Each archive was listed once, before anything else; the encrypted one with the password on its
  // standard input. Only the sound one got calls.
  std::size_t listings = 0;
  for (const Call& call : testing::ReadRecordedCalls(w.dir.Path(), true)) {
    if (call[0] != L"lt") {
      EXPECT_EQ(std::count(call.begin(), call.end(), w.dir.Path() + L"broken.rar"), 0) << "a call on a refused archive";
      continue;
    }
    ++listings;
    const bool encrypted = call.back() == w.dir.Path() + L"hidden.rar";
    EXPECT_EQ(call[2], encrypted ? L"-p" : L"-p-") << ::testing::PrintToString(call);
  }
  EXPECT_EQ(listings, 3u);
}

// Two identical files stored as a file and a reference (-oi): deleting the file alone would leave an
// archive that tests as sound but fails to unpack, so that delete is refused and the archive keeps its
// bytes; deleting both goes through, and the archive unpacks.
TEST(JobRunnerOnTheRealArchiver, AReferenceKeepsItsTargetOrGoesWithIt) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const testing::RealArchiver rar(d);
  std::string noise(200000, '\0');
  unsigned state = 7;
  for (char& c : noise) state = state * 1103515245u + 12345u, c = static_cast<char>(state >> 23);
  for (const wchar_t* name : {L"a.bin", L"ad.jpg"}) ASSERT_TRUE(testing::WriteFileBytes(d + name, noise));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"keep.txt", "text"));
  const std::wstring q = L"\"" + d;
  ASSERT_EQ(rar.Run(L"a -idq -ep1 -oi " + q + L"unsafe.rar\" " + q + L"a.bin\" " + q + L"ad.jpg\" " + q + L"keep.txt\""), 0u);
  std::wstring listing;
  ASSERT_EQ(rar.Run(L"lt " + q + L"unsafe.rar\"", &listing), 0u);
  ASSERT_NE(listing.find(L"Type: File reference"), std::wstring::npos) << "the archiver stored no reference";
  ASSERT_TRUE(CopyFileW((d + L"unsafe.rar").c_str(), (d + L"safe.rar").c_str(), FALSE));
  const std::string before = testing::ReadFileBytes(d + L"unsafe.rar");

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {d + L"unsafe.rar"};
  job.DeleteNames = {L"a.bin"};
  job.Lock = true;
  JobRunner unsafe(job, 1, {});
  ASSERT_TRUE(unsafe.Start());
  unsafe.Wait();
  EXPECT_EQ(unsafe.Result(0).State, ArchiveState::Failure);
  EXPECT_EQ(unsafe.Result(0).Detail, L"删除会使文件引用无法解压：ad.jpg → a.bin");
  EXPECT_EQ(testing::ReadFileBytes(d + L"unsafe.rar"), before) << "the archive changed";

  job.Archives = {d + L"safe.rar"};
  job.DeleteNames = {L"a.bin", L"ad.jpg"};
  JobRunner safe(job, 1, {});
  ASSERT_TRUE(safe.Start());
  safe.Wait();
  EXPECT_EQ(safe.Result(0).State, ArchiveState::Success) << safe.Result(0).Detail;
  EXPECT_EQ(rar.Entries(d + L"safe.rar"), (std::vector<std::wstring>{L"keep.txt"}));
  testing::ScratchFolder out;
  std::wstring into = out.Path();
  into.pop_back();  // no backslash before the closing quote
  std::wstring unpacked;
  EXPECT_EQ(rar.Run(L"x -o+ \"" + d + L"safe.rar\" \"" + into + L"\"", &unpacked), 0u) << unpacked;
  EXPECT_EQ(testing::ReadFileBytes(out.Path() + L"keep.txt"), "text");
}

// The recovery record's size as the archive's first bytes and its size give it.
std::uint64_t RecoveryRecordSizeOf(const std::wstring& archive) {
  const std::string bytes = testing::ReadFileBytes(archive);
  return RecoveryRecordSize(ReadArchiveHeader(bytes), bytes.size());
}

// An archive made with -rr5% keeps a record at least as large through a delete, an add, a comment and
// a lock; the listing shows it, and it repairs a damaged copy.
TEST(JobRunnerOnTheRealArchiver, ARecoveryRecordIsKeptAndRepairsTheResult) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const testing::RealArchiver rar(d);
  std::string noise(400000, '\0');
  unsigned state = 77;
  for (char& c : noise) state = state * 1103515245u + 12345u, c = static_cast<char>(state >> 23);
  ASSERT_TRUE(testing::WriteFileBytes(d + L"big.bin", noise));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"old.txt", "old"));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"new.txt", "new"));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"comment.txt", "note"));
  const std::wstring archive = d + L"record.rar";
  ASSERT_EQ(rar.Run(L"a -idq -ep1 -rr5% \"" + archive + L"\" \"" + d + L"big.bin\" \"" + d + L"old.txt\""), 0u);
  const std::uint64_t before = RecoveryRecordSizeOf(archive);
  ASSERT_GT(before, 20000u);

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {archive};
  job.DeleteNames = {L"old.txt"};
  job.AddFiles = {d + L"new.txt"};
  job.CommentFile = d + L"comment.txt";
  job.Lock = true;
  JobRunner runner(job, 1, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();
  const ArchiveResult r = runner.Result(0);
  EXPECT_EQ(r.State, ArchiveState::Success) << r.Detail;
  EXPECT_EQ(r.Detail, L"恢复记录已保留");
  EXPECT_EQ(rar.Entries(archive), (std::vector<std::wstring>{L"big.bin", L"new.txt"}));
  std::wstring listing;
  ASSERT_EQ(rar.Run(L"lt \"" + archive + L"\"", &listing), 0u) << listing;
  EXPECT_NE(listing.find(L"recovery record, lock"), std::wstring::npos) << listing;
  EXPECT_GE(RecoveryRecordSizeOf(archive), before);

  // 2,000 bytes of the file's data overwritten: the test fails, the repair mends it.
  std::string damaged = testing::ReadFileBytes(archive);
  std::fill_n(damaged.begin() + 150000, 2000, '\0');
  const std::wstring copy = d + L"damaged.rar";
  ASSERT_TRUE(testing::WriteFileBytes(copy, damaged));
  EXPECT_NE(rar.Run(L"t -idq \"" + copy + L"\""), 0u);
  CreateDirectoryW((d + L"fixed").c_str(), nullptr);
  ASSERT_EQ(rar.Run(L"r -y \"" + copy + L"\" \"" + d + L"fixed\\\"", &listing), 0u) << listing;
  EXPECT_EQ(rar.Run(L"t -idq \"" + d + L"fixed\\fixed.damaged.rar\"", &listing), 0u) << listing;
}

// Sets an environment variable for the archivers the test starts, and takes it back.
class EnvironmentSetting {
 public:
  EnvironmentSetting(const wchar_t* name, const wchar_t* value) : name_(name) { SetEnvironmentVariableW(name, value); }
  ~EnvironmentSetting() { SetEnvironmentVariableW(name_, nullptr); }

 private:
  const wchar_t* name_;
};

// The version probe is a call like any other: an archiver that gives no version, or never ends (a
// window program picked in place of the console one), is refused before any archive, in words that
// say which program to pick; and 停止 ends the probe at once.
TEST(JobRunner, AnArchiverWithoutAVersionIsRefusedAndAHangingProbeIsEnded) {
  Workspace w;
  w.Make(L"a.rar");
  w.Make(L"b.rar");
  const BatchJob job = w.Job({L"a.rar", L"b.rar"});
  {
    EnvironmentSetting banner(L"RARBATCH_FAKE_RAR_BANNER", L"none");
    JobRunner runner(job, 2, {});
    ASSERT_TRUE(runner.Start());
    runner.Wait();
    for (std::size_t i = 0; i < 2; ++i) {
      const ArchiveResult r = runner.Result(i);
      EXPECT_EQ(r.State, ArchiveState::Failure);
      EXPECT_EQ(r.Detail.find(L"所选的程序没有给出压缩程序的版本信息"), 0u) << r.Detail;
      EXPECT_NE(r.Detail.find(L"Rar.exe"), std::wstring::npos) << r.Detail;
      EXPECT_TRUE(r.Calls.empty());
    }
  }
  EnvironmentSetting banner(L"RARBATCH_FAKE_RAR_BANNER", L"wait");
  {
    // 停止 twice while the probe waits: it is ended, and nothing was done to any archive.
    JobRunner runner(job, 2, {});
    ASSERT_TRUE(runner.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto pressed = std::chrono::steady_clock::now();
    runner.Abort();
    runner.Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(8)) << "the probe ran on";
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(runner.Result(i).State, ArchiveState::Stopped);
      EXPECT_TRUE(runner.Result(i).Calls.empty());
    }
  }
  {
    // Left alone, it is ended by its time limit, and the run says why.
    JobRunner runner(job, 1, {});
    ASSERT_TRUE(runner.Start());
    runner.Wait();
    EXPECT_EQ(runner.Result(0).State, ArchiveState::Failure);
    EXPECT_EQ(runner.Result(0).Detail.find(L"所选的程序在 10 秒内没有结束"), 0u) << runner.Result(0).Detail;
  }
  EXPECT_EQ(w.CallCount(), 0u);
}

// Once the run's archivers are closed (停止 pressed twice, or the window closed), an archiver started
// after that is ended before it runs: a worker that was between creating its archiver and handing it
// over cannot start one that runs to its end.
TEST(RunningArchivers, AnArchiverStartedAfterTheCloseIsEndedAtOnce) {
  Workspace w;
  w.Make(L"a.rar");
  testing::FakeArchiverDelay slow(20000);
  RunningArchivers archivers;
  archivers.Close();
  CallResult call;
  call.CommandLine = QuoteArchiverArgument(w.rar) + L" d " + QuoteArchiverArgument(w.dir.Path() + L"a.rar") + L" old.txt";
  const auto started = std::chrono::steady_clock::now();
  RunArchiverCall(w.rar, call, {}, &archivers);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(call.Outcome, CallOutcome::Exited);
  EXPECT_EQ(call.ExitCode, kEndedByStopExitCode);
  EXPECT_EQ(ReadFakeArchive(w.dir.Path() + L"a.rar").Entries.size(), 2u) << "nothing was deleted";

  archivers.Reopen();  // a retry lets archivers run again
  CallResult again = call;
  RunArchiverCall(w.rar, again, {}, &archivers, 0, 500);
  EXPECT_EQ(again.ExitCode, kTimedOutExitCode) << "ended by its time limit, not by the close";
}

// The archiver replaces the archive with a new file, which carries none of the old one's attributes:
// the run puts back read-only and hidden. (Wine keeps no named streams; the mark of a download is
// tested with a stand-in file system in win/tests/file_marks_test.cpp.)
TEST(JobRunnerOnTheRealArchiver, TheArchiveKeepsItsAttributes) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const testing::RealArchiver rar(d);
  for (const wchar_t* name : {L"ad.url", L"keep.txt"}) ASSERT_TRUE(testing::WriteFileBytes(d + name, "text"));
  ASSERT_EQ(rar.Run(L"a -idq -ep1 \"" + d + L"a.rar\" \"" + d + L"ad.url\" \"" + d + L"keep.txt\""), 0u);
  const std::wstring archive = d + L"a.rar";
  ASSERT_TRUE(SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {archive};
  job.DeleteNames = {L"ad.url"};
  JobRunner runner(job, 1, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();
  const ArchiveResult r = runner.Result(0);
  EXPECT_EQ(r.State, ArchiveState::Success) << r.Detail;
  EXPECT_EQ(rar.Entries(archive), (std::vector<std::wstring>{L"keep.txt"}));
  const DWORD attributes = GetFileAttributesW(archive.c_str());
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN) << attributes;
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY) << attributes;
  SetFileAttributesW(archive.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace rarbatch
