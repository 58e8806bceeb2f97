// Deleting by content in the run: the archive listed once, its candidates' bytes compared, and what
// holds a sample's bytes deleted by its exact path in the one delete call; on the real archiver for
// what the archives hold afterwards, and on the stand-in for the calls the run makes.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "core/job_file.h"
#include "core/tests/crc_forge.h"
#include "run/archive_preview.h"
#include "run/job_runner.h"
#include "run/tests/real_archiver.h"
#include "tools/fake_archive.h"
#include "tools/test_support.h"
#include "win/file_hash.h"
#include "win/files.h"

namespace rarbatch {
namespace {

std::string Noise(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (auto& c : bytes) seed = seed * 1103515245u + 12345u, c = static_cast<char>(seed >> 23);
  return bytes;
}

// Runs the job in the program's own runner to its end.
JobRunner& RunToEnd(JobRunner& runner) {
  EXPECT_TRUE(runner.Start());
  runner.Wait();
  return runner;
}

ContentSample SampleOf(const std::wstring& path) {
  DWORD error = 0;
  const std::optional<ContentSample> sample = SampleOfFile(path, &error);
  EXPECT_TRUE(sample) << "error " << error;
  return sample.value_or(ContentSample{});
}

// The corpus: the banner under three names and folders, a decoy of its size and CRC32 with other
// bytes, and ordinary files, added from `folder` with their relative paths.
struct Corpus {
  explicit Corpus(const std::wstring& folder) : dir(folder) {
    banner = Noise(6000, 41);
    std::string decoy = Noise(banner.size() - 4, 42);
    decoy += testing::ForgeCrc32Suffix(decoy, Crc32Update(0, banner.data(), banner.size()));
    CreateDirectoryW((dir + L"sub").c_str(), nullptr);
    CreateDirectoryW((dir + L"deep").c_str(), nullptr);
    CreateDirectoryW((dir + L"deep\\x").c_str(), nullptr);
    for (const wchar_t* name : {L"banner.jpg", L"sub\\广告.jpg", L"deep\\x\\ad copy.png"}) {
      EXPECT_TRUE(testing::WriteFileBytes(dir + name, banner));
    }
    EXPECT_TRUE(testing::WriteFileBytes(dir + L"decoy.jpg", decoy));
    EXPECT_TRUE(testing::WriteFileBytes(dir + L"readme.txt", "read me"));
    EXPECT_TRUE(testing::WriteFileBytes(dir + L"sub\\other.bin", Noise(9000, 43)));
  }
  // Makes `archive` of the corpus with the real archiver, `switches` before it (the host's archiver
  // reads '/' as the separator).
  void Make(const testing::RealArchiver& rar, const std::wstring& archive, const std::wstring& switches = L"") const {
    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    SetCurrentDirectoryW(dir.c_str());
    EXPECT_EQ(rar.Run(L"a -idq " + switches + L"\"" + archive +
                      L"\" banner.jpg readme.txt sub/广告.jpg decoy.jpg \"deep/x/ad copy.png\" sub/other.bin"),
              0u);
    SetCurrentDirectoryW(before);
  }
  std::wstring dir;
  std::string banner;
};

// The bare listing with '/' as the separator, whichever the archiver wrote.
std::vector<std::wstring> EntriesOf(const testing::RealArchiver& rar, const std::wstring& archive) {
  std::vector<std::wstring> entries = rar.Entries(archive);
  for (std::wstring& entry : entries) std::replace(entry.begin(), entry.end(), L'\\', L'/');
  std::sort(entries.begin(), entries.end());
  return entries;
}

const std::vector<std::wstring> kAll = {L"banner.jpg",    L"decoy.jpg",          L"deep/x/ad copy.png",
                                        L"readme.txt",    L"sub/other.bin",      L"sub/广告.jpg"};
const std::vector<std::wstring> kCleaned = {L"decoy.jpg", L"readme.txt", L"sub/other.bin"};

TEST(ContentRunOnTheRealArchiver, TheBannerGoesUnderEveryNameAndTheDecoyStays) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir, corpusDir;
  const testing::RealArchiver rar(dir.Path());
  const Corpus corpus(corpusDir.Path());
  const std::wstring archive = dir.Path() + L"合集.rar";
  corpus.Make(rar, archive);
  ASSERT_EQ(EntriesOf(rar, archive), (std::vector<std::wstring>{kAll.begin(), kAll.end()}));

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {archive};
  job.Samples = {SampleOf(corpus.dir + L"banner.jpg")};
  // The preview names the three copies and not the decoy, and changes nothing.
  const ArchivePreview preview = PreviewArchive(job, 0, true, {});
  ASSERT_TRUE(preview.Listed) << preview.ListProblem;
  std::vector<std::wstring> predicted = preview.Removed;
  for (std::wstring& entry : predicted) std::replace(entry.begin(), entry.end(), L'\\', L'/');
  std::sort(predicted.begin(), predicted.end());
  EXPECT_EQ(predicted, (std::vector<std::wstring>{L"banner.jpg", L"deep/x/ad copy.png", L"sub/广告.jpg"}));
  EXPECT_EQ(preview.Content.Matches.size(), 3u);
  EXPECT_EQ(EntriesOf(rar, archive), (std::vector<std::wstring>{kAll.begin(), kAll.end()}));

