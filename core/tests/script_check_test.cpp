// Which jobs are refused before anything is written, and that the message names the field and item.
#include "core/script_check.h"

#include "core/archiver_calls.h"

#include <gtest/gtest.h>

namespace rarbatch {
namespace {

BatchJob GoodJob() {
  BatchJob job;
  job.RarPath = L"C:\\R\\Rar.exe";
  job.Archives = {L"D:\\a.rar", L"D:\\b.rar"};
  job.DeleteNames = {L"\"old file.txt\" R&D.txt"};
  job.AddFiles = {L"D:\\f 100%.txt"};
  job.CommentFile = L"D:\\c.txt";
  job.UsePassword = true;
  job.Password = L"a b&c";
  return job;
}

TEST(FindScriptProblem, AcceptsSpecialCharactersThatCanBeEscaped) {
  EXPECT_EQ(FindScriptProblem(GoodJob()), std::nullopt);
}

TEST(FindScriptProblem, RefusesLineBreaksAndNulInEveryField) {
  const std::wstring breaks[] = {L"\r", L"\n", std::wstring(1, L'\0')};
  for (const auto& b : breaks) {
    BatchJob job = GoodJob();
    job.RarPath += b;
    EXPECT_NE(FindScriptProblem(job), std::nullopt);
    job = GoodJob();
    job.Archives[1] += b;
    auto problem = FindScriptProblem(job);
    ASSERT_NE(problem, std::nullopt);
    EXPECT_NE(problem->find(L"压缩包列表第 2 项"), std::wstring::npos) << *problem;
    job = GoodJob();
    job.DeleteNames[0] = L"x" + b + L"del *";
    EXPECT_NE(FindScriptProblem(job), std::nullopt);
    job = GoodJob();
    job.AddFiles.push_back(b);
    problem = FindScriptProblem(job);
    ASSERT_NE(problem, std::nullopt);
    EXPECT_NE(problem->find(L"添加文件列表第 2 项"), std::wstring::npos);
    job = GoodJob();
    job.CommentFile += b;
    EXPECT_NE(FindScriptProblem(job), std::nullopt);
    job = GoodJob();
    job.Password += b;
    EXPECT_NE(FindScriptProblem(job), std::nullopt);
  }
}

TEST(FindScriptProblem, QuotesOnlyAllowedInDeleteNames) {
  BatchJob job = GoodJob();
  job.Archives[0] = L"D:\\\"a.rar";
  auto problem = FindScriptProblem(job);
  ASSERT_NE(problem, std::nullopt);
  EXPECT_NE(problem->find(L"压缩包列表第 1 项含有双引号"), std::wstring::npos);
  EXPECT_NE(problem->find(L"D:\\\"a.rar"), std::wstring::npos) << "the item is shown";

  job = GoodJob();
  job.Password = L"pa\"ss";
  EXPECT_EQ(FindScriptProblem(job), std::nullopt) << "a quote in the password is written doubled";
  job.Password = L"pa\rss";
  problem = FindScriptProblem(job);
  ASSERT_NE(problem, std::nullopt);
  EXPECT_NE(problem->find(L"密码"), std::wstring::npos);
  EXPECT_EQ(problem->find(L"pa\rss"), std::wstring::npos) << "the password is never echoed";

  job.UsePassword = false;
  EXPECT_EQ(FindScriptProblem(job), std::nullopt) << "an unused password is not written";

  BatchJob quotedRar = GoodJob();
  quotedRar.RarPath = L"\"C:\\R\\Rar.exe\"";
  EXPECT_NE(FindScriptProblem(quotedRar), std::nullopt);
  BatchJob quotedComment = GoodJob();
  quotedComment.CommentFile += L"\"";
  EXPECT_NE(FindScriptProblem(quotedComment), std::nullopt);
}

TEST(FindScriptProblem, RefusesADeleteEntryThatNamesNoFile) {
  for (const wchar_t* entry : {L"   ", L"-r", L"\t-r  -y"}) {
    BatchJob job = GoodJob();
    job.DeleteNames.push_back(entry);
    const auto problem = FindScriptProblem(job);
    ASSERT_NE(problem, std::nullopt) << entry;
    EXPECT_NE(problem->find(L"删除文件列表第 2 项"), std::wstring::npos) << *problem;
    EXPECT_NE(problem->find(L"全部文件"), std::wstring::npos) << "says why";
  }
  BatchJob job = GoodJob();
  job.DeleteNames = {L"-r *.bak", L"@names.lst"};
  EXPECT_EQ(FindScriptProblem(job), std::nullopt);
}

TEST(FindScriptProblem, RefusesALineTheInterpreterWouldCut) {
  BatchJob job = GoodJob();
  job.AddFiles.push_back(L"D:\\" + std::wstring(kMaxScriptLineLength, L'x'));
  const auto problem = FindScriptProblem(job);
  ASSERT_NE(problem, std::nullopt);
  EXPECT_NE(problem->find(L"压缩包列表第 1 项"), std::wstring::npos) << *problem;
  EXPECT_NE(problem->find(L"添加文件列表第 2 项"), std::wstring::npos) << *problem;
  EXPECT_NE(problem->find(L"D:\\a.rar"), std::wstring::npos) << "names the archive";
}

TEST(FindScriptProblem, AsksTheEncoderAboutEveryWrittenString) {
  BatchJob job = GoodJob();
  job.AddFiles.push_back(L"D:\\bad.txt");
  auto rejectBad = [](const std::wstring& s) { return s.find(L"bad") == std::wstring::npos; };
  auto problem = FindScriptProblem(job, rejectBad);
  ASSERT_NE(problem, std::nullopt);
  EXPECT_NE(problem->find(L"添加文件列表第 2 项含有系统代码页无法表示的字符"), std::wstring::npos);
  EXPECT_NE(problem->find(L"D:\\bad.txt"), std::wstring::npos);
  EXPECT_EQ(FindScriptProblem(GoodJob(), rejectBad), std::nullopt);
}

// Running the archiver directly: each field as a whole argument, with no script in between.
TEST(FindRunProblem, AcceptsAnyUnicodeNameAndQuotesThatAreQuotedForTheArchiver) {
  BatchJob job = GoodJob();
  job.Archives.push_back(L"D:\\\u0e01\U0001F600 k\u00e4se.rar");
  job.AddFiles.push_back(L"D:\\\"x\".txt");
  job.Password = L"\"";
  EXPECT_EQ(FindRunProblem(job), std::nullopt);
}

TEST(FindRunProblem, RefusesWhatWouldChangeTheCallOrStallIt) {
  const struct {
    void (*change)(BatchJob&);
    const wchar_t* expect;
  } cases[] = {
      {[](BatchJob& j) { j.RarPath += L"\n"; }, L"RAR.exe 的路径含有回车、换行或空字符，无法交给压缩程序。"},
      {[](BatchJob& j) { j.Archives[1] += L"\r"; }, L"压缩包列表第 2 项含有回车"},
      {[](BatchJob& j) { j.DeleteNames[0] += std::wstring(1, L'\0'); }, L"删除文件列表第 1 项含有"},
      {[](BatchJob& j) { j.DeleteNames.push_back(L" -y "); }, L"删除文件列表第 2 项没有指定任何文件名"},
      // Measured with the archiver: "docs\" and "." empty the archive (then it is deleted).
      {[](BatchJob& j) { j.DeleteNames.push_back(L"a.txt \"old docs\\\""); }, L"删除文件列表第 2 项中的“old docs\\”"},
      {[](BatchJob& j) { j.DeleteNames.push_back(L"docs/"); }, L"删除文件列表第 2 项中的“docs/”"},
      {[](BatchJob& j) { j.DeleteNames.push_back(L"."); }, L"删除文件列表第 2 项中的“.”"},
      {[](BatchJob& j) { j.AddFiles[0] += L"\n"; }, L"添加文件列表第 1 项含有"},
      // A lone surrogate has no UTF-8 form: a list file would leave it out, and the archiver would
      // find nothing to delete and say so as a success.
      {[](BatchJob& j) { j.DeleteNames.push_back(std::wstring(L"ad") + wchar_t(0xD800) + L".txt"); },
       L"删除文件列表第 2 项含有无法写成 UTF-8 的字符（单独的代理项），无法交给压缩程序。"},
      {[](BatchJob& j) { j.AddFiles[0] += wchar_t(0xDC00); }, L"添加文件列表第 1 项含有无法写成 UTF-8 的字符"},
      {[](BatchJob& j) { j.CommentFile += L"\r\n"; }, L"注释文件的路径含有"},
      {[](BatchJob& j) { j.Password += L"\n"; }, L"密码含有回车、换行或空字符，无法交给压缩程序。"},
      {[](BatchJob& j) { j.Password.clear(); }, kEmptyPasswordMessage},
      // Added at the root, D:\x\Same.TXT and E:\same.txt would be two entries of one name.
      {[](BatchJob& j) { j.AddFiles = {L"D:\\x\\Same.TXT", L"C:\\b.txt", L"E:\\y\\same.txt\\"}; },
       L"添加文件列表第 1 项和第 3 项的名字相同。"},
      // A long file to add goes through a list file; a long comment file's path, on the last call,
      // and a long archive, on every call, cannot.
      {[](BatchJob& j) { j.CommentFile = std::wstring(kMaxCommandLineLength, L'x'); },
       L"压缩包列表第 1 项的添加命令长 "},
      {[](BatchJob& j) { j.Archives.push_back(std::wstring(kMaxCommandLineLength - 20, L'x')); },
       L"压缩包列表第 3 项的删除命令长 "},
  };
  BatchJob longFile = GoodJob();
  longFile.AddFiles.push_back(std::wstring(kMaxCommandLineLength, L'x'));
  EXPECT_EQ(FindRunProblem(longFile), std::nullopt);
  for (const auto& c : cases) {
    BatchJob job = GoodJob();
    c.change(job);
    const auto problem = FindRunProblem(job);
    ASSERT_NE(problem, std::nullopt) << c.expect;
    EXPECT_EQ(problem->find(c.expect), 0u) << *problem;
    EXPECT_EQ(problem->find(L"批处理"), std::wstring::npos) << "no script is involved: " << *problem;
  }
  BatchJob unused = GoodJob();
  unused.UsePassword = false;
  unused.Password = L"\n";
  EXPECT_EQ(FindRunProblem(unused), std::nullopt) << "a password that is not used is not checked";
}

}  // namespace
}  // namespace rarbatch
