// The run's backups and checks: the common root of the archives, the manifest, the space a run
// needs, SHA-256, and the plan of calls with the test before the lock.
#include "core/backup_plan.h"

#include <gtest/gtest.h>

#include "core/archive_plan.h"
#include "core/archiver_calls.h"
#include "core/tests/job_shape.h"

namespace rarbatch {
namespace {

TEST(CommonRoot, IsTheDeepestSharedFolder) {
  struct Case {
    std::vector<std::wstring> Paths;
    std::wstring Root;
  };
  const Case cases[] = {
      {{}, L""},
      {{L"C:\\a\\x.rar"}, L"C:\\a\\"},
      {{L"C:\\a\\b\\x.rar", L"C:\\a\\c\\y.rar"}, L"C:\\a\\"},
      {{L"C:\\a\\b\\x.rar", L"c:\\A\\B\\y.rar"}, L"C:\\a\\b\\"},
      // a folder name that only begins like another is not that folder
      {{L"C:\\ab\\x.rar", L"C:\\abc\\y.rar"}, L"C:\\"},
      {{L"C:\\x.rar", L"C:\\a\\y.rar"}, L"C:\\"},
      {{L"C:\\a\\x.rar", L"D:\\a\\x.rar"}, L""},
      {{L"\\\\srv\\share\\a\\x.rar", L"\\\\srv\\share\\b\\y.rar"}, L"\\\\srv\\share\\"},
      {{L"\\\\srv\\one\\x.rar", L"\\\\srv\\two\\x.rar"}, L""},
      {{L"C:\\素材\\一\\x.rar", L"C:\\素材\\二\\x.rar"}, L"C:\\素材\\"},
      {{L"relative\\x.rar"}, L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CommonRoot(c.Paths), c.Root) << (c.Paths.empty() ? L"" : c.Paths.front());
  }
}

// The caller's fold decides letter case beyond A to Z (the file system's rule, from the layer above).
TEST(CommonRoot, TakesTheCallersCaseFold) {
  const PathCaseFold fold = [](const std::wstring& text) {
    std::wstring folded = text;
    for (wchar_t& c : folded) c = c == L'ä' ? L'Ä' : c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c;
    return folded;
  };
  const std::vector<std::wstring> paths{L"C:\\Ärger\\a\\x.rar", L"c:\\ärger\\A\\y.rar"};
  EXPECT_EQ(CommonRoot(paths), L"C:\\") << "A to Z alone without a fold";
  EXPECT_EQ(CommonRoot(paths, fold), L"C:\\Ärger\\a\\");
  EXPECT_EQ(PathBelowRoot(L"c:\\ärger\\A\\y.rar", L"C:\\Ärger\\a\\", fold), L"y.rar");
}

TEST(PathBelowRoot, KeepsThePathUnderTheRootOrTheWholePathWithout) {
  EXPECT_EQ(PathBelowRoot(L"C:\\a\\b\\x.rar", L"C:\\a\\"), L"b\\x.rar");
  EXPECT_EQ(PathBelowRoot(L"c:\\A\\x.rar", L"C:\\a\\"), L"x.rar");
  EXPECT_EQ(PathBelowRoot(L"D:\\素材\\x.rar", L""), L"D\\素材\\x.rar");
  EXPECT_EQ(PathBelowRoot(L"\\\\srv\\share\\x.rar", L""), L"srv\\share\\x.rar");
}

TEST(Manifest, LinesReadBackAndUnsafeOnesAreRefused) {
  const BackupRecord record{L"2026-12-08 11:35:43", std::string(64, 'a'), 12345, 133000000000000000ull,
                            133000000000000001ull, L"素材\\x y.rar", L"D:\\素材\\x y.rar", {}};
  const std::wstring header = std::wstring(kManifestHeader) + L"\r\n";
  std::size_t bad = 99;
  auto read = ParseManifest(header + FormatManifestLine(record) + FormatManifestLine(record), &bad);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, (std::vector<BackupRecord>{record, record}));
  ASSERT_TRUE(ParseManifest(header, &bad));
  EXPECT_TRUE(ParseManifest(header, &bad)->empty());

