// Backups, kept times and the test before the lock, in the program's run: a corpus changed and put
// back byte for byte (also an emptied and a locked archive), on the stand-in and on the real archiver,
// and a damaged archive that the test finds and that is then left unlocked.
#include "run/backup.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>

#include "core/backup_plan.h"
#include "run/archiver_process.h"
#include "run/job_runner.h"
#include "run/tests/real_archiver.h"
#include "tools/test_support.h"
#include "win/file_identity.h"
#include "win/handles.h"

namespace rarbatch {
namespace {

using HostArchiver = testing::RealArchiver;

FileDigest Digest(const std::wstring& path) {
  DWORD error = 0;
  return DigestFile(path, &error).value_or(FileDigest{});
}

// Old times, so that a kept time cannot be mistaken for the time of the run.
constexpr FileTimes kOldTimes{126000000000000000ull, 127000000000000000ull};

// Whether this file system keeps a creation time that is set (Wine keeps it only on some).
bool CreationTimeSticks(const std::wstring& folder) {
  const std::wstring probe = folder + L"probe.bin";
  if (!testing::WriteFileBytes(probe, "x") || WriteFileTimes(probe, kOldTimes) != ERROR_SUCCESS) return false;
  const auto times = ReadFileTimes(probe);
  DeleteFileW(probe.c_str());
  return times && times->Created == kOldTimes.Created;
}

// Turns on backups for `job`, into a run folder of its own made in `parent` (created here).
void BackUpInto(BatchJob& job, const std::wstring& parent) {
  ASSERT_TRUE(testing::MakeFolder(parent));
  std::wstring error;
  job.Backup = true;
  job.BackupFolder = MakeRunBackupFolder(parent, &error);
  ASSERT_FALSE(job.BackupFolder.empty()) << ::testing::PrintToString(error);
}

enum class Archiver { StandIn, Real };

// Makes the three archives of the corpus: sub1\a.rar (a name to delete and one to keep),
// sub2\deep\b.rar (only the name to delete: emptied), c.rar (nothing to delete).
void MakeCorpus(Archiver which, const std::wstring& d, const HostArchiver* rar) {
  ASSERT_TRUE(testing::MakeFolder(d + L"sub1"));
  ASSERT_TRUE(testing::MakeFolder(d + L"sub2"));
  ASSERT_TRUE(testing::MakeFolder(d + L"sub2\\deep"));
  const std::wstring a = d + L"sub1\\a.rar", b = d + L"sub2\\deep\\b.rar", c = d + L"c.rar";
  if (which == Archiver::StandIn) {
    using testing::FakeArchive;
    FakeArchive fa, fb, fc;
    fa.Entries = {{L"ad.url", L""}, {L"keep.txt", L""}};
    fb.Entries = {{L"ad.url", L""}};
    fc.Entries = {{L"keep.txt", L""}};
    ASSERT_TRUE(testing::WriteFakeArchive(a, fa));
    ASSERT_TRUE(testing::WriteFakeArchive(b, fb));
    ASSERT_TRUE(testing::WriteFakeArchive(c, fc));
  } else {
    ASSERT_TRUE(testing::WriteFileBytes(d + L"ad.url", "[InternetShortcut]"));
    ASSERT_TRUE(testing::WriteFileBytes(d + L"keep.txt", std::string(50000, 'k')));
    const std::wstring q = L"\"" + d;
    ASSERT_EQ(rar->Run(L"a -idq -ep1 \"" + a + L"\" " + q + L"ad.url\" " + q + L"keep.txt\""), 0u);
    ASSERT_EQ(rar->Run(L"a -idq -ep1 \"" + b + L"\" " + q + L"ad.url\""), 0u);
    ASSERT_EQ(rar->Run(L"a -idq -ep1 \"" + c + L"\" " + q + L"keep.txt\""), 0u);
  }
  for (const std::wstring& archive : {a, b, c}) ASSERT_EQ(WriteFileTimes(archive, kOldTimes), 0u);
}

class BackupAndRestore : public ::testing::TestWithParam<Archiver> {};

TEST_P(BackupAndRestore, TheOriginalsComeBackByteForByteAlsoEmptiedAndLocked) {
  if (GetParam() == Archiver::Real && !HostArchiver::Installed()) {
    GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  }
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const HostArchiver rar(d);
  ASSERT_TRUE(testing::MakeFolder(d + L"corpus"));
  const std::wstring corpus = d + L"corpus\\";
  MakeCorpus(GetParam(), corpus, &rar);
  if (HasFatalFailure()) return;
  const std::vector<std::wstring> archives = {corpus + L"sub1\\a.rar", corpus + L"sub2\\deep\\b.rar",
                                              corpus + L"c.rar"};
  std::vector<FileDigest> before;
  for (const auto& archive : archives) before.push_back(Digest(archive));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"comment.txt", "备注"));

