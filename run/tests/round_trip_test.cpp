// End to end: jobs full of characters the command interpreter acts on are composed, written as
// tmp.bat, run by the real cmd.exe, and the arguments the stand-in archiver received, split by the
// archiver's own rules, are compared with what the user meant.
#include <gtest/gtest.h>

#include <algorithm>

#include <random>

#include "core/archiver_args.h"
#include "core/batch_script.h"
#include "core/script_check.h"
#include "run/script_runner.h"
#include "tools/test_support.h"

namespace rarbatch {
namespace {

using Call = std::vector<std::wstring>;

// The calls the archiver should receive for the job, in script order.
std::vector<Call> ExpectedCalls(const BatchJob& job) {
  std::vector<Call> calls;
  for (const auto& a : job.Archives) {
    for (const auto& n : job.DeleteNames) {
      Call call{L"d", a};
      for (auto& name : SplitArchiverArguments(n)) call.push_back(name);
      calls.push_back(call);
    }
    for (const auto& f : job.AddFiles) {
      Call call{L"a"};
      if (job.UsePassword) call.push_back(L"-p" + job.Password);
      call.push_back(a);
      call.push_back(f);
      calls.push_back(call);
    }
    if (!job.CommentFile.empty()) calls.push_back({L"c", L"-z" + job.CommentFile, a});
    if (job.Lock) calls.push_back({L"k", a});
  }
  return calls;
}

// Runs the script and returns the calls the stand-in recorded. Under heavy load Wine's interpreter now
// and then fails to start a program at all ("不是内部或外部命令"): such a run says nothing about what
// a started archiver receives, so when fewer calls were recorded than the script has lines, it is run
// again from a fresh log, up to three times in all; the last run's calls are what is compared.
std::vector<Call> RunThroughCmd(const BatchJob& job, const std::wstring& folder) {
  const std::wstring script = ComposeBatchScript(job);
  const auto lines = static_cast<std::size_t>(std::count(script.begin(), script.end(), L'\n'));
  std::vector<Call> calls;
  for (int run = 0; run < 3; ++run) {
    DeleteFileW((folder + L"args.log").c_str());
    UniqueHandle process;
    const auto error = WriteAndRunScript(folder, script, &process);
    EXPECT_EQ(error, std::nullopt) << (error ? *error : L"");
    if (error) return {};
    EXPECT_TRUE(testing::WaitForExit(process.get(), 180000)) << "script did not finish in time";
    calls = testing::ReadRecordedCalls(folder);
    if (calls.size() >= lines) break;
  }
  return calls;
}

void ExpectSameCalls(const std::vector<Call>& got, const std::vector<Call>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i], want[i]) << "call " << i;
  }
}

TEST(RoundTrip, SpecialCharactersReachTheArchiverUnchanged) {
  testing::ScratchFolder dir;
  BatchJob job;
  job.RarPath = testing::InstallFakeRar(dir.Path());
  job.Archives = {L"D:\\100%\\a.rar", L"D:\\R&D\\%PATH%\\b^c.rar", L"E:\\压缩 包\\(1)!x.rar",
                  L"F:\\trailing\\"};
  job.DeleteNames = {L"R&D.txt", L"old file.txt", L"\"old file.txt\"", L"a|b<c>d^e %1 %%",
                     L"\"x & y\" z&w", L"*.bak (copy).txt", L"测试%.txt"};
  job.AddFiles = {L"D:\\new\\a&b %x% .txt", L"D:\\new\\^<>|.txt", L"D:\\dir\\"};
  job.CommentFile = L"D:\\50% off\\c&d.txt";
  job.Lock = true;
  job.UsePassword = true;
  job.Password = L"two words & 100% ^(x)|<y>\\";
  ASSERT_EQ(FindScriptProblem(job, IsScriptEncodable), std::nullopt);
  ExpectSameCalls(RunThroughCmd(job, dir.Path()), ExpectedCalls(job));
}

TEST(RoundTrip, PasswordsAndPathsWithBackslashesAndQuotes) {
  testing::ScratchFolder dir;
  const std::wstring rar = testing::InstallFakeRar(dir.Path());
  BatchJob job;
  job.RarPath = rar;
  job.Archives = {L"D:\\new folder\\"};
  // Backslashes right before the user's closing quote. (A name that ends in a backslash is refused:
  // the archiver takes it for every file.)
  job.DeleteNames = {L"\"dir\\\"x.txt y.txt", L"\"a b\\\\\"c"};
  job.AddFiles = {L"E:\\", L"D:\\new folder\\"};
  job.UsePassword = true;
  for (const wchar_t* password : {L"S3cr!t\\x", L"my pass\\", L"x\\\\", L"\"", L"a\"b\"\"c",
                                  L"\"&%\" 100% \"x&y\"", L"\\\"\\", L"^\"!%PATH%\\"}) {
    job.Password = password;
    ASSERT_EQ(FindScriptProblem(job, IsScriptEncodable), std::nullopt) << password;
    DeleteFileW((dir.Path() + L"args.log").c_str());
    ExpectSameCalls(RunThroughCmd(job, dir.Path()), ExpectedCalls(job));
  }
}

// A seeded random job drawn from an alphabet heavy in the interpreter's special characters.
BatchJob RandomJob(std::mt19937& rng, const std::wstring& rarPath) {
  const std::wstring pathAlphabet = L"ab%&|<>^()!;,= 测试\\";
  const std::wstring nameAlphabet = L"ab%&|<>^()!;,=测\" \\";
  const std::wstring passwordAlphabet = pathAlphabet + L"\"";
  auto pick = [&](const std::wstring& alphabet, int maxLength) {
    std::uniform_int_distribution<int> length(1, maxLength);
    std::uniform_int_distribution<std::size_t> index(0, alphabet.size() - 1);
    std::wstring s;
    for (int i = length(rng); i > 0; --i) s.push_back(alphabet[index(rng)]);
    return s;
  };
  auto name = [&] { return L"n" + pick(nameAlphabet, 12); };  // always names something
  BatchJob job;
  job.RarPath = rarPath;
  for (int i = 0; i < 10; ++i) job.Archives.push_back(L"D:\\" + pick(pathAlphabet, 12) + L".rar");
  for (int i = 0; i < 8; ++i) job.DeleteNames.push_back(name());
  for (int i = 0; i < 8; ++i) job.AddFiles.push_back(L"E:\\" + pick(pathAlphabet, 12));
  job.CommentFile = L"F:\\" + pick(pathAlphabet, 10);
  job.Lock = true;
  job.UsePassword = true;
  job.Password = pick(passwordAlphabet, 10);
  return job;
}

TEST(RoundTrip, SeededRandomScript) {
  testing::ScratchFolder dir;
  std::mt19937 rng(20261207);
  const BatchJob job = RandomJob(rng, testing::InstallFakeRar(dir.Path()));
  ASSERT_EQ(FindScriptProblem(job, IsScriptEncodable), std::nullopt);
  const std::vector<Call> want = ExpectedCalls(job);
  ASSERT_EQ(want.size(), 180u);
  ExpectSameCalls(RunThroughCmd(job, dir.Path()), want);
}

}  // namespace
}  // namespace rarbatch
