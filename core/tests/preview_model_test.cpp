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
  // The emptied archive is deleted, not rewritten; the unchanged one is not touched.
  changed.Size = 3 * 1024 * 1024;
  emptied.Size = unchanged.Size = 100 * 1024 * 1024;
  EXPECT_EQ(FormatPreviewSummary(job, {changed, unchanged, emptied, locked, unlisted}),
            L"共 5 个压缩包：2 个将修改，共删除 3 项；1 个将被清空并删除；2 个无法处理或无法预览；"
            L"将重写约 3.0 MB（每个压缩包最多 1 次）");
  EXPECT_EQ(FormatPreviewSummary(job, {changed}, {40 * 1024 * 1024, L"磁盘空间不足：D:\\ 需要约 40.0 MB，可用 1.0 MB"}),
            L"共 1 个压缩包：1 个将修改，共删除 1 项；0 个将被清空并删除；0 个无法处理或无法预览；"
            L"将重写约 3.0 MB（每个压缩包最多 1 次），同时需要可用空间约 40.0 MB；"
            L"磁盘空间不足：D:\\ 需要约 40.0 MB，可用 1.0 MB");
  EXPECT_EQ(FormatPreviewSummary(job, {unchanged}), L"共 1 个压缩包：0 个将修改，共删除 0 项；0 个将被清空并删除；0 个无法处理或无法预览")
      << "nothing to rewrite, nothing said of it";
}

// Each call that changes the archive rewrites all of it; a delete that takes nothing changes nothing,
// unless the comment or the lock rode on it and a call of their own then sets them.
TEST(PredictedRewrites, CountsTheCallsThatChangeTheArchive) {
  ArchivePreview takes, takesNothing;
  takes.Listed = takesNothing.Listed = true;
  takes.Removed = {L"a.bak"};
  BatchJob job;
  job.DeleteNames = {L"*.bak"};
  EXPECT_EQ(PredictedRewrites(job, takes), 1u);
  EXPECT_EQ(PredictedRewrites(job, takesNothing), 0u);
  job.AddFiles = {L"C:\\in\\x.txt"};
  job.Lock = true;
  EXPECT_EQ(PredictedRewrites(job, takes), 2u) << "d, then a -k";
  EXPECT_EQ(PredictedRewrites(job, takesNothing), 1u) << "the d finds nothing: a -k alone";
  job.AddFiles.clear();
  EXPECT_EQ(PredictedRewrites(job, takesNothing), 1u) << "d -k finds nothing: the finishing k";
  job.TestBeforeLock = true;
  EXPECT_EQ(PredictedRewrites(job, takes), 2u) << "d, t (no rewrite), k";
}

TEST(DescribePreview, ASolidArchiveSaysWhatADeleteCosts) {
  BatchJob job;
  job.DeleteNames = {L"*.bak"};
  ArchivePreview solid;
  solid.Listed = true;
  solid.Solid = true;
  solid.Entries = {L"a.bak", L"b.txt"};
  PredictChanges(job, {}, solid);
  EXPECT_NE(DescribePreview(job, solid).Words.find(L"固实压缩包：删除时要重新压缩整个压缩包"), std::wstring::npos);
  solid.Entries = {L"b.txt"};
  PredictChanges(job, {}, solid);
  EXPECT_EQ(DescribePreview(job, solid).Words.find(L"固实"), std::wstring::npos) << "unchanged: nothing to say";
}

ContentSample SampleOf(const wchar_t* origin, char digit) {
  return {3000, 0x40AA2191, std::string(64, digit), origin};
}

