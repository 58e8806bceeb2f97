// Reading the archiver's technical listing, and which references a delete would leave without their
// target.
#include "core/file_references.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rarbatch {
namespace {

// As RAR 7.01 writes it for an archive made with -oi (a second identical file stored as a reference),
// the banner and the headings included; the name with spaces and a colon is read whole.
const wchar_t kListing[] =
    L"\r\nRAR 7.01   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024\r\n"
    L"Trial version             Type 'rar -?' for help\r\n\r\n"
    L"Archive: D:\\漫画\\卷一.rar\r\nDetails: RAR 5\r\n\r\n"
    L"        Name: sub\\a.bin\r\n        Type: File\r\n        Size: 200000\r\n"
    L"       mtime: 2026-12-08 23:22:35,221298843\r\n     Host OS: Windows\r\n"
    L" Compression: RAR 5.0(v50) -m0 -md=256k\r\n\r\n"
    L"        Name: b c: 副本.bin\r\n        Type: File reference\r\n      Target: sub\\a.bin\r\n"
    L"        Size: 200000\r\n Packed size: 0\r\n\r\n"
    L"        Name: h2\r\n        Type: Hard link\r\n      Target: h1\r\n\r\n"
    L"        Name: ln\r\n        Type: Symbolic link\r\n      Target: sub\\a.bin\r\n\r\n"
    L"        Name: sub\r\n        Type: Directory\r\n\r\n";

TEST(TechnicalListing, ReadsEachEntryWithItsTypeAndTarget) {
  const std::vector<ListedEntry> expected = {
      {L"sub\\a.bin", L"File", L"", 200000},
      {L"b c: 副本.bin", L"File reference", L"sub\\a.bin", 200000},
      {L"h2", L"Hard link", L"h1"},
      {L"ln", L"Symbolic link", L"sub\\a.bin"},
      {L"sub", L"Directory", L""},
  };
  EXPECT_EQ(ParseTechnicalListing(kListing), expected);
  // LF line ends, as the archiver writes them on Linux, read alike.
  std::wstring lf = kListing;
  for (std::size_t at; (at = lf.find(L"\r\n")) != std::wstring::npos;) lf.erase(at, 1);
  EXPECT_EQ(ParseTechnicalListing(lf), expected);
}

TEST(TechnicalListing, LinesOutsideAnEntryNeverMakeOne) {
  // A comment shown at the left edge, keys before any Name, and a Target after a blank line belong
  // to no entry.
  EXPECT_TRUE(ParseTechnicalListing(L"Name: x\nType: File reference\nTarget: y\n").empty());
  EXPECT_EQ(ParseTechnicalListing(L"      Target: y\n        Name: x\n        Type: File\n\n      Target: z\n"),
            (std::vector<ListedEntry>{{L"x", L"File", L""}}));
  EXPECT_TRUE(ParseTechnicalListing(L"").empty());
  EXPECT_TRUE(ParseTechnicalListing(L"        Name:\n        Name: \n        Type: File reference\n").empty());
}

TEST(TechnicalListing, OnlyReferencesAndHardLinksNeedTheirTargetInTheArchive) {
  EXPECT_TRUE(NeedsTargetInArchive({L"a", L"File reference", L"b"}));
  EXPECT_TRUE(NeedsTargetInArchive({L"a", L"Hard link", L"b"}));
  EXPECT_FALSE(NeedsTargetInArchive({L"a", L"Symbolic link", L"b"}));
  EXPECT_FALSE(NeedsTargetInArchive({L"a", L"File", L""}));
  EXPECT_FALSE(NeedsTargetInArchive({L"a", L"File reference", L""}));
}

struct ReferenceRow {
  const char* Name;
  std::vector<std::wstring> DeleteNames;
  std::vector<BrokenReference> Broken;
};

void PrintTo(const ReferenceRow& row, std::ostream* out) { *out << row.Name; }

class BrokenReferences : public testing::TestWithParam<ReferenceRow> {};

TEST_P(BrokenReferences, AreThoseWhoseTargetGoesAndWhoStay) {
  // a.bin, with the reference ad.jpg to it; sub\b.bin with the hard link sub\c.bin; a symbolic link
  // whose target is a path on the disk; and a reference whose target is no longer in the archive.
  const std::vector<ListedEntry> entries = {
      {L"a.bin", L"File", L""},           {L"ad.jpg", L"File reference", L"a.bin"},
      {L"sub", L"Directory", L""},        {L"sub\\b.bin", L"File", L""},
      {L"sub\\c.bin", L"Hard link", L"sub/b.bin"}, {L"ln", L"Symbolic link", L"a.bin"},
      {L"lost.jpg", L"File reference", L"gone.bin"},
  };
  EXPECT_EQ(ReferencesLeftWithoutTarget(entries, GetParam().DeleteNames), GetParam().Broken);
}

const ReferenceRow kReferenceRows[] = {
    {"TheTargetAloneBreaksItsReference", {L"a.bin"}, {{L"ad.jpg", L"a.bin"}}},
    {"LetterCaseIsIgnored", {L"A.BIN"}, {{L"ad.jpg", L"a.bin"}}},
    {"TheTargetWithItsReferenceIsSound", {L"a.bin", L"ad.jpg"}, {}},
    {"AWildcardTakingBothIsSound", {L"a*"}, {}},
    {"TheReferenceAloneIsSound", {L"ad.jpg"}, {}},
    // "*.bin" takes sub\c.bin with its target, but a.bin without ad.jpg.
    {"AWildcardTakingTheTargetOnly", {L"*.bin"}, {{L"ad.jpg", L"a.bin"}}},
    {"AFolderTakesAHardLinkWithItsTarget", {L"sub"}, {}},
    {"AHardLinkTargetInAFolder", {L"sub\\b.bin"}, {{L"sub\\c.bin", L"sub/b.bin"}}},
    {"ASymbolicLinkIsNoReference", {L"a.bin", L"ad.jpg"}, {}},
    {"NothingDeletedNothingBroken", {}, {}},
    {"EverythingDeletedNothingBroken", {L"*.*"}, {}},
};

INSTANTIATE_TEST_SUITE_P(Deletes, BrokenReferences, testing::ValuesIn(kReferenceRows),
                         [](const testing::TestParamInfo<ReferenceRow>& info) { return std::string(info.param.Name); });

TEST(BrokenReferencesText, NamesTheFirstFewAndCountsTheRest) {
  EXPECT_EQ(DescribeBrokenReferences({{L"ad.jpg", L"a.bin"}}), L"删除会使文件引用无法解压：ad.jpg → a.bin");
  const std::vector<BrokenReference> many(5, {L"r", L"t"});
  EXPECT_EQ(DescribeBrokenReferences(many), L"删除会使文件引用无法解压：r → t；r → t；r → t；等共 5 个");
}

TEST(ReferenceListingCall, NeverAsksForAPasswordUnlessItHasOne) {
  BatchJob job;
  job.RarPath = L"C:\\Program Files\\WinRAR\\Rar.exe";
  job.Archives = {L"D:\\漫画\\卷 一.rar"};
  job.Password = L"密码";
  CallResult plain = ReferenceListingCall(job, 0, RunOptions{}, false);
  EXPECT_EQ(plain.CommandLine, L"\"C:\\Program Files\\WinRAR\\Rar.exe\" lt -c- -p- -scfr \"D:\\漫画\\卷 一.rar\"");
  EXPECT_FALSE(plain.PasswordOnInput);
  EXPECT_TRUE(plain.Utf8Output);

  const CallResult onInput = ReferenceListingCall(job, 0, RunOptions{}, true);
  EXPECT_EQ(onInput.CommandLine, L"\"C:\\Program Files\\WinRAR\\Rar.exe\" lt -c- -p -scfr \"D:\\漫画\\卷 一.rar\"");
  EXPECT_TRUE(onInput.PasswordOnInput);

  RunOptions old;
  old.Password = PasswordSource::CommandLine;
  old.Utf8Output = false;
  const CallResult onLine = ReferenceListingCall(job, 0, old, true);
  EXPECT_EQ(onLine.CommandLine, L"\"C:\\Program Files\\WinRAR\\Rar.exe\" lt -c- -p*** \"D:\\漫画\\卷 一.rar\"");
  EXPECT_EQ(onLine.CommandLine.substr(onLine.PasswordAt, 5), L"-p***");
  EXPECT_FALSE(onLine.PasswordOnInput);
}

TEST(ReferenceListingCall, ItsOutcomeSaysWhetherTheListingCanBeTrusted) {
  CallResult call;
  call.Outcome = CallOutcome::Exited;
  call.Output = kListing;
  ListingRead read = ReadReferenceListing(call);
  EXPECT_TRUE(read.Read);
  EXPECT_EQ(read.Entries.size(), 5u);

  call.Output += L"\r\n……（省略 12 字节）……\r\n";
  read = ReadReferenceListing(call);
  EXPECT_FALSE(read.Read);
  EXPECT_TRUE(read.CutShort);

  call.Output = kListing;
  call.ExitCode = 11;
  read = ReadReferenceListing(call);
  EXPECT_FALSE(read.Read);
  EXPECT_FALSE(read.CutShort);
  EXPECT_NE(read.Problem.find(L"(11)"), std::wstring::npos);

  // An archiver that speaks another language: its blocks are there, but none opens with "Name: ", so
  // the listing is not taken for an archive without entries.
  call.ExitCode = 0;
  call.Output = kListing;
  for (std::size_t at; (at = call.Output.find(L" Name: ")) != std::wstring::npos;) {
    call.Output.replace(at, 7, L" 名称: ");
  }
  read = ReadReferenceListing(call);
  EXPECT_FALSE(read.Read);
  EXPECT_FALSE(read.CutShort);
  EXPECT_EQ(read.Problem, L"无法读懂压缩程序的列表（需要英文版的压缩程序）");
  // An empty archive lists no blocks at all, and is read.
  call.Output = L"\r\nArchive: empty.rar\r\nDetails: RAR 5\r\n\r\n";
  EXPECT_TRUE(ReadReferenceListing(call).Read);

  call.Outcome = CallOutcome::StartFailed;
  call.Output = L"系统找不到指定的文件。";
  EXPECT_EQ(ReadReferenceListing(call).Problem, L"无法启动压缩程序：系统找不到指定的文件。");
}

}  // namespace
}  // namespace rarbatch