  JobRunner runner(job, 1, {});
  RunToEnd(runner);
  const ArchiveResult result = runner.Result(0);
  EXPECT_EQ(result.State, ArchiveState::Success) << result.Detail;
  EXPECT_EQ(EntriesOf(rar, archive), kCleaned) << "the three copies gone, the decoy kept by its bytes";
  ASSERT_EQ(result.Calls.size(), 1u) << "rewritten by a single delete";
  EXPECT_EQ(result.Calls[0].Operation, ScriptOperation::Delete);
  EXPECT_EQ(result.Calls[0].ExitCode, 0u);
  ASSERT_EQ(result.Content.Matches.size(), 3u);
  EXPECT_TRUE(result.Content.Unreadable.empty());
  // The decoy is unchanged: its bytes unpack as they were.
  std::wstring tested;
  EXPECT_EQ(rar.Run(L"t -idq \"" + archive + L"\"", &tested), 0u) << tested;
}

TEST(ContentRunOnTheRealArchiver, AnEntryUnderAPasswordIsComparedOnlyWithIt) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir, corpusDir;
  const testing::RealArchiver rar(dir.Path());
  const Corpus corpus(corpusDir.Path());
  const std::wstring archive = dir.Path() + L"加密.rar";
  corpus.Make(rar, archive, L"-psecret ");
  ASSERT_EQ(rar.Run(L"a -idq -ep1 \"" + archive + L"\" \"" + corpus.dir + L"readme.txt\""), 0u);

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {archive};
  job.Samples = {SampleOf(corpus.dir + L"banner.jpg")};
  {
    JobRunner runner(job, 1, {});
    RunToEnd(runner);
    const ArchiveResult result = runner.Result(0);
    EXPECT_EQ(result.State, ArchiveState::Warning);
    EXPECT_NE(result.Detail.find(L"无法比较：需要密码："), std::wstring::npos) << result.Detail;
    EXPECT_TRUE(result.Calls.empty()) << "nothing found, nothing called";
    EXPECT_EQ(EntriesOf(rar, archive), (std::vector<std::wstring>{kAll.begin(), kAll.end()}));
  }
  job.UsePassword = true;
  job.Password = L"secret";
  JobRunner runner(job, 1, {});
  RunToEnd(runner);
  const ArchiveResult result = runner.Result(0);
  EXPECT_EQ(result.State, ArchiveState::Success) << result.Detail;
  EXPECT_EQ(result.Content.Matches.size(), 3u);
  EXPECT_EQ(EntriesOf(rar, archive), kCleaned);
}