// Entries found by content are taken with those the names take, in listing order; the row names them
// per sample, with their paths inside the archive, and says what could not be compared.
TEST(PredictChanges, EntriesFoundByContentAreTakenAndNamedPerSample) {
  BatchJob job;
  job.DeleteNames = {L"*.bak"};
  job.Samples = {SampleOf(L"C:\\样本\\ad.jpg", 'a'), SampleOf(L"", 'b')};
  ArchivePreview preview;
  preview.Listed = true;
  preview.Entries = {L"x.bak", L"pics\\ad copy.jpg", L"keep.txt", L"ad2.jpg", L"secret.jpg", L"y.bin"};
  preview.Content.Listed = true;
  preview.Content.Matches = {{L"pics\\ad copy.jpg", 0}, {L"ad2.jpg", 0}, {L"y.bin", 1}};
  preview.Content.NotCompared = {L"secret.jpg"};
  PredictChanges(job, {}, preview);
  EXPECT_EQ(preview.Removed, (std::vector<std::wstring>{L"x.bak", L"pics\\ad copy.jpg", L"ad2.jpg", L"y.bin"}));
  EXPECT_FALSE(preview.Emptied);
  const PreviewRow row = DescribePreview(job, preview);
  EXPECT_EQ(row.State, L"将修改");
  EXPECT_EQ(row.Words, L"删除 4 项；按内容删除（ad.jpg）：pics\\ad copy.jpg，ad2.jpg；按内容删除（样本 bbbbbbbbbbbb）：y.bin；"
                       L"无法比较：需要密码：secret.jpg");

  const std::wstring detail = FormatPreviewDetail(job, preview);
  EXPECT_NE(detail.find(L"其中按内容删除（3）：\r\n  pics\\ad copy.jpg  ← ad.jpg（SHA-256 aaaaaaaaaaaa…）\r\n"),
            std::wstring::npos) << detail;
  EXPECT_NE(detail.find(L"无法比较，需要密码（1）：\r\n  secret.jpg\r\n"), std::wstring::npos) << detail;

  preview.Size = 1024 * 1024;
  EXPECT_EQ(FormatPreviewSummary(job, {preview}),
            L"共 1 个压缩包：1 个将修改，共删除 4 项（其中按内容删除 3 个文件）；0 个将被清空并删除；"
            L"0 个无法处理或无法预览；将重写约 1.0 MB（每个压缩包最多 1 次）");
}

// Samples alone: the entries they match empty the archive as names would, with one d call; an archive
// with nothing matched and only a problem stays unchanged but says why.
TEST(PredictChanges, ContentAloneEmptiesAnArchiveOrLeavesItWithItsProblem) {
  BatchJob job;
  job.Samples = {SampleOf(L"D:\\a.bin", 'a')};
  ArchivePreview all;
  all.Listed = true;
  all.Entries = {L"a.bin", L"dir\\a copy.bin"};
  all.Content.Matches = {{L"a.bin", 0}, {L"dir\\a copy.bin", 0}};
  PredictChanges(job, {}, all);
  EXPECT_TRUE(all.Emptied);
  EXPECT_TRUE(PreviewInRed(all));
  EXPECT_EQ(DescribePreview(job, all).State, L"将被删除");
  EXPECT_EQ(PredictedRewrites(job, all), 1u);

  ArchivePreview none;
  none.Listed = true;
  none.Entries = {L"s.bin"};
  none.Content.NotCompared = {L"s.bin"};
  PredictChanges(job, {}, none);
  EXPECT_EQ(PredictedRewrites(job, none), 0u);
  EXPECT_EQ(DescribePreview(job, none).State, L"不变");
  EXPECT_EQ(DescribePreview(job, none).Words, L"没有要删除的文件；无法比较：需要密码：s.bin");
}

// The references rule counts the entries found by content with the names: a reference to a matched
// target is broken unless a name or the content takes it too.
TEST(PredictReferencesOf, EntriesFoundByContentCountWithTheNames) {
  std::vector<ListedEntry> entries(3);
  entries[0].Name = L"a.bin";
  entries[0].Type = L"File";
  entries[1].Name = L"ref.bin";
  entries[1].Type = L"File reference";
  entries[1].Target = L"a.bin";
  entries[2].Name = L"c.txt";
  entries[2].Type = L"File";
  BatchJob job;
  job.Samples = {SampleOf(L"a.bin", 'a')};
  ArchivePreview preview;
  preview.Listed = true;
  preview.Entries = {L"a.bin", L"ref.bin", L"c.txt"};
  preview.Content.Matches = {{L"a.bin", 0}};
  PredictChanges(job, {}, preview);
  PredictReferencesOf(job, entries, preview);
  EXPECT_EQ(preview.BrokenReferences, (std::vector<BrokenReference>{{L"ref.bin", L"a.bin"}}));
  EXPECT_EQ(DescribePreview(job, preview).State, L"无法处理");

  job.DeleteNames = {L"ref.bin"};
  ArchivePreview sound = preview;
  sound.Refusal.clear();
  PredictReferencesOf(job, entries, sound);
  EXPECT_TRUE(sound.BrokenReferences.empty());
  EXPECT_TRUE(sound.Refusal.empty());
}

}  // namespace
}  // namespace rarbatch
