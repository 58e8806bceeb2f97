// The script file's bytes, the program folder, and the generate action's refusals and success.
#include "run/script_runner.h"

#include <gtest/gtest.h>

#include "core/script_check.h"
#include "tools/test_support.h"
#include "win/program_folder.h"

namespace rarbatch {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD done = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(file);
}

TEST(ProgramFolder, IsTheExecutablesFolderWithOneBackslash) {
  const std::wstring folder = ProgramFolder();
  EXPECT_EQ(folder, testing::ExecutableFolder());
  ASSERT_GE(folder.size(), 2u);
  EXPECT_EQ(folder.back(), L'\\');
  EXPECT_NE(folder[folder.size() - 2], L'\\');
  EXPECT_EQ(ScriptPath(folder), folder + L"tmp.bat");
}

TEST(WriteScriptFile, AnsiBytesWithFinalLineEndAndTruncation) {
  ASSERT_EQ(GetOEMCP(), 936u) << "tests expect the Chinese code page";
  ScratchFolder dir;
  const std::wstring path = ScriptPath(dir.Path());
  WriteBytes(path, std::string(1000, 'x'));

  ASSERT_EQ(WriteScriptFile(path, L"\"r\" k \"测试.rar\"\r\n"), std::nullopt);
  EXPECT_EQ(ReadFileBytes(path), "\"r\" k \"\xB2\xE2\xCA\xD4.rar\"\r\n\r\n");

  ASSERT_EQ(WriteScriptFile(path, L""), std::nullopt);
  EXPECT_EQ(ReadFileBytes(path), "\r\n") << "an empty job still writes one line end";
}

TEST(WriteScriptFile, RefusesUnencodableTextAndLeavesTheOldFile) {
  ScratchFolder dir;
  const std::wstring path = ScriptPath(dir.Path());
  WriteBytes(path, "old");
  // U+00E4 and U+0E01 have no exact form in code page 936; a best-fit or '?' would change the name.
  for (const wchar_t* text : {L"k\u00e4se.rar", L"\u0e01.rar", L"\U0001F600.rar"}) {
    EXPECT_NE(WriteScriptFile(path, text), std::nullopt) << "accepted " << text;
    EXPECT_FALSE(IsScriptEncodable(text));
  }
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_TRUE(IsScriptEncodable(L"D:\\压缩包\\a b&c%.rar"));
}

// Run by the run_tests_western test, under an English locale: ANSI 1252 and OEM 437 differ, and the
// interpreter reads the script in the OEM code page.
TEST(WesternCodePage, NonAsciiPathReachesTheArchiverAndUnencodableIsRefused) {
  if (GetOEMCP() != 437) GTEST_SKIP() << "needs OEM code page 437 (run_tests_western)";
  ScratchFolder dir(L"rarbatch café");
  BatchJob job;
  job.RarPath = testing::InstallFakeRar(dir.Path());
  job.Archives = {dir.Path() + L"café.rar"};
  job.Lock = true;
  UniqueHandle process;
  ASSERT_EQ(WriteAndRunScript(dir.Path(), ComposeBatchScript(job), &process), std::nullopt);
  ASSERT_TRUE(testing::WaitForExit(process.get()));
  EXPECT_EQ(testing::ReadRecordedCalls(dir.Path()),
            (std::vector<std::vector<std::wstring>>{{L"k", dir.Path() + L"café.rar"}}));

  job.Archives.push_back(L"D:\\测试.rar");  // 437 has no Chinese characters
  const auto problem = FindScriptProblem(job, IsScriptEncodable);
  ASSERT_NE(problem, std::nullopt);
  EXPECT_NE(problem->find(L"压缩包列表第 2 项"), std::wstring::npos) << *problem;
  EXPECT_NE(problem->find(L"D:\\测试.rar"), std::wstring::npos);
}

TEST(StartScript, RunsTheSystemInterpreterWithoutAutoRunOrDelayedExpansion) {
  EXPECT_EQ(ScriptCommandLine(L"C:\\Windows\\system32", L"D:\\a b&c\\tmp.bat"),
            L"\"C:\\Windows\\system32\\cmd.exe\" /d /v:off /s /c \"\"D:\\a b&c\\tmp.bat\"\"");
}

TEST(WriteScriptFile, ReportsAFolderThatCannotBeWritten) {
  ScratchFolder dir;
  const auto error = WriteScriptFile(dir.Path() + L"missing\\tmp.bat", L"x");
  ASSERT_NE(error, std::nullopt);
  EXPECT_NE(error->find(L"missing\\tmp.bat"), std::wstring::npos) << "the message names the path";
}

TEST(GenerateAndRun, MissingArchiverOnlyGivesTheMessage) {
  ScratchFolder dir;
  const std::wstring path = ScriptPath(dir.Path());
  WriteBytes(path, "earlier");
  BatchJob job;
  job.Archives = {L"a.rar"};
  job.DeleteNames = {L"x"};
  job.Lock = true;

  const GenerateResult result = GenerateAndRun(dir.Path(), job);
  EXPECT_EQ(result.Outcome, GenerateOutcome::MissingRar);
  EXPECT_EQ(result.Message, kMissingRarMessage);
  EXPECT_EQ(ReadFileBytes(path), "earlier");

  job.RarPath = L" ";  // only the exactly empty path counts as missing
  EXPECT_TRUE(FindScriptProblem(job, IsScriptEncodable) == std::nullopt);
}

TEST(GenerateAndRun, UnsafeJobIsRefusedBeforeWriting) {
  ScratchFolder dir;
  const std::wstring path = ScriptPath(dir.Path());
  WriteBytes(path, "earlier");
  BatchJob job;
  job.RarPath = L"C:\\R\\Rar.exe";
  job.Archives = {L"a.rar", L"k\u00e4se.rar"};
  job.Lock = true;

  const GenerateResult result = GenerateAndRun(dir.Path(), job);
  EXPECT_EQ(result.Outcome, GenerateOutcome::Refused);
  const std::wstring& text = result.Message;
  EXPECT_NE(text.find(L"压缩包列表第 2 项"), std::wstring::npos) << "names the item";
  EXPECT_EQ(ReadFileBytes(path), "earlier");
}

TEST(GenerateAndRun, WritesAndStartsTheScript) {
  ScratchFolder dir;
  BatchJob job;
  job.RarPath = testing::InstallFakeRar(dir.Path());
  job.Archives = {L"D:\\pack\\one.rar"};
  job.DeleteNames = {L"readme.txt"};
  job.Lock = true;

  UniqueHandle process;
  ASSERT_EQ(GenerateAndRun(dir.Path(), job, &process).Outcome, GenerateOutcome::Started);
  ASSERT_TRUE(process);
  ASSERT_TRUE(testing::WaitForExit(process.get()));
  const std::string bytes = ReadFileBytes(ScriptPath(dir.Path()));
  EXPECT_EQ(bytes.substr(bytes.size() - 4), "\r\n\r\n");
  const auto calls = testing::ReadRecordedCalls(dir.Path());
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], (std::vector<std::wstring>{L"d", L"D:\\pack\\one.rar", L"readme.txt"}));
  EXPECT_EQ(calls[1], (std::vector<std::wstring>{L"k", L"D:\\pack\\one.rar"}));

  // The same job again gives the same bytes.
  ASSERT_EQ(GenerateAndRun(dir.Path(), job, &process).Outcome, GenerateOutcome::Started);
  ASSERT_TRUE(testing::WaitForExit(process.get()));
  EXPECT_EQ(ReadFileBytes(ScriptPath(dir.Path())), bytes);
}

}  // namespace
}  // namespace rarbatch
