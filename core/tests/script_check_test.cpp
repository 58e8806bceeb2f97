// Which jobs are refused before anything is written, and that the message names the field and item.
#include "core/script_check.h"

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

}  // namespace
}  // namespace rarbatch
