// The stand-in archiver, started with raw command lines: how it splits them, what its commands do
// to an archive, and the exit codes it gives.
#include <gtest/gtest.h>

#include <algorithm>

#include "tools/test_support.h"

namespace rarbatch::testing {

void PrintTo(const FakeEntry& e, std::ostream* os) {
  *os << ::testing::PrintToString(e.Name) << " under " << ::testing::PrintToString(e.Password);
}

namespace {

using Strings = std::vector<std::wstring>;
using Entries = std::vector<FakeEntry>;

Entries Sorted(Entries entries) {
  std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.Name < b.Name; });
  return entries;
}

class FakeRar : public ::testing::Test {
 protected:
  // Starts the stand-in in the scratch folder with `line` as its whole command line. Wine on a loaded
  // machine now and then fails to start a process at the first try: it is tried again.
  HANDLE Start(const std::wstring& line) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    bool started = false;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
      if (attempt) Sleep(500);
      std::wstring buffer = line;
      started = CreateProcessW(rar_.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               dir_.Path().c_str(), &startup, &info) != FALSE;
    }
    if (!started) return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
  }
  DWORD RunLine(const std::wstring& line) {
    HANDLE process = Start(line);
    DWORD code = 0xDEAD;
    if (process && WaitForExit(process)) GetExitCodeProcess(process, &code);
    if (process) CloseHandle(process);
    return code;
  }
  DWORD Run(const std::wstring& arguments) { return RunLine(L"rar " + arguments); }
  std::wstring At(const std::wstring& name) const { return dir_.Path() + name; }
  bool Missing(const std::wstring& name) const {
    return GetFileAttributesW(At(name).c_str()) == INVALID_FILE_ATTRIBUTES;
  }

  ScratchFolder dir_;
  const std::wstring rar_ = InstallFakeRar(dir_.Path());
};

TEST_F(FakeRar, SplitsTheCommandLineItselfAndLogsEveryCall) {
  const struct { const wchar_t* line; Strings args; } cases[] = {
      {LR"(rar d "my arc.rar" 压缩 包.txt)", {L"d", L"my arc.rar", L"压缩", L"包.txt"}},
      {LR"("C:\my dir\rar.exe" k x)", {L"k", L"x"}},
      {LR"(r"a r"x d x ")", {L"d", L"x", L""}},
      {LR"(rar d "-pmy pass\" x.rar)", {L"d", LR"(-pmy pass\)", L"x.rar"}},
      {LR"(rar d -p"a""b" x)", {L"d", LR"(-pa"b)", L"x"}},
      {LR"(rar d x ""quoted"" "in ""side"" q" """)",
       {L"d", L"x", LR"("quoted")", LR"(in "side" q)", L"\""}},
      {LR"(rar d x C:\dir\ "C:\dir\\" a\"b c")",
       {L"d", L"x", LR"(C:\dir\)", LR"(C:\dir\\)", LR"(a\b c)"}},
      {L"\t rar\td \t x\t\"a\tb\" a\"b\"c  ", {L"d", L"x", L"a\tb", L"abc"}},
  };
  std::size_t count = 0;
  for (const auto& c : cases) {
    // The archive x is missing: 6 for d, 10 for k.
    EXPECT_EQ(RunLine(c.line), c.args[0] == L"k" ? 10u : 6u) << c.line;
    const auto calls = ReadRecordedCalls(dir_.Path());
    ASSERT_EQ(calls.size(), ++count) << c.line;
    EXPECT_EQ(calls.back(), c.args) << c.line;
  }
}

TEST_F(FakeRar, DeleteMatchesNamesAndWildcardsWithoutRegardToCase) {
  const std::wstring arc = At(L"arc.rar");
  ASSERT_TRUE(WriteFakeArchive(arc, {true, false, L"", {{L"Readme.TXT", L""}, {L"a.bak", L"pw"},
                                     {L"dir\\b.BAK", L""}, {L"keep.doc", L""}, {L"x1.txt", L""},
                                     {L"Makefile", L""}}, false, false, L""}));
  EXPECT_EQ(Run(L"d arc.rar *.bak README.txt ?1.TXT"), 0u);
  EXPECT_EQ(ReadFakeArchive(arc).Entries, (Entries{{L"keep.doc", L""}, {L"Makefile", L""}}));
  EXPECT_EQ(Run(L"d arc.rar"), 0u) << "*.* is implied and matches a name without a dot";
  EXPECT_EQ(ReadFakeArchive(arc).Entries, Entries{});
}