// Encrypted names: a job with samples and the password lists, compares and deletes with it, though
// it adds nothing; without the password the archive is refused before any call.
TEST(ContentRunOnTheRealArchiver, EncryptedNamesAreOpenedWithTheJobsPassword) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir, corpusDir;
  const testing::RealArchiver rar(dir.Path());
  const Corpus corpus(corpusDir.Path());
  const std::wstring archive = dir.Path() + L"名称加密.rar";
  corpus.Make(rar, archive, L"-hpsecret ");

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {archive};
  job.Samples = {SampleOf(corpus.dir + L"banner.jpg")};
  {
    JobRunner runner(job, 1, {});
    RunToEnd(runner);
    EXPECT_EQ(runner.Result(0).State, ArchiveState::Failure);
    EXPECT_EQ(runner.Result(0).Refusal, L"文件名已加密，需要密码");
  }
  job.UsePassword = true;
  job.Password = L"secret";
  JobRunner runner(job, 1, {});
  RunToEnd(runner);
  const ArchiveResult result = runner.Result(0);
  EXPECT_EQ(result.State, ArchiveState::Success) << result.Detail;
  EXPECT_EQ(result.Content.Matches.size(), 3u);
  std::wstring listing;
  EXPECT_EQ(rar.Run(L"lb -psecret \"" + archive + L"\"", &listing), 0u);
  std::vector<std::wstring> left = ParseBareListing(listing);
  for (std::wstring& entry : left) std::replace(entry.begin(), entry.end(), L'\\', L'/');
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, kCleaned);
}

// The archiver modifies no volume, so a match found in one could never be deleted: the run refuses a
// volume before any call, as it does for a delete by name.
TEST(ContentRunOnTheRealArchiver, AVolumeIsRefusedBeforeAnyCall) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir, corpusDir;
  const testing::RealArchiver rar(dir.Path());
  const Corpus corpus(corpusDir.Path());
  corpus.Make(rar, dir.Path() + L"卷.rar", L"-v10k ");
  const std::wstring first = dir.Path() + L"卷.part1.rar";
  const std::string before = testing::ReadFileBytes(first);
  ASSERT_FALSE(before.empty());
  EXPECT_NE(rar.Run(L"d \"" + first + L"\" banner.jpg"), 0u) << "the archiver deleted from a volume";

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {first};
  job.Samples = {SampleOf(corpus.dir + L"banner.jpg")};
  JobRunner runner(job, 1, {});
  RunToEnd(runner);
  const ArchiveResult result = runner.Result(0);
  EXPECT_EQ(result.State, ArchiveState::Failure);
  EXPECT_EQ(result.Refusal, L"分卷压缩包不能删除或添加文件");
  EXPECT_TRUE(result.Calls.empty());
  EXPECT_EQ(testing::ReadFileBytes(first), before);
}