  BatchJob job;
  job.RarPath = GetParam() == Archiver::Real ? rar.Exe() : testing::InstallFakeRar(d);
  job.Archives = archives;
  job.DeleteNames = {L"ad.url"};
  job.CommentFile = d + L"comment.txt";
  job.Lock = true;
  job.Backup = job.KeepTimes = job.TestBeforeLock = true;
  std::wstring error;
  job.BackupFolder = MakeRunBackupFolder(d + L"backups", &error);
  ASSERT_TRUE(job.BackupFolder.empty()) << "the parent folder does not exist yet";
  ASSERT_TRUE(testing::MakeFolder(d + L"backups"));
  job.BackupFolder = MakeRunBackupFolder(d + L"backups", &error);
  ASSERT_FALSE(job.BackupFolder.empty()) << error;
  ASSERT_FALSE(FindSpaceProblem(job, 2, d + L"backups")) << "a few kilobytes fit";

  JobRunner runner(job, 2, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();
  const ArchiveState want[] = {ArchiveState::Success, ArchiveState::Warning, ArchiveState::Success};
  for (std::size_t i = 0; i < archives.size(); ++i) {
    const ArchiveResult r = runner.Result(i);
    EXPECT_EQ(r.State, want[i]) << r.Archive << " " << r.Detail;
    for (const CallResult& call : r.Calls) {
      if (call.Outcome == CallOutcome::Exited) {
        EXPECT_NE(call.CommandLine.find(L" -tk "), std::wstring::npos) << call.CommandLine;
      }
    }
  }
  // a: d, t, c -z -k; c: d (nothing found), t, c -z -k; b: d empties it, nothing follows.
  EXPECT_EQ(runner.Result(0).Calls.size(), 3u);
  EXPECT_EQ(runner.Result(0).Calls[1].Operation, ScriptOperation::Test);
  EXPECT_EQ(runner.Result(1).Calls[1].Outcome, CallOutcome::Skipped);
  EXPECT_EQ(GetFileAttributesW(archives[1].c_str()), INVALID_FILE_ATTRIBUTES) << "emptied and deleted";
  for (std::size_t i : {0u, 2u}) {
    const bool locked = GetParam() == Archiver::Real ? rar.Locked(archives[i])
                                                     : testing::ReadFakeArchive(archives[i]).Locked;
    EXPECT_TRUE(locked) << archives[i];
    EXPECT_NE(Digest(archives[i]), before[i]) << "changed";
    const auto times = ReadFileTimes(archives[i]);
    ASSERT_TRUE(times);
    EXPECT_EQ(times->Modified, kOldTimes.Modified) << archives[i] << ": -tk keeps the modification time";
    if (CreationTimeSticks(d)) {
      EXPECT_EQ(times->Created, kOldTimes.Created) << archives[i];
    } else {
      RecordProperty("creation_time", "not kept by this file system: not checked");
    }
  }

  // The manifest lists each copy below the common root, and the copies are the originals.
  const std::wstring manifest = job.BackupFolder + L"\\" + kManifestName;
  std::string bytes = testing::ReadFileBytes(manifest);
  ASSERT_TRUE(bytes.starts_with("\xEF\xBB\xBF"));
  std::size_t bad = 0;
  const auto records = ParseManifest(testing::FromUtf8(bytes.substr(3)), &bad);
  ASSERT_TRUE(records) << bad;
  ASSERT_EQ(records->size(), 3u);
  std::vector<std::wstring> copies;
  for (const BackupRecord& record : *records) copies.push_back(record.Copy);
  std::sort(copies.begin(), copies.end());
  EXPECT_EQ(copies, (std::vector<std::wstring>{L"c.rar", L"sub1\\a.rar", L"sub2\\deep\\b.rar"}));
  EXPECT_EQ(Digest(job.BackupFolder + L"\\sub2\\deep\\b.rar"), before[1]);

  const RestoreOutcome restored = RestoreFromManifest(manifest);
  ASSERT_EQ(restored.Error, L"");
  ASSERT_EQ(restored.Rows.size(), 3u);
  for (const RestoreRow& row : restored.Rows) EXPECT_TRUE(row.Restored) << row.Archive << ": " << row.Detail;
  for (std::size_t i = 0; i < archives.size(); ++i) {
    EXPECT_EQ(Digest(archives[i]), before[i]) << archives[i];
    const auto times = ReadFileTimes(archives[i]);
    ASSERT_TRUE(times);
    EXPECT_EQ(times->Modified, kOldTimes.Modified) << archives[i];
  }
  EXPECT_NE(DescribeRestore(restored).find(L"已还原 3 个压缩包，失败 0 个"), std::wstring::npos);
}

INSTANTIATE_TEST_SUITE_P(Archivers, BackupAndRestore, ::testing::Values(Archiver::StandIn, Archiver::Real),
                         [](const auto& info) { return info.param == Archiver::Real ? "Real" : "StandIn"; });

TEST(Backup, AFailedCopyLeavesTheArchiveUntouchedAndAChangedCopyIsNotRestored) {
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  testing::FakeArchive fake;
  fake.Entries = {{L"ad.url", L""}, {L"keep.txt", L""}};
  ASSERT_TRUE(testing::WriteFakeArchive(d + L"x.rar", fake));
  const FileDigest original = Digest(d + L"x.rar");

  BatchJob job;
  job.RarPath = testing::InstallFakeRar(d);
  job.Archives = {d + L"x.rar"};
  job.DeleteNames = {L"ad.url"};
  job.Backup = true;
  // A file where the backup folder should be: nothing can be copied there.
  ASSERT_TRUE(testing::WriteFileBytes(d + L"not a folder", "x"));
  job.BackupFolder = d + L"not a folder";
  {
    JobRunner runner(job, 1, {});
    ASSERT_TRUE(runner.Start());
    runner.Wait();
    const ArchiveResult r = runner.Result(0);
    EXPECT_EQ(r.State, ArchiveState::Failure);
    EXPECT_TRUE(r.Detail.starts_with(L"备份失败，压缩包没有改动：")) << r.Detail;
    EXPECT_TRUE(r.Calls.empty());
    EXPECT_EQ(Digest(d + L"x.rar"), original);
  }

  // Backed up, changed; then the copy is altered: the restore refuses it and leaves the archive.
  ASSERT_TRUE(testing::MakeFolder(d + L"b"));
  std::wstring error;
  job.BackupFolder = MakeRunBackupFolder(d + L"b", &error);
  ASSERT_FALSE(job.BackupFolder.empty()) << error;
  // The same archive twice in the list: copied once, before either change.
  job.Archives = {d + L"x.rar", d + L"X.RAR"};
  {
    JobRunner runner(job, 2, {});
    ASSERT_TRUE(runner.Start());
    runner.Wait();
    EXPECT_EQ(runner.Result(0).State, ArchiveState::Success) << runner.Result(0).Detail;
  }
  const std::wstring manifest = job.BackupFolder + L"\\" + kManifestName;
  std::size_t bad = 0;
  const auto records = ParseManifest(testing::FromUtf8(testing::ReadFileBytes(manifest).substr(3)), &bad);
  ASSERT_TRUE(records);
  ASSERT_EQ(records->size(), 1u);
  EXPECT_EQ(Digest(job.BackupFolder + L"\\x.rar"), original);
  const FileDigest changed = Digest(d + L"x.rar");
  EXPECT_NE(changed, original);
  ASSERT_TRUE(testing::WriteFileBytes(job.BackupFolder + L"\\x.rar", "tampered"));
  const RestoreOutcome outcome = RestoreFromManifest(manifest);
  ASSERT_EQ(outcome.Rows.size(), 1u);
  EXPECT_FALSE(outcome.Rows[0].Restored);
  EXPECT_NE(outcome.Rows[0].Detail.find(L"SHA-256 不符"), std::wstring::npos) << outcome.Rows[0].Detail;
  EXPECT_EQ(Digest(d + L"x.rar"), changed);
  EXPECT_FALSE(RestoreFromManifest(d + L"x.rar").Error.empty()) << "not a manifest";
}

// The backups keep the archives' places below the deepest folder they share, whatever letter case
// each spelling of it has.
TEST(Backup, TheBackupRootIgnoresLetterCaseAsTheFileSystemDoes) {
  const std::wstring root = BackupRootOf({L"C:\\Ärger\\Папка\\x.rar", L"c:/ärger/пАПКА/sub/y.rar"});
  EXPECT_EQ(root, L"C:\\Ärger\\Папка\\");
  EXPECT_EQ(PlaceInBackup(L"c:/ärger/пАПКА/sub/y.rar", root), L"sub\\y.rar");
  EXPECT_EQ(PlaceInBackup(L"D:\\z.rar", root), L"D\\z.rar") << "outside the root: the whole path";
}

// A restore keeps what it replaces, beside the backup; tells an archive left as the run left it from
// one changed since; refuses to replace a file that is neither (the manifest may come from another
// machine or drive letter, where its paths name other files); and survives a torn last line.
TEST(Restore, KeepsWhatItReplacesAndReplacesNoUnrelatedFile) {
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  testing::FakeArchive fake;
  fake.Entries = {{L"ad.url", L""}, {L"keep.txt", L""}};
  BatchJob job;
  job.RarPath = testing::InstallFakeRar(d);
  for (const wchar_t* name : {L"left.rar", L"changed.rar", L"other.rar"}) {
    ASSERT_TRUE(testing::WriteFakeArchive(d + name, fake));
    job.Archives.push_back(d + name);
  }
  std::vector<FileDigest> before;
  for (const auto& archive : job.Archives) before.push_back(Digest(archive));
  job.DeleteNames = {L"ad.url"};
  ASSERT_NO_FATAL_FAILURE(BackUpInto(job, d + L"b"));
  std::wstring error;
  {
    JobRunner runner(job, 2, {});
    ASSERT_TRUE(runner.Start());
    runner.Wait();
  }
  const std::wstring manifest = job.BackupFolder + L"\\" + kManifestName;
  const auto records = ReadManifestRecords(manifest, &error);
  ASSERT_TRUE(records) << error;
  ASSERT_EQ(records->size(), 3u);
  for (const BackupRecord& record : *records) {
    ASSERT_TRUE(record.After) << record.Archive << ": the run wrote what it left";
    EXPECT_EQ(Digest(record.Archive), (FileDigest{record.After->Size, record.After->Sha256})) << record.Archive;
  }

  const FileDigest left = Digest(d + L"left.rar");
  // Changed since the run, still a RAR archive by its first bytes.
  const std::string edited = std::string("Rar!\x1A\x07\x01\x00", 8) + "edited after the run";
  ASSERT_TRUE(testing::WriteFileBytes(d + L"changed.rar", edited));
  // Another file altogether where the manifest points, as on another machine.
  ASSERT_TRUE(testing::WriteFileBytes(d + L"other.rar", "someone's notes"));
  // An append cut short at the end of the manifest.
  std::string bytes = testing::ReadFileBytes(manifest);
  ASSERT_TRUE(testing::WriteFileBytes(manifest, bytes + "2026-12-08 11:35:43\tabc"));

  const RestoreOutcome outcome = RestoreFromManifest(manifest);
  ASSERT_EQ(outcome.Error, L"");
  ASSERT_EQ(outcome.Rows.size(), 3u);
  EXPECT_NE(outcome.Note.find(L"最后一行不完整"), std::wstring::npos) << outcome.Note;
  std::map<std::wstring, RestoreRow> rows;
  for (const RestoreRow& row : outcome.Rows) rows[row.Archive.substr(row.Archive.find_last_of(L'\\') + 1)] = row;

  EXPECT_TRUE(rows[L"left.rar"].Restored) << rows[L"left.rar"].Detail;
  EXPECT_EQ(Digest(d + L"left.rar"), before[0]);
  EXPECT_EQ(rows[L"left.rar"].Detail.find(L"又被改动过"), std::wstring::npos) << rows[L"left.rar"].Detail;

  EXPECT_TRUE(rows[L"changed.rar"].Restored) << rows[L"changed.rar"].Detail;
  EXPECT_EQ(Digest(d + L"changed.rar"), before[1]);
  EXPECT_NE(rows[L"changed.rar"].Detail.find(L"压缩包在处理之后又被改动过"), std::wstring::npos) << rows[L"changed.rar"].Detail;

  EXPECT_FALSE(rows[L"other.rar"].Restored);
  EXPECT_NE(rows[L"other.rar"].Detail.find(L"不是 RAR 压缩包，也不是处理后留下的文件"), std::wstring::npos)
      << rows[L"other.rar"].Detail;
  EXPECT_EQ(testing::ReadFileBytes(d + L"other.rar"), "someone's notes") << "left alone";

  // What was replaced is kept beside the backup, as it was.
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileW((job.BackupFolder + L"\\还原时替换下的文件 *").c_str(), &found));
  ASSERT_TRUE(find);
  const std::wstring kept = job.BackupFolder + L"\\" + found.cFileName + L"\\";
  EXPECT_EQ(Digest(kept + L"left.rar"), left);
  EXPECT_EQ(testing::ReadFileBytes(kept + L"changed.rar"), edited);
  EXPECT_EQ(GetFileAttributesW((kept + L"other.rar").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(rows[L"changed.rar"].Detail.find(kept + L"changed.rar"), std::wstring::npos) << rows[L"changed.rar"].Detail;
  // The copies made beside the archives went into their places or were removed again.
  EXPECT_EQ(FilesMatching(d, L"*.rarbatch-restore"), std::vector<std::wstring>{});
}

// One archive listed under two spellings (its long name and its short 8.3 name) is one file: one
// backup, taken before either change, and never two archivers on it at once. (A subst drive cannot
// be made here for the stand-in to see: Wine's DefineDosDeviceW drive is not found by another process.)
TEST(Backup, OneArchiveUnderTwoSpellingsIsBackedUpOnceBeforeAnyChange) {
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  testing::FakeArchive fake;
  fake.Entries = {{L"ad.url", L""}, {L"keep.txt", L""}};
  const std::wstring archive = d + L"a long archive name.rar";
  ASSERT_TRUE(testing::WriteFakeArchive(archive, fake));
  const FileDigest original = Digest(archive);
  wchar_t shortName[MAX_PATH] = {};
  ASSERT_NE(GetShortPathNameW(archive.c_str(), shortName, MAX_PATH), 0u);
  ASSERT_NE(std::wstring(shortName), archive) << "this file system gives no short names";

  BatchJob job;
  job.RarPath = testing::InstallFakeRar(d);
  job.Archives = {archive, shortName};
  ASSERT_EQ(IdentityOf(job.Archives[0]), IdentityOf(job.Archives[1]));
  job.DeleteNames = {L"ad.url"};
  ASSERT_NO_FATAL_FAILURE(BackUpInto(job, d + L"b"));
  std::wstring error;
  {
    JobRunner runner(job, 2, {});
    ASSERT_TRUE(runner.Start());
    runner.Wait();
    for (std::size_t i = 0; i < job.Archives.size(); ++i) {
      EXPECT_EQ(runner.Result(i).State, ArchiveState::Success) << job.Archives[i] << " " << runner.Result(i).Detail;
    }
  }
  const auto records = ReadManifestRecords(job.BackupFolder + L"\\" + kManifestName, &error);
  ASSERT_TRUE(records) << error;
  ASSERT_EQ(records->size(), 1u) << "one file, one backup";
  EXPECT_EQ(Digest(job.BackupFolder + L"\\" + (*records)[0].Copy), original) << "taken before any change";
  EXPECT_EQ(testing::ReadFakeArchive(archive).Entries, (std::vector<testing::FakeEntry>{{L"keep.txt", L""}}));
}

TEST(TestBeforeLock, ADamagedArchiveIsFoundAndLeftUnlocked) {
  if (!HostArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const HostArchiver rar(d);
  std::string noise(300000, '\0');
  unsigned state = 11;
  for (auto& c : noise) state = state * 1103515245u + 12345u, c = static_cast<char>(state >> 23);
  ASSERT_TRUE(testing::WriteFileBytes(d + L"data.bin", noise));
  ASSERT_EQ(rar.Run(L"a -idq -ep1 -m0 \"" + d + L"bad.rar\" \"" + d + L"data.bin\""), 0u);
  ASSERT_EQ(rar.Run(L"a -idq -ep1 -m0 \"" + d + L"good.rar\" \"" + d + L"data.bin\""), 0u);
  std::string bytes = testing::ReadFileBytes(d + L"bad.rar");
  ASSERT_GT(bytes.size(), 200000u);
  for (std::size_t at = 150000; at < 150016; ++at) bytes[at] = static_cast<char>(bytes[at] ^ 0xFF);
  ASSERT_TRUE(testing::WriteFileBytes(d + L"bad.rar", bytes));

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {d + L"bad.rar", d + L"good.rar"};
  job.Lock = true;
  job.TestBeforeLock = true;
  JobRunner runner(job, 2, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();
  const ArchiveResult bad = runner.Result(0), good = runner.Result(1);
  EXPECT_EQ(bad.State, ArchiveState::Failure);
  EXPECT_EQ(bad.Detail, L"测试：CRC 校验错误（数据已损坏） (3)");
  ASSERT_EQ(bad.Calls.size(), 2u);
  EXPECT_EQ(bad.Calls[1].Outcome, CallOutcome::Skipped);
  EXPECT_FALSE(rar.Locked(d + L"bad.rar"));
  EXPECT_EQ(good.State, ArchiveState::Success) << good.Detail;
  EXPECT_TRUE(rar.Locked(d + L"good.rar"));
}

}  // namespace
}  // namespace rarbatch