TEST_F(FakeRar, AddTakesThePasswordAndFolders) {
  ASSERT_TRUE(CreateDirectoryW(At(L"dir").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(At(L"dir\\sub").c_str(), nullptr));
  for (const wchar_t* name : {L"f.txt", L"dir\\x.txt", L"dir\\sub\\y.txt"}) {
    ASSERT_TRUE(WriteFileBytes(At(name), "x"));
  }
  const std::wstring arc = At(L"arc.rar");
  EXPECT_EQ(Run(L"a -ep1 \"-pp w\\\" arc.rar f.txt \"" + At(L"dir") + L"\""), 0u);
  const std::wstring pw = L"p w\\";
  EXPECT_EQ(Sorted(ReadFakeArchive(arc).Entries),
            (Entries{{L"dir\\sub\\y.txt", pw}, {L"dir\\x.txt", pw}, {L"f.txt", pw}}));
  EXPECT_EQ(Run(L"a arc.rar F.TXT dir\\"), 0u) << "replaces the entries, now without a password";
  EXPECT_EQ(Sorted(ReadFakeArchive(arc).Entries),
            (Entries{{L"F.TXT", L""}, {L"dir\\sub\\y.txt", L""}, {L"dir\\x.txt", L""}}));

  EXPECT_EQ(Run(L"a all.rar"), 0u) << "the files of the current folder, but not the archive";
  Strings names;
  for (const auto& e : ReadFakeArchive(At(L"all.rar")).Entries) names.push_back(e.Name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Strings{L"Rar.exe", L"arc.rar", L"args.log", L"f.txt"}));
}

// -oi stores a file identical to one added before it as a reference (64 KB and more); d of the
// target keeps the reference, whose x then fails, as the archiver's does.
TEST_F(FakeRar, IdenticalFilesBecomeReferencesThatNeedTheirTarget) {
  const std::string big(70000, 'b');
  ASSERT_TRUE(WriteFileBytes(At(L"a.bin"), big) && WriteFileBytes(At(L"ad.jpg"), big));
  ASSERT_TRUE(WriteFileBytes(At(L"s1.txt"), "same") && WriteFileBytes(At(L"s2.txt"), "same"));
  EXPECT_EQ(Run(L"a -ep1 -oi arc.rar a.bin ad.jpg s1.txt s2.txt"), 0u);
  EXPECT_EQ(ReadFakeArchive(At(L"arc.rar")).Entries,
            (Entries{{L"a.bin", L""}, {L"ad.jpg", L"", L"a.bin"}, {L"s1.txt", L""}, {L"s2.txt", L""}}));
  EXPECT_EQ(Run(L"x -o+ arc.rar"), 0u);
  EXPECT_EQ(Run(L"d arc.rar a.bin"), 0u);
  EXPECT_EQ(ReadFakeArchive(At(L"arc.rar")).Entries.front(), (FakeEntry{L"ad.jpg", L"", L"a.bin"}));
  EXPECT_EQ(Run(L"t arc.rar"), 0u);
  EXPECT_EQ(Run(L"x -o+ arc.rar"), 6u);
  EXPECT_EQ(Run(L"a -ep1 arc.rar a.bin"), 0u) << "without -oi a file is stored as one";
  EXPECT_EQ(Run(L"x -o+ arc.rar"), 0u);
}

TEST_F(FakeRar, CommentAndLock) {
  const std::wstring arc = At(L"arc.rar");
  ASSERT_TRUE(WriteFakeArchive(arc, {true, false, L"old", {{L"f.txt", L"pw"}}, false, false, L""}));
  ASSERT_TRUE(WriteFileBytes(At(L"c.txt"), "\xEF\xBB\xBF注释\r\nline\t2\\"));
  EXPECT_EQ(Run(L"c arc.rar -zc.txt"), 0u);
  EXPECT_EQ(Run(L"k arc.rar"), 0u);
  const FakeArchive locked = ReadFakeArchive(arc);
  EXPECT_TRUE(locked.Locked);
  EXPECT_EQ(locked.Comment, L"注释\r\nline\t2\\");
  EXPECT_EQ(locked.Entries, (Entries{{L"f.txt", L"pw"}}));

  const std::string bytes = ReadFileBytes(arc);
  for (const wchar_t* arguments :
       {L"d arc.rar *", L"a arc.rar c.txt", L"c -zc.txt arc.rar", L"k arc.rar"}) {
    EXPECT_EQ(Run(arguments), 4u) << arguments;
  }
  EXPECT_EQ(ReadFileBytes(arc), bytes);
}

