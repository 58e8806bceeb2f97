// A job's predicted effect on one archive: what it takes, adds and replaces, and the preview's texts.
#include "core/preview_model.h"

#include <gtest/gtest.h>

namespace rarbatch {
namespace {

TEST(PredictChanges, DeletionsReplacementsAndAnEmptiedArchive) {
  BatchJob job;
  job.DeleteNames = {L"*.bak", L"-r notes.txt"};
  job.AddFiles = {L"C:\\in\\X.TXT", L"C:\\in\\dir\\"};
  ArchivePreview preview;
  preview.Listed = true;
  preview.Entries = ParseBareListing(L"x.txt\r\ndir\\a.bak\r\ndir\r\ndir\\keep.dat\r\n\r\nnotes.txt\r\n");
  PredictChanges(job, {L"X.TXT", L"dir", L"dir\\keep.dat"}, preview);
  EXPECT_EQ(preview.Removed, (std::vector<std::wstring>{L"dir\\a.bak", L"notes.txt"}));
  EXPECT_EQ(preview.Added, (std::vector<std::wstring>{L"X.TXT", L"dir"}));
  EXPECT_EQ(preview.Replaced, (std::vector<std::wstring>{L"x.txt", L"dir", L"dir\\keep.dat"}));
  EXPECT_EQ(preview.Unmodelled, (std::vector<std::wstring>{L"-r"}));
  EXPECT_FALSE(preview.Emptied);
  EXPECT_EQ(DescribePreview(job, preview).State, L"将修改");

  BatchJob empties;
  empties.DeleteNames = {L"*.*"};
  PredictChanges(empties, {}, preview);
  EXPECT_TRUE(preview.Emptied);
  const PreviewRow row = DescribePreview(empties, preview);
  EXPECT_EQ(row.State, L"将被删除");
  EXPECT_NE(row.Words.find(L"压缩程序会删除压缩包文件"), std::wstring::npos);
}

// An archive with a recovery record: its size, that the run keeps it and that the script drops it;
// an archive the job leaves as it is only says it has one.
TEST(DescribePreview, NamesTheRecoveryRecordAndWhatBecomesOfIt) {
  BatchJob job;
  job.DeleteNames = {L"*.bak"};
  ArchivePreview preview;
  preview.Listed = true;
  preview.Entries = {L"a.bak", L"b.txt"};
  preview.RecoveryRecord = true;
  preview.RecoverySize = 116781;
  preview.RecoveryPercent = 7;
  PredictChanges(job, {}, preview);
  EXPECT_EQ(DescribePreview(job, preview).Words,
            L"删除 1 项；有恢复记录 116781 字节，本程序运行时保留（-rr7%），批处理脚本会丢掉它");
  EXPECT_NE(FormatPreviewDetail(job, preview).find(L"批处理脚本会丢掉它"), std::wstring::npos);

  preview.Entries = {L"b.txt"};
  PredictChanges(job, {}, preview);
  EXPECT_EQ(DescribePreview(job, preview).Words, L"没有要删除的文件；有恢复记录 116781 字节");

  preview.Entries = {L"a.bak"};
  PredictChanges(job, {}, preview);
  EXPECT_EQ(DescribePreview(job, preview).Words.find(L"保留"), std::wstring::npos) << "emptied: nothing to keep";
}

TEST(FormatPreviewSummary, CountsChangedEmptiedAndBlockedArchives) {
  BatchJob job;
  job.DeleteNames = {L"*.bak"};
  ArchivePreview changed, unchanged, emptied, locked, unlisted;
  for (auto* p : {&changed, &unchanged, &emptied}) p->Listed = true;
  changed.Entries = {L"a.bak", L"b.txt"};
  unchanged.Entries = {L"b.txt"};
  emptied.Entries = {L"a.bak", L"d\\c.bak"};
  locked.Listed = true;
  locked.Entries = {L"a.bak"};
  locked.Refusal = L"已锁定";
  unlisted.ListProblem = L"文件名已加密，需要密码才能列出";
  for (auto* p : {&changed, &unchanged, &emptied, &locked}) PredictChanges(job, {}, *p);
  EXPECT_EQ(DescribePreview(job, unchanged).State, L"不变");
  EXPECT_EQ(DescribePreview(job, locked).State, L"无法处理");
  EXPECT_EQ(DescribePreview(job, unlisted).State, L"无法预览");
  EXPECT_EQ(FormatPreviewSummary(job, {changed, unchanged, emptied, locked, unlisted}),
            L"共 5 个压缩包：2 个将修改，共删除 3 项；1 个将被清空并删除；2 个无法处理或无法预览");
}

}  // namespace
}  // namespace rarbatch
