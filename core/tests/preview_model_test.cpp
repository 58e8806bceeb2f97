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

TEST(PredictBrokenReferences, ARowInRedThatSaysWhichReferenceWouldBreak) {
  BatchJob job;
  job.DeleteNames = {L"a.bin"};
  ArchivePreview preview;
  preview.Listed = true;
  preview.Entries = {L"a.bin", L"ad.jpg"};
  PredictChanges(job, {}, preview);
  ASSERT_TRUE(PreviewNeedsReferences(preview));
  CallResult listing;
  listing.Outcome = CallOutcome::Exited;
  listing.Output = L"        Name: a.bin\n        Type: File\n\n"
                   L"        Name: ad.jpg\n        Type: File reference\n      Target: a.bin\n\n";
  PredictBrokenReferences(job, listing, preview);
  EXPECT_TRUE(PreviewInRed(preview));
  EXPECT_TRUE(PreviewBlocked(preview)) << "the run refuses it";
  EXPECT_EQ(DescribePreview(job, preview).Words, L"删除会使文件引用无法解压：ad.jpg → a.bin");

  // Taking the reference too is sound: the row is an ordinary change.
  BatchJob both;
  both.DeleteNames = {L"a.bin", L"ad.jpg"};
  ArchivePreview sound;
  sound.Listed = true;
  sound.Entries = {L"a.bin", L"ad.jpg", L"c.txt"};
  PredictChanges(both, {}, sound);
  PredictBrokenReferences(both, listing, sound);
  EXPECT_FALSE(PreviewInRed(sound));
  EXPECT_EQ(DescribePreview(both, sound).State, L"将修改");

  // A delete that takes nothing needs no listing; one that could not be listed is not previewed.
  ArchivePreview untouched;
  untouched.Listed = true;
  untouched.Entries = {L"c.txt"};
  PredictChanges(job, {}, untouched);
  EXPECT_FALSE(PreviewNeedsReferences(untouched));
  listing.ExitCode = 3;
  ArchivePreview failed = sound;
  PredictBrokenReferences(both, listing, failed);
  EXPECT_EQ(DescribePreview(both, failed).State, L"无法预览");
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