TEST_F(FakeRar, RefusedCallsAreLoggedAndChangeNothing) {
  ASSERT_TRUE(WriteFakeArchive(At(L"arc.rar"), {true, false, L"", {{L"x", L""}}, false, false, L""}));
  ASSERT_TRUE(WriteFakeArchive(At(L"forced.rar"), {true, false, L"", {{L"x", L""}}, false, false, L""}));
  ASSERT_TRUE(WriteFileBytes(At(L"c.txt"), "comment"));
  ASSERT_TRUE(WriteFileBytes(At(L"text.rar"), "not an archive"));
  ASSERT_TRUE(ForceExitCode(At(L"forced.rar"), 3));
  ASSERT_TRUE(ForceExitCode(At(L"none.rar"), 11));
  const struct { const wchar_t* arguments; DWORD code; } cases[] = {
      {L"k forced.rar", 3}, {L"k none.rar", 11},
      {L"d gone.rar x", 6}, {L"c -zc.txt gone.rar", 10}, {L"k gone.rar", 10},
      {L"c -zmissing.txt arc.rar", 6}, {L"a nofolder\\gone.rar c.txt", 9},
      {L"a gone.rar missing.txt", 10},
      {L"a arc.rar c.txt\\", 10}, {L"d arc.rar ?.txt y*", 10},
      {L"k -r arc.rar", 7}, {L"e arc.rar", 7}, {L"k", 7},
      {L"a -p arc.rar c.txt", 255}, {L"c arc.rar", 2}, {L"d text.rar *", 2}, {L"a text.rar c.txt", 2}};
  const std::string arc = ReadFileBytes(At(L"arc.rar")), forced = ReadFileBytes(At(L"forced.rar"));
  for (const auto& c : cases) EXPECT_EQ(Run(c.arguments), c.code) << c.arguments;
  EXPECT_EQ(ReadRecordedCalls(dir_.Path()).size(), std::size(cases));
  EXPECT_EQ(ReadFileBytes(At(L"arc.rar")), arc);
  EXPECT_EQ(ReadFileBytes(At(L"forced.rar")), forced);
  EXPECT_EQ(ReadFileBytes(At(L"text.rar")), "not an archive");
  EXPECT_TRUE(Missing(L"none.rar") && Missing(L"gone.rar"));
  // A missing file among others is no refusal: the others go in, and the code still says 10.
  EXPECT_EQ(Run(L"a -k part.rar c.txt missing.txt"), 10u);
  EXPECT_EQ(ReadFakeArchive(At(L"part.rar")).Entries, (Entries{{L"c.txt", L""}}));
  EXPECT_TRUE(ReadFakeArchive(At(L"part.rar")).Locked);
}

TEST_F(FakeRar, DelaysEachCallAndNotesCallsOnTheSameArchiveAtOnce) {
  ASSERT_TRUE(WriteFileBytes(At(L"1.txt"), "1") && WriteFileBytes(At(L"2.txt"), "2"));
  SetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_DELAY_MS", L"1500");
  const auto together = [&](const std::wstring& first, const std::wstring& second) {
    const ULONGLONG start = GetTickCount64();
    HANDLE a = Start(first), b = Start(second);
    EXPECT_TRUE(a && b && WaitForExit(a) && WaitForExit(b));
    for (HANDLE h : {a, b}) if (h) CloseHandle(h);
    return GetTickCount64() - start;
  };
  EXPECT_GE(together(L"rar a one.rar 1.txt", L"rar a two.rar 2.txt"), 1500u);
  EXPECT_TRUE(Missing(L"overlaps.log"));
  together(L"rar a same.rar 1.txt", L"rar a same.rar 2.txt");
  SetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_DELAY_MS", nullptr);
  EXPECT_EQ(ReadFileBytes(At(L"overlaps.log")), "same.rar\n");
  EXPECT_EQ(Sorted(ReadFakeArchive(At(L"same.rar")).Entries),
            (Entries{{L"1.txt", L""}, {L"2.txt", L""}}));
  EXPECT_EQ(ReadRecordedCalls(dir_.Path()).size(), 4u);
}

}  // namespace
}  // namespace rarbatch::testing
