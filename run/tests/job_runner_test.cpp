// The job run inside the program, against the stand-in archiver: results from exit codes, one archive
// never worked on twice at once, stopping, retrying, names outside the code page, and what the
// archives hold afterwards.
#include "run/job_runner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/archiver_args.h"
#include "tools/dialog_driver.h"
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
  // An archive holding old.txt and keep.txt.
  void Make(const std::wstring& name, bool locked = false) const {
    FakeArchive a;
    a.Locked = locked;
    a.Entries = {{L"old.txt", L""}, {L"keep.txt", L""}};
    ASSERT_TRUE(testing::WriteFakeArchive(dir.Path() + name, a)) << name;
  }
  std::size_t CallCount() const { return testing::ReadRecordedCalls(dir.Path()).size(); }

  testing::ScratchFolder dir;
  std::wstring rar;
};

TEST(JobRunner, ResultsFollowTheArchiversExitCodes) {
  Workspace w;
  const std::wstring unicode = L"\u0e01\U0001F600 x.rar";  // outside code page 936
  for (const wchar_t* name : {L"ok.rar", L"forced 11.rar", L"forced 1.rar"}) w.Make(name);
  w.Make(unicode);
  w.Make(L"locked.rar", true);
  testing::ForceExitCode(w.dir.Path() + L"forced 11.rar", 11);
  testing::ForceExitCode(w.dir.Path() + L"forced 1.rar", 1);
  BatchJob job = w.Job({L"ok.rar", L"locked.rar", L"missing.rar", L"forced 11.rar", L"forced 1.rar",
                        unicode});
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
  } want[] = {
      {ArchiveState::Success, L""},
      {ArchiveState::Failure, L"删除：压缩包已被锁定 (4)"},
      {ArchiveState::Failure, L"删除：打开文件错误 (6)"},  // d on a missing archive; a then creates it
      {ArchiveState::Failure, L"删除：密码错误 (11)"},
      {ArchiveState::Warning, L"删除：警告 (1)"},
      {ArchiveState::Success, L""},
  };
  for (std::size_t i = 0; i < std::size(want); ++i) {
    const ArchiveResult r = runner.Result(i);
    EXPECT_EQ(r.Archive, job.Archives[i]);
    EXPECT_EQ(r.State, want[i].state) << i << " " << ArchiveStateName(r.State) << " " << r.Detail;
    EXPECT_EQ(r.Detail, want[i].detail) << i;
    ASSERT_EQ(r.Calls.size(), 4u) << i;
    for (const auto& call : r.Calls) EXPECT_EQ(call.Outcome, CallOutcome::Exited) << i;
  }
  const RunCounts c = runner.Counts();
  EXPECT_EQ((std::vector<std::size_t>{c.Total, c.Done, c.Success, c.Warning, c.Failure, c.Stopped}),
            (std::vector<std::size_t>{6, 6, 2, 1, 3, 0}));
  const std::vector<std::size_t> all{0, 1, 2, 3, 4, 5};
  EXPECT_EQ(log.Started(), all);
  EXPECT_EQ(log.Finished(), all);
  EXPECT_EQ(log.Ended(), 1u);

  // The archiver's output, both streams in one pipe, decoded from the OEM code page.
  EXPECT_EQ(runner.Result(1).Calls[0].Output,
            L"压缩包 " + job.Archives[1] + L"\r\n退出代码 4\r\n");
  // The archiver received every argument whole: the calls as recorded, in any order.
  std::vector<Call> wantCalls, gotCalls = testing::ReadRecordedCalls(w.dir.Path());
  for (std::size_t i = 0; i < job.Archives.size(); ++i) {
    for (const auto& call : ArchiverCallsFor(job, i)) {
      Call words = SplitArchiverArguments(call.CommandLine);
      words.erase(words.begin());  // the program name is not recorded
      wantCalls.push_back(words);
    }
  }
  std::sort(wantCalls.begin(), wantCalls.end());
  std::sort(gotCalls.begin(), gotCalls.end());
  EXPECT_EQ(gotCalls, wantCalls);

  // What the archives hold now.
  // The file is added by its absolute path, which the archiver stores less its root.
  const std::wstring added = testing::StoredWithoutRoot(w.dir.Path() + L"new.txt");
  const std::vector<FakeEntry> edited{{L"keep.txt", L""}, {added, job.Password}};
  for (const std::wstring& name : {std::wstring(L"ok.rar"), unicode}) {
    const FakeArchive a = ReadFakeArchive(w.dir.Path() + name);
    EXPECT_EQ(a.Entries, edited);
    EXPECT_EQ(a.Comment, L"备注");
    EXPECT_TRUE(a.Locked);
  }
  const FakeArchive created = ReadFakeArchive(w.dir.Path() + L"missing.rar");
  EXPECT_EQ(created.Entries, (std::vector<FakeEntry>{{added, job.Password}}));
  EXPECT_TRUE(created.Locked);
  const FakeArchive locked = ReadFakeArchive(w.dir.Path() + L"locked.rar");
  EXPECT_EQ(locked.Entries.size(), 2u) << "a locked archive is left alone";
  EXPECT_EQ(locked.Comment, L"");
}

