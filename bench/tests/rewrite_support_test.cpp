// The rewrite benchmark's readers: I/O counters, script lines as the interpreter passes them on, and
// the archive listings it compares.
#include "bench/rewrite_support.h"

#include <gtest/gtest.h>

#include "core/archive_plan.h"
#include "core/archiver_args.h"

namespace rarbatch::bench {
namespace {

TEST(ParseProcessIo, ReadsTheCountersItReports) {
  const auto io = ParseProcessIo(
      "rchar: 20981234\nwchar: 20001234\nsyscr: 330\nsyscw: 312\nread_bytes: 0\n"
      "write_bytes: 20004864\ncancelled_write_bytes: 4096\n");
  ASSERT_TRUE(io.has_value());
  EXPECT_EQ(io->Wchar, 20001234u);
  EXPECT_EQ(io->WriteBytes, 20004864u);
  EXPECT_EQ(io->CancelledWriteBytes, 4096u);
}

TEST(ParseProcessIo, NothingWhenACounterIsMissingOrBroken) {
  EXPECT_FALSE(ParseProcessIo(""));
  EXPECT_FALSE(ParseProcessIo("wchar: 1\nwrite_bytes: 2\n"));
  EXPECT_FALSE(ParseProcessIo("wchar: x\nwrite_bytes: 2\ncancelled_write_bytes: 0\n"));
}

struct LineCase {
  const wchar_t* line;
  const wchar_t* passedOn;
};

TEST(InterpretScriptLine, UndoesTheScriptsEscaping) {
  const LineCase cases[] = {
      {L"\"r\" d \"a\" R^&D.txt\r\n", L"\"r\" d \"a\" R&D.txt"},
      {L"\"r\" d \"a\" a^|b^<c^>d^^e", L"\"r\" d \"a\" a|b<c>d^e"},
      {L"\"r\" a \"D:\\a&b\\x^y.rar\" \"f\"", L"\"r\" a \"D:\\a&b\\x^y.rar\" \"f\""},
      {L"\"r\" d \"a\" 50%% \"1%%\"", L"\"r\" d \"a\" 50% \"1%\""},
      {L"\"r\" a \"-pa\"\"b&\"\"%%\" \"a\"", L"\"r\" a \"-pa\"\"b&\"\"%\" \"a\""},
  };
  for (const LineCase& c : cases) EXPECT_EQ(InterpretScriptLine(c.line), c.passedOn) << c.line;
}

// The benchmark renders the script's calls with RunCommandLine; this is the same claim for a job whose
// pieces the script must escape.
TEST(InterpretScriptLine, ScriptLinesSplitLikeTheProgramsLines) {
  BatchJob job;
  job.RarPath = L"C:\\Program Files\\WinRAR\\Rar.exe";
  job.Archives = {L"D:\\100% & more\\a^b.rar"};
  job.DeleteNames = {L"R&D.txt", L"\"two words.txt\" x|y"};
  job.AddFiles = {L"E:\\new (1)\\f%1.txt"};
  job.CommentFile = L"E:\\c&c.txt";
  job.Lock = true;
  job.UsePassword = true;
  job.Password = L"p \"q\"&%";
  const ScriptWriter writer(job);
  for (const PlannedCall& call : ScriptPlan(job)) {
    std::wstring line;
    writer.Append(line, call, 0);
    EXPECT_EQ(SplitArchiverArguments(InterpretScriptLine(line)),
              SplitArchiverArguments(RunCommandLine(job, call, 0)))
        << line;
  }
}

TEST(ComparableEntries, AddedFilesByBaseNameAndSorted) {
  const std::vector<std::string> added = {"new_00.dat", "new_01.dat"};
  const std::string script = "bulk.bin\nold_03.dat\ntmp/x/add/new_00.dat\ntmp/x/add/new_01.dat\n";
  const std::string plan = "new_01.dat\r\nbulk.bin\r\nnew_00.dat\r\nold_03.dat\r\n";
  EXPECT_EQ(ComparableEntries(script, added), ComparableEntries(plan, added));
  EXPECT_EQ(ComparableEntries(plan, added),
            (std::vector<std::string>{"bulk.bin", "new_00.dat", "new_01.dat", "old_03.dat"}));
  EXPECT_NE(ComparableEntries("bulk.bin\nsub/old_03.dat\n", added), ComparableEntries("bulk.bin\nold_03.dat\n", added))
      << "only added files lose their folder";
  EXPECT_EQ(AddedEntries(script, added), (std::vector<std::string>{"tmp/x/add/new_00.dat", "tmp/x/add/new_01.dat"}));
}

TEST(ParseArchiveListing, CommentLockAndEncryptedEntries) {
  const std::string listing =
      "\nRAR 7.01   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024\n"
      "Trial version             Type 'rar -?' for help\n\n"
      "Archive comment:\nfirst line\nsecond line\n\n\n"
      "Archive: /tmp/v.rar\nDetails: RAR 5, lock\n\n"
      " Attributes      Size     Date    Time   Name\n"
      "----------- ---------  ---------- -----  ----\n"
      " -rw-r--r--   2000000  2026-12-08 11:04  bulk.bin\n"
      "*-rw-r--r--         4  2026-12-08 11:04  new_0.txt\n"
      "*-rw-r--r--         4  2026-12-08 11:04  new_1.txt\n"
      "----------- ---------  ---------- -----  ----\n"
      "              2000008                    3\n";
  const ArchiveListing parsed = ParseArchiveListing(listing);
  EXPECT_EQ(parsed.Comment, "first line\nsecond line");
  EXPECT_TRUE(parsed.Locked);
  EXPECT_EQ(parsed.EncryptedEntries, 2);

  const ArchiveListing plain = ParseArchiveListing(
      "Archive: a.rar\nDetails: RAR 5\n----------- -\n -rw-r--r-- 1 x\n----------- -\n");
  EXPECT_EQ(plain.Comment, "");
  EXPECT_FALSE(plain.Locked);
  EXPECT_EQ(plain.EncryptedEntries, 0);
  EXPECT_FALSE(ParseArchiveListing("Archive: a.rar\nDetails: RAR 5, solid, locked names\n").Locked);
}

TEST(WithThousands, GroupsDigits) {
  EXPECT_EQ(WithThousands(0), "0");
  EXPECT_EQ(WithThousands(999), "999");
  EXPECT_EQ(WithThousands(1000), "1,000");
  EXPECT_EQ(WithThousands(8400123456ull), "8,400,123,456");
}

TEST(ToUtf8, EncodesEveryLength) {
  EXPECT_EQ(ToUtf8(L"a/b"), "a/b");
  EXPECT_EQ(ToUtf8(L"\u00e9\u538b\U0001F600"), "\xc3\xa9\xe5\x8e\x8b\xf0\x9f\x98\x80");
}

}  // namespace
}  // namespace rarbatch::bench