  struct Case {
    const wchar_t* What;
    std::wstring Text;
    std::size_t BadLine;
  };
  auto with = [&](auto change) {
    BackupRecord r = record;
    change(r);
    return header + FormatManifestLine(r);
  };
  const Case cases[] = {
      {L"no header", FormatManifestLine(record), 1},
      {L"empty", L"", 1},
      {L"climbs out", with([](BackupRecord& r) { r.Copy = L"..\\..\\Windows\\x.rar"; }), 2},
      {L"climbs inside", with([](BackupRecord& r) { r.Copy = L"a\\..\\..\\x.rar"; }), 2},
      {L"absolute copy", with([](BackupRecord& r) { r.Copy = L"C:\\x.rar"; }), 2},
      {L"rooted copy", with([](BackupRecord& r) { r.Copy = L"\\x.rar"; }), 2},
      {L"relative archive", with([](BackupRecord& r) { r.Archive = L"x.rar"; }), 2},
      {L"short digest", with([](BackupRecord& r) { r.Sha256 = "abc"; }), 2},
      {L"upper-case digest", with([](BackupRecord& r) { r.Sha256 = std::string(64, 'A'); }), 2},
      {L"few fields", header + L"a\tb\r\n", 2},
      {L"size not a number", header + L"t\t" + std::wstring(64, L'0') + L"\t1x\t0\t0\ta.rar\tC:\\a.rar\r\n", 2},
      {L"size too large", header + L"t\t" + std::wstring(64, L'0') + L"\t99999999999999999999\t0\t0\ta.rar\tC:\\a.rar\r\n", 2},
  };
  for (const Case& c : cases) {
    bad = 0;
    EXPECT_FALSE(ParseManifest(c.Text, &bad)) << c.What;
    EXPECT_EQ(bad, c.BadLine) << c.What;
  }
}

// An append cut short leaves a last line without its end: the records before it still count. The
// run's "after" lines say what it left of each archive; the last one of an archive counts.
TEST(Manifest, ATornLastLineLosesOnlyItselfAndAfterLinesTellWhatTheRunLeft) {
  const BackupRecord record{L"2026-12-08 11:35:43", std::string(64, 'a'), 12345, 1, 2, L"x.rar", L"D:\\素材\\x.rar", {}};
  const BackupRecord other{L"2026-12-08 11:35:44", std::string(64, 'b'), 7, 1, 2, L"y.rar", L"D:\\素材\\y.rar", {}};
  const std::wstring header = std::wstring(kManifestHeader) + L"\r\n";
  const std::wstring whole = header + FormatManifestLine(record) + FormatManifestLine(other);
  std::size_t bad = 99;
  bool torn = true;
  for (std::size_t cut = 1; cut < FormatManifestLine(other).size(); ++cut) {
    const std::wstring text = header + FormatManifestLine(record) + FormatManifestLine(other).substr(0, cut);
    const auto read = ParseManifest(text, &bad, &torn);
    ASSERT_TRUE(read) << cut << " characters of the last line";
    EXPECT_EQ(*read, std::vector<BackupRecord>{record}) << cut;
    EXPECT_TRUE(torn) << cut;
  }
  ASSERT_TRUE(ParseManifest(whole, &bad, &torn));
  EXPECT_FALSE(torn);
  // A broken line that is not the last is damage, not a torn append.
  EXPECT_FALSE(ParseManifest(header + L"2026-12-08\r\n" + FormatManifestLine(record), &bad));
  EXPECT_EQ(bad, 2u);

  const AfterRun left{false, std::string(64, 'c'), 99};
  const std::wstring withAfter = whole + FormatAfterLine(L"d:\\素材\\X.RAR", {false, std::string(64, 'f'), 1}) +
                                 FormatAfterLine(L"D:\\素材\\x.rar", left) + FormatAfterLine(other.Archive, {true, "", 0});
  const auto read = ParseManifest(withAfter, &bad, &torn);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), 2u);
  EXPECT_EQ((*read)[0].After, left) << "the last line of the archive, its path in any case of A to Z";
  EXPECT_EQ((*read)[1].After, (AfterRun{true, "", 0}));
  EXPECT_EQ(FormatAfterLine(other.Archive, {true, "", 0}), L"after\tgone\t0\tD:\\素材\\y.rar\r\n");
  for (const wchar_t* line : {L"after\tgone\t0\tx.rar\r\n", L"after\tabc\t0\tC:\\x.rar\r\n", L"after\tgone\tC:\\x.rar\r\n"}) {
    EXPECT_FALSE(ParseManifest(whole + line, &bad)) << line;
  }
}