TEST(JobRunner, AMissingArchiverFailsEveryCallAndARefusedJobNeverRuns) {
  Workspace w;
  w.Make(L"a.rar");
  BatchJob job = w.Job({L"a.rar"});
  job.RarPath = w.dir.Path() + L"no such Rar.exe";
  JobRunner missing(job, 2, {});
  ASSERT_TRUE(missing.Start());
  missing.Wait();
  const ArchiveResult r = missing.Result(0);
  EXPECT_EQ(r.State, ArchiveState::Failure);
  EXPECT_EQ(r.Detail.find(L"删除：无法启动压缩程序：错误 2："), 0u) << r.Detail;
  for (const auto& call : r.Calls) EXPECT_EQ(call.Outcome, CallOutcome::StartFailed);

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
  // A second delete would find nothing, and a call after the lock would fail.
  job.DeleteNames.clear();
  job.Lock = false;
  testing::FakeArchiverDelay delay(150);
  HeldFile heldB(w.dir.Path() + L"b.rar");
  ASSERT_TRUE(heldB.Held());

  EventLog log;
  JobRunner runner(job, 4, log.Events());
  ASSERT_TRUE(runner.Start());
  // Every entry of a.rar and c.rar ends while b.rar's first call waits: archives run side by side.
  for (std::size_t i : {0u, 1u, 3u, 4u, 5u}) EXPECT_TRUE(log.WaitFinished(i)) << i;
  EXPECT_EQ(runner.Result(2).State, ArchiveState::Running);
  heldB.Release();
  runner.Wait();

  EXPECT_EQ(GetFileAttributesW((w.dir.Path() + L"overlaps.log").c_str()), INVALID_FILE_ATTRIBUTES)
      << "two calls worked on one archive at once";
  for (std::size_t i = 0; i < job.Archives.size(); ++i) {
    EXPECT_EQ(runner.Result(i).State, ArchiveState::Success) << i << " " << runner.Result(i).Detail;
  }
  EXPECT_EQ(w.CallCount(), 12u);
}

