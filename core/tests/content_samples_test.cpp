// Deleting by content: the listing's sizes and CRC32s, the candidates they give, what the byte
// comparison confirms, the job file's samples and the delete call they join.
#include "core/content_samples.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/archiver_calls.h"
#include "core/job_file.h"
#include "core/tests/crc_forge.h"

namespace rarbatch {
namespace {

const std::string kSha(64, 'a');
const std::string kOtherSha(64, 'b');

ContentSample Banner() { return {3000, 0x40AA2191, kSha, L"D:\\广告\\banner.jpg"}; }

ListedEntry File(const std::wstring& name, std::uint64_t size, std::uint32_t crc) {
  ListedEntry entry{name, L"File"};
  entry.Size = size;
  entry.Crc32 = crc;
  return entry;
}

TEST(Crc32, KnownValuesAndTheForgedDecoy) {
  EXPECT_EQ(Crc32Update(0, "123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32Update(Crc32Update(0, "1234", 4), "56789", 5), 0xCBF43926u);
  EXPECT_EQ(Crc32Text(0x0B40EA12), L"0B40EA12");
  EXPECT_EQ(ParseCrc32Text(L"0b40ea12"), 0x0B40EA12u);
  EXPECT_FALSE(ParseCrc32Text(L"0B40EA1"));
  EXPECT_FALSE(ParseCrc32Text(L"0B40EA1G"));
  // Four chosen bytes give other bytes any CRC32: why a CRC32 is only a candidate.
  const std::string banner(996, 'x');
  const std::string decoy = std::string(996, 'y') +
                            testing::ForgeCrc32Suffix(std::string(996, 'y'), Crc32Update(0, banner.data(), banner.size()));
  EXPECT_EQ(Crc32Update(0, decoy.data(), decoy.size()), Crc32Update(0, banner.data(), 996));
}

TEST(TechnicalListing, ReadsSizesChecksumsAndEncryption) {
  const std::wstring listing =
      L"Archive: a.rar\nDetails: RAR 5\n\n"
      L"        Name: a.bin\n        Type: File\n        Size: 3000\n Packed size: 3000\n"
      L"       CRC32: 40AA2191\n\n"
      L"        Name: t.txt\n        Type: File\n        Size: 3\n   CRC32 MAC: 52370A84\n"
      L"       Flags: encrypted \n\n"
      L"        Name: dir\n        Type: Directory\n\n";
  const std::vector<ListedEntry> entries = ParseTechnicalListing(listing);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].Size, 3000u);
  EXPECT_EQ(entries[0].Crc32, 0x40AA2191u);
  EXPECT_FALSE(entries[0].CrcIsMac || entries[0].Encrypted);
  EXPECT_TRUE(entries[1].CrcIsMac && entries[1].Encrypted);
  EXPECT_FALSE(entries[2].Size);
}

TEST(ContentScan, SizeAndCrcMakeCandidatesAndEncryptedEntriesNeedThePassword) {
  ListedEntry encrypted = File(L"enc.jpg", 3000, 0x12345678);
  encrypted.CrcIsMac = encrypted.Encrypted = true;
  ListedEntry reference{L"copy.jpg", L"File reference", L"a.jpg"};
  reference.Size = 3000;
  reference.Crc32 = 0;
  const std::vector<ListedEntry> entries = {File(L"a.jpg", 3000, 0x40AA2191), File(L"b.jpg", 3000, 0x1),
                                            File(L"c.jpg", 2999, 0x40AA2191), encrypted, reference,
                                            ListedEntry{L"dir", L"Directory"}};
  const std::vector<ContentSample> samples = {Banner(), {0, 0, kOtherSha, L"empty"}};
  const ContentScan without = ScanForContent(entries, samples, false);
  EXPECT_EQ(without.Candidates, (std::vector<ContentCandidate>{{0, {0}}}));
  EXPECT_EQ(without.NeedPassword, std::vector<std::size_t>{3});
  // With the password, the encrypted entry of the sample's size is unpacked and compared.
  const ContentScan with = ScanForContent(entries, samples, true);
  EXPECT_EQ(with.Candidates, (std::vector<ContentCandidate>{{0, {0}}, {3, {0}}}));
  EXPECT_TRUE(with.NeedPassword.empty());
}

TEST(ContentFindings, OnlyTheBytesConfirmAndReferencesFollowTheirTarget) {
  ListedEntry reference{L"sub\\copy.jpg", L"File reference", L"a.jpg"};
  const std::vector<ListedEntry> entries = {File(L"a.jpg", 3000, 0x40AA2191), File(L"decoy.jpg", 3000, 0x40AA2191),
                                            File(L"x*.jpg", 3000, 0x40AA2191), reference,
                                            File(L"gone.jpg", 3000, 0x40AA2191), File(L"keep.txt", 5, 7)};
  const std::vector<ContentSample> samples = {Banner()};
  const ContentScan scan = ScanForContent(entries, samples, false);
  ASSERT_EQ(scan.Candidates.size(), 4u);
  // a.jpg and x*.jpg hold the banner, decoy.jpg only its size and CRC32; gone.jpg was not given.
  const ContentFindings findings =
      ConcludeContent(entries, samples, scan, {kSha, kOtherSha, kSha, std::nullopt}, {L"*.txt"});
  EXPECT_EQ(findings.Matches, (std::vector<ContentMatch>{{L"a.jpg", 0}, {L"sub\\copy.jpg", 0}}));
  EXPECT_EQ(findings.NotNameable, std::vector<std::wstring>{L"x*.jpg"});
  EXPECT_EQ(findings.Unreadable, std::vector<std::wstring>{L"gone.jpg"});
  EXPECT_EQ(findings.ByName, std::vector<std::wstring>{L"keep.txt"});
  EXPECT_TRUE(findings.Overbroad.empty());
  EXPECT_EQ(ContentEntries(findings), (std::vector<std::wstring>{L"a.jpg", L"sub\\copy.jpg"}));
  EXPECT_EQ(DescribeContentProblems(findings, samples),
            L"无法读取内容，未比较：gone.jpg；无法按确切路径删除，已保留：x*.jpg");
}

TEST(ContentFindings, ASampleTakingMoreThanHalfTheArchiveIsNamed) {
  const std::vector<ListedEntry> entries = {File(L"1.jpg", 3000, 0x40AA2191), File(L"2.jpg", 3000, 0x40AA2191),
                                            File(L"3.txt", 1, 1)};
  const std::vector<ContentSample> samples = {Banner()};
  const ContentFindings findings = ConcludeContent(entries, samples, ScanForContent(entries, samples, false),
                                                   {kSha, kSha}, {});
  EXPECT_EQ(findings.Matches.size(), 2u);
  EXPECT_EQ(findings.Overbroad, std::vector<std::size_t>{0});
  EXPECT_EQ(DescribeContentProblems(findings, samples), L"样本 banner.jpg 与压缩包中超过一半的文件相同");
  ContentFindings locked;
  locked.NotCompared = {L"a", L"b", L"c", L"d"};
  EXPECT_EQ(DescribeContentProblems(locked, samples), L"无法比较：需要密码：a，b，c 等共 4 个");
}

TEST(ContentSamples, EmptyAndMalformedSamplesAreRefused) {
  EXPECT_FALSE(SampleRefusal(Banner()));
  EXPECT_TRUE(SampleRefusal({0, 0, kSha, L"a.txt"}));
  EXPECT_TRUE(SampleRefusal({5, 0, "ABC", L"a.txt"}));
  EXPECT_EQ(SampleName({5, 0, kSha, L""}), L"样本 aaaaaaaaaaaa");
  EXPECT_TRUE(HasSample({Banner()}, {3000, 0, kSha, L"other name"}));
}

TEST(JobFileSamples, KeptWithoutTheFileAndOnlyWhenThereAreSome) {
  SavedJob saved;
  saved.Job.Archives = {L"a.rar"};
  std::string plain = *WriteJobFile(saved);
  EXPECT_EQ(plain.find("samples"), std::string::npos);
  saved.Job.Samples = {Banner(), {7, 0xFFFFFFFF, kOtherSha, L""}};
  const std::string bytes = *WriteJobFile(saved);
  EXPECT_NE(bytes.find("\"crc32\": \"40AA2191\""), std::string::npos);
  EXPECT_NE(bytes.find("\"version\": 1"), std::string::npos);
  const JobFileRead read = ReadJobFile(bytes);
  ASSERT_TRUE(read.Saved) << std::string(read.Refusal.begin(), read.Refusal.end()).size();
  EXPECT_EQ(read.Saved->Job.Samples, saved.Job.Samples);
  const auto refused = [&](const std::string& from, const std::string& to) {
    std::string changed = bytes;
    changed.replace(changed.find(from), from.size(), to);
    return !ReadJobFile(changed).Saved;
  };
  EXPECT_TRUE(refused("\"size\": 3000", "\"size\": 0"));
  EXPECT_TRUE(refused("\"size\": 3000", "\"size\": -3"));
  EXPECT_TRUE(refused("40AA2191", "40AA219"));
  EXPECT_TRUE(refused(kSha, kSha.substr(1) + "A"));
  EXPECT_TRUE(refused("\"samples\": [", "\"samples\": [1,"));
}

TEST(ContentEntriesInThePlan, TheyJoinTheFirstDeleteThroughAListFile) {
  BatchJob job;
  job.RarPath = L"C:\\rar\\Rar.exe";
  job.Archives = {L"D:\\a.rar"};
  job.DeleteNames = {L"*.url", L"-r *.nfo"};
  job.Lock = true;
  RunOptions options;
  options.ContentEntries = {L"sub\\banner.jpg", L"-ad.jpg"};
  const auto listFile = [](std::size_t call) { return L"C:\\Temp\\list" + std::to_wstring(call) + L".lst"; };
  const std::vector<CallResult> calls = ArchiverCallsFor(job, 0, options, listFile);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].CommandLine, L"\"C:\\rar\\Rar.exe\" d -scfr -scfl \"D:\\a.rar\" \"@C:\\Temp\\list0.lst\"");
  EXPECT_EQ(calls[0].ListText, L"\"*.url\"\r\n\"sub\\banner.jpg\"\r\n\"-ad.jpg\"\r\n");
  EXPECT_EQ(calls[1].ListFile, L"");
  // A job that deletes no names gets a delete of its own, still the only rewrite before the add.
  job.DeleteNames.clear();
  job.AddFiles = {L"D:\\new.txt"};
  const std::vector<CallResult> alone = ArchiverCallsFor(job, 0, options, listFile);
  ASSERT_EQ(alone.size(), 2u);
  EXPECT_EQ(alone[0].Operation, ScriptOperation::Delete);
  EXPECT_EQ(alone[0].ListText, L"\"sub\\banner.jpg\"\r\n\"-ad.jpg\"\r\n");
  EXPECT_EQ(alone[1].Operation, ScriptOperation::Add);
  // Without samples found, the plan is as it always was.
  EXPECT_EQ(ArchiverCallsFor(job, 0, RunOptions{}, listFile).size(), 1u);
}

}  // namespace
}  // namespace rarbatch