// A saved job carries its samples: the companion cleans the archives as the window's run does, on a
// machine where the sample file is not there.
TEST(ContentRunOnTheRealArchiver, TheCompanionRunsASavedJobAsTheWindowDoes) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir, corpusDir;
  const testing::RealArchiver rar(dir.Path());
  const Corpus corpus(corpusDir.Path());
  const std::wstring inWindow = dir.Path() + L"窗口.rar", byCli = dir.Path() + L"命令行.rar";
  corpus.Make(rar, inWindow);
  ASSERT_TRUE(CopyFileW(inWindow.c_str(), byCli.c_str(), FALSE));

  SavedJob saved;
  saved.Job.RarPath = rar.Exe();
  saved.Job.Samples = {SampleOf(corpus.dir + L"banner.jpg")};
  saved.Job.Samples[0].Origin = dir.Path() + L"别处\\banner.jpg";  // not there
  saved.Job.Archives = {byCli};
  const std::optional<std::string> text = WriteJobFile(saved);
  ASSERT_TRUE(text);
  const std::wstring jobFile = dir.Path() + L"按内容.rbjob";
  ASSERT_TRUE(testing::WriteFileBytes(jobFile, *text));

  BatchJob job = saved.Job;
  job.Archives = {inWindow};
  JobRunner runner(job, 1, {});
  RunToEnd(runner);
  EXPECT_EQ(runner.Result(0).State, ArchiveState::Success) << runner.Result(0).Detail;

  testing::ScratchFolder outputs;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileW((outputs.Path() + L"out.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, 0, nullptr);
  HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = out;
  PROCESS_INFORMATION process{};
  const std::wstring command =
      L"\"" + testing::ExecutableFolder() + L"rarbatch-cli.exe\" run \"" + jobFile + L"\" --workers 1";
  ASSERT_TRUE(testing::StartProcess(command, true, CREATE_NO_WINDOW, nullptr, startup, process));
  CloseHandle(process.hThread);
  DWORD code = 0xDEAD;
  EXPECT_TRUE(testing::WaitForExit(process.hProcess));
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(in);
  CloseHandle(out);
  EXPECT_EQ(code, 0u) << testing::ReadFileBytes(outputs.Path() + L"out.txt");

  EXPECT_EQ(EntriesOf(rar, byCli), kCleaned);
  EXPECT_EQ(EntriesOf(rar, byCli), EntriesOf(rar, inWindow));
  // The entries left hold the same bytes in both.
  for (const wchar_t* entry : {L"decoy.jpg", L"readme.txt", L"sub/other.bin"}) {
    std::wstring a, b;
    rar.Run(L"p -inul -scfr \"" + inWindow + L"\" \"" + entry + L"\"", &a);
    rar.Run(L"p -inul -scfr \"" + byCli + L"\" \"" + entry + L"\"", &b);
    EXPECT_FALSE(a.empty()) << entry;
    EXPECT_EQ(a, b) << entry;
  }
}

// On the stand-in: the calls the run makes for a job with samples (one listing, one p of the
// candidates, one delete by a list file), and an archive whose listing fails left as it was.
TEST(ContentRun, OneListingOnePrintOneDeleteAndAFailedListingChangesNothing) {
  testing::ScratchFolder dir;
  const std::wstring rarPath = testing::InstallFakeRar(dir.Path());
  const std::string banner = Noise(3000, 5);
  std::string decoy = Noise(2996, 6);
  decoy += testing::ForgeCrc32Suffix(decoy, Crc32Update(0, banner.data(), banner.size()));
  ASSERT_TRUE(testing::WriteFileBytes(dir.Path() + L"banner.jpg", banner));
  testing::FakeArchive archive;
  archive.Entries = {{L"-banner.jpg", L"", L"", banner}, {L"decoy.jpg", L"", L"", decoy},
                     {L"keep.txt", L"", L"", "keep"}, {L"sub\\ad.jpg", L"", L"", banner}};
  ASSERT_TRUE(testing::WriteFakeArchive(dir.Path() + L"a.rar", archive));
  // Its first bytes are an archive's, the rest is not: the listing fails with 2.
  const std::string broken = fake::FakeArchiveHeader({}) + "not what it should be\n";
  ASSERT_TRUE(testing::WriteFileBytes(dir.Path() + L"b.rar", broken));

  BatchJob job;
  job.RarPath = rarPath;
  job.Archives = {dir.Path() + L"a.rar", dir.Path() + L"b.rar"};
  job.Samples = {SampleOf(dir.Path() + L"banner.jpg")};
  job.AddFiles = {dir.Path() + L"banner.jpg"};  // added after the delete, so it stays
  JobRunner runner(job, 1, {});
  RunToEnd(runner);

  EXPECT_EQ(runner.Result(0).State, ArchiveState::Success) << runner.Result(0).Detail;
  std::vector<std::wstring> names;
  for (const testing::FakeEntry& entry : testing::ReadFakeArchive(job.Archives[0]).Entries) names.push_back(entry.Name);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"decoy.jpg", L"keep.txt", L"banner.jpg"}));
  std::vector<std::wstring> commands;
  bool deleteByList = false;
  for (const auto& call : testing::ReadRecordedCalls(dir.Path(), true)) {
    if (std::find(call.begin(), call.end(), job.Archives[0]) == call.end()) continue;
    commands.push_back(call.front());
    if (call.front() == L"d") deleteByList = std::find(call.begin(), call.end(), L"-scfl") != call.end();
  }
  EXPECT_EQ(commands, (std::vector<std::wstring>{L"lt", L"p", L"d", L"a"}));
  EXPECT_TRUE(deleteByList) << "the entries found go by a list file, never as words on the line";

  EXPECT_EQ(runner.Result(1).State, ArchiveState::Failure);
  EXPECT_NE(runner.Result(1).Detail.find(L"不能按内容删除，压缩包没有改动"), std::wstring::npos) << runner.Result(1).Detail;
  EXPECT_EQ(testing::ReadFileBytes(job.Archives[1]), broken);
  EXPECT_TRUE(runner.Result(1).Calls.empty());
}

}  // namespace
}  // namespace rarbatch