TEST(SpaceNeeded, RoomForEachWorkersCopyAndForTheBackups) {
  using Needs = std::map<std::wstring, std::uint64_t>;
  const std::vector<ArchiveOnVolume> archives = {
      {L"C:\\", 100}, {L"c:\\", 300}, {L"C:\\", 200}, {L"D:\\", 50}};
  // Two workers: the two largest copies cannot both be the largest, but the plan counts on it.
  EXPECT_EQ(SpaceNeeded(archives, 0, L"", 2), (Needs{{L"C:\\", 600}, {L"D:\\", 50}}));
  EXPECT_EQ(SpaceNeeded(archives, 10, L"", 4), (Needs{{L"C:\\", 930}, {L"D:\\", 60}}));
  EXPECT_EQ(SpaceNeeded(archives, 0, L"d:\\", 1), (Needs{{L"C:\\", 300}, {L"D:\\", 700}}));
  EXPECT_EQ(SpaceNeeded(archives, 0, L"E:\\", 0), (Needs{{L"C:\\", 300}, {L"D:\\", 50}, {L"E:\\", 650}}));
  EXPECT_TRUE(SpaceNeeded({}, 0, L"", 2).empty());
}

// A plan as letters and switches: "d -tk | a -k".
std::wstring Describe(const ArchivePlan& plan) {
  std::wstring text;
  for (const PlannedCall& call : plan) {
    if (!text.empty()) text += L" | ";
    text += call.Command == ScriptOperation::Delete ? L"d"
            : call.Command == ScriptOperation::Add  ? L"a"
            : call.Command == ScriptOperation::Comment ? L"c"
            : call.Command == ScriptOperation::Lock ? L"k" : L"t";
    if (call.Password != PasswordSource::None) text += L" -p";
    if (call.Comment) text += L" -z";
    if (call.Lock && call.Command != ScriptOperation::Lock) text += L" -k";
    if (call.KeepTimes) text += L" -tk";
  }
  return text;
}

TEST(RunPlan, TheTestComesBeforeTheLockAndTheCommentGoesWithTheLock) {
  struct Case {
    bool Delete, Add, Comment, Lock, Password, Test, KeepTimes;
    const wchar_t* Plan;
  };
  const Case cases[] = {
      // without a test, as before
      {true, true, true, true, false, false, false, L"d | a -z -k"},
      {false, false, true, true, false, false, false, L"c -z -k"},
      // the lock and the comment wait for the test
      {true, true, true, true, false, true, false, L"d | a | t | c -z -k"},
      {true, false, false, true, false, true, false, L"d | t | k"},
      {false, true, false, true, true, true, false, L"a -p | t -p | k"},
      {false, false, true, true, false, true, false, L"t | c -z -k"},
      {false, false, false, true, false, true, false, L"t | k"},
      // no lock: the comment stays on the last change, the test ends the plan
      {true, true, true, false, false, true, false, L"d | a -z | t"},
      {false, false, true, false, false, true, false, L"c -z | t"},
      {true, false, false, false, false, true, false, L"d | t"},
      {false, false, false, false, false, true, false, L"t"},
      // -tk on every call
      {true, true, true, true, false, true, true, L"d -tk | a -tk | t -tk | c -z -k -tk"},
      {false, false, true, true, false, false, true, L"c -z -k -tk"},
  };
  for (const Case& c : cases) {
    const BatchJob job = testing_jobs::ShapedJob({.Delete = c.Delete, .Add = c.Add, .Comment = c.Comment,
                                                  .Lock = c.Lock, .KeepTimes = c.KeepTimes, .Test = c.Test,
                                                  .Password = c.Password});
    EXPECT_EQ(Describe(RunPlan(job, RunOptions{})), c.Plan) << c.Plan;
  }
}

TEST(RunPlan, TheTestCallIsRenderedAndNamed) {
  BatchJob job;
  job.RarPath = L"C:\\Rar.exe";
  job.Archives = {L"D:\\x y.rar"};
  job.Lock = true;
  job.TestBeforeLock = true;
  job.KeepTimes = true;
  const std::vector<CallResult> calls = ArchiverCallsFor(job, 0, RunOptions{});
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].CommandLine, L"\"C:\\Rar.exe\" t -tk -scfr \"D:\\x y.rar\"");
  EXPECT_EQ(calls[1].CommandLine, L"\"C:\\Rar.exe\" k -tk -scfr \"D:\\x y.rar\"");
  EXPECT_STREQ(OperationName(ScriptOperation::Test), L"测试");
  // The script neither tests nor keeps times: its text stays as it was.
  BatchJob plain = job;
  plain.TestBeforeLock = plain.KeepTimes = plain.Backup = false;
  EXPECT_EQ(ComposeBatchScript(job), ComposeBatchScript(plain));
}

}  // namespace
}  // namespace rarbatch