TEST(JobRunner, StopLetsTheRunningCallEndAndStartsNoOther) {
  Workspace w;
  for (const wchar_t* name : {L"0.rar", L"1.rar", L"2.rar", L"3.rar"}) w.Make(name);
  const BatchJob job = w.Job({L"0.rar", L"1.rar", L"2.rar", L"3.rar"});
  HeldFile held0(w.dir.Path() + L"0.rar");
  ASSERT_TRUE(held0.Held());

  EventLog log;
  JobRunner runner(job, 1, log.Events());
  ASSERT_TRUE(runner.Start());
  // The first call has started once it has recorded its arguments; it now waits for the file.
  const std::wstring argsLog = w.dir.Path() + L"args.log";
  ASSERT_TRUE(testing::WaitUntil([&] { return GetFileAttributesW(argsLog.c_str()) != INVALID_FILE_ATTRIBUTES; }));
  runner.Stop();
  EXPECT_TRUE(runner.IsRunning()) << "Stop does not wait for the running call";
  EXPECT_EQ(runner.Result(0).State, ArchiveState::Running);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(runner.Result(i).State, ArchiveState::Stopped) << i;
  held0.Release();
  runner.Wait();

  EXPECT_EQ(log.Ended(), 1u);
  const ArchiveResult first = runner.Result(0);
  EXPECT_EQ(first.State, ArchiveState::Stopped);
  ASSERT_EQ(first.Calls.size(), 4u);
  EXPECT_EQ(first.Calls[0].Outcome, CallOutcome::Exited);
  EXPECT_EQ(first.Calls[0].ExitCode, 0u);
  for (std::size_t k = 1; k < 4; ++k) EXPECT_EQ(first.Calls[k].Outcome, CallOutcome::NotRun) << k;
  EXPECT_TRUE(runner.Result(1).Calls.empty());
  EXPECT_EQ(w.CallCount(), 1u) << "no call started after Stop";
  EXPECT_EQ(runner.Counts().Stopped, 4u);

  // Retry carries on where each archive stopped: 0.rar's delete is not repeated (it would now find
  // nothing to delete and fail).
  ASSERT_TRUE(runner.Retry());
  runner.Wait();
  EXPECT_EQ(log.Ended(), 2u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(runner.Result(i).State, ArchiveState::Success) << i << " " << runner.Result(i).Detail;
    const FakeArchive a = ReadFakeArchive(job.Archives[i]);
    const std::wstring added = testing::StoredWithoutRoot(w.dir.Path() + L"new.txt");
    EXPECT_EQ(a.Entries, (std::vector<FakeEntry>{{L"keep.txt", L""}, {added, L""}})) << i;
    EXPECT_TRUE(a.Locked);
  }
  EXPECT_EQ(w.CallCount(), 16u);
  EXPECT_FALSE(runner.Retry()) << "nothing failed or stopped";
}

TEST(JobRunner, RetryRunsAgainWhatFailed) {
  Workspace w;
  for (const wchar_t* name : {L"forced.rar", L"ok.rar", L"late file.rar"}) w.Make(name);
  testing::ForceExitCode(w.dir.Path() + L"forced.rar", 11);
  BatchJob job = w.Job({L"forced.rar", L"ok.rar", L"late file.rar"});
  job.AddFiles.push_back(w.dir.Path() + L"late.txt");  // not there yet: 10 for every archive
  job.Lock = false;

  JobRunner runner(job, 2, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();
  EXPECT_EQ(runner.Result(0).Detail, L"删除：密码错误 (11)");
  EXPECT_EQ(runner.Result(1).Detail, L"添加：没有匹配的文件 (10)");
  EXPECT_EQ(runner.Counts().Failure, 3u);
  const std::size_t firstRun = w.CallCount();

  DeleteFileW((w.dir.Path() + L"forced.rar.exitcode").c_str());
  testing::WriteFileBytes(w.dir.Path() + L"late.txt", "late");
  ASSERT_TRUE(runner.Retry());
  runner.Wait();
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(runner.Result(i).State, ArchiveState::Success) << i << " " << runner.Result(i).Detail;
    const FakeArchive a = ReadFakeArchive(job.Archives[i]);
    const std::vector<FakeEntry> want{{L"keep.txt", L""},
                                      {testing::StoredWithoutRoot(w.dir.Path() + L"new.txt"), L""},
                                      {testing::StoredWithoutRoot(w.dir.Path() + L"late.txt"), L""}};
    EXPECT_EQ(a.Entries, want) << i;
    EXPECT_EQ(a.Comment, L"备注");
  }
  // forced.rar runs all four calls again; the others only the add of late.txt.
  EXPECT_EQ(w.CallCount(), firstRun + 4 + 1 + 1);
}

}  // namespace
}  // namespace rarbatch
