// The file layer: every operation on paths past MAX_PATH, relative, and spelled with '/'; a folder
// whose name ends in a space; the temporary file that removes itself; and the one case fold.
#include "win/file_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tools/test_support.h"
#include "win/file_identity.h"
#include "win/files.h"
#include "win/temp_file.h"

namespace rarbatch {
namespace {

std::wstring Slashed(std::wstring path) {
  std::replace(path.begin(), path.end(), L'\\', L'/');
  return path;
}

// Sets the current folder while it lives.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::wstring& folder) {
    old_.resize(GetCurrentDirectoryW(0, nullptr));
    old_.resize(GetCurrentDirectoryW(static_cast<DWORD>(old_.size()), old_.data()));
    ok_ = SetCurrentDirectoryW(folder.c_str()) != FALSE;
  }
  ~CurrentFolder() { SetCurrentDirectoryW(old_.c_str()); }
  bool Ok() const { return ok_; }

 private:
  std::wstring old_;
  bool ok_ = false;
};

std::string ReadAll(const std::wstring& path) {
  UniqueHandle file = OpenForReading(path);
  if (!file) return "<cannot open>";
  std::string bytes(256, '\0');
  DWORD read = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return "<cannot read>";
  bytes.resize(read);
  return bytes;
}

// Runs every operation of the layer below `base`, a folder spelled as a caller would spell it.
void EveryOperationBelow(const std::wstring& base, wchar_t slash) {
  const std::wstring folder = base + L"新 文件夹" + slash + L"下一层";
  ASSERT_EQ(MakeFolders(folder), 0u);
  EXPECT_EQ(MakeFolders(folder), 0u) << "a folder that is there already";
  EXPECT_TRUE(IsExistingFolder(folder));
  const std::wstring a = folder + slash + L"a.rar", b = folder + slash + L"b.rar";
  {
    UniqueHandle file = OpenForWriting(a);
    ASSERT_TRUE(file) << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), "Rar!", 4, &written, nullptr));
  }
  EXPECT_EQ(ReadAll(a), "Rar!");
  EXPECT_TRUE(IsExistingFile(a));
  EXPECT_FALSE(IsExistingFolder(a));
  EXPECT_EQ(SizeOf(a), std::optional<std::uint64_t>(4));
  EXPECT_EQ(ReadFileStart(a, 2).Bytes, "Ra");
  EXPECT_EQ(WriteWholeFile(b, "old"), 0u);

  EXPECT_EQ(CopyFileTo(a, b, false), static_cast<DWORD>(ERROR_FILE_EXISTS)) << "no replacing unless asked";
  EXPECT_EQ(ReadAll(b), "old");
  EXPECT_EQ(CopyFileTo(a, b, true), 0u);
  EXPECT_EQ(ReadAll(b), "Rar!");

  const FileTimes old{126000000000000000ull, 127000000000000000ull};
  ASSERT_EQ(WriteFileTimes(b, old), 0u);
  const std::optional<FileTimes> times = ReadFileTimes(b);
  ASSERT_TRUE(times);
  EXPECT_EQ(times->Modified, old.Modified);

  ASSERT_EQ(SetAttributesOf(b, FILE_ATTRIBUTE_READONLY), 0u);
  ASSERT_TRUE(AttributesOf(b));
  EXPECT_TRUE(*AttributesOf(b) & FILE_ATTRIBUTE_READONLY);
  ASSERT_EQ(SetAttributesOf(b, FILE_ATTRIBUTE_NORMAL), 0u);

  ASSERT_EQ(WriteWholeFile(a, "new"), 0u);
  EXPECT_EQ(MoveReplacing(a, b), 0u);
  EXPECT_FALSE(PathExists(a));
  EXPECT_EQ(ReadAll(b), "new");

  const std::vector<std::wstring> found = FilesMatching(folder, L"*.rar");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], FullPathOf(b));
  std::vector<std::wstring> walked;
  WalkFolder(base + L"新 文件夹", [&](const std::wstring& below, const WIN32_FIND_DATAW&) { walked.push_back(below); });
  EXPECT_EQ(walked, (std::vector<std::wstring>{L"下一层", L"下一层\\b.rar"}));

  EXPECT_TRUE(IdentityOf(b));
  EXPECT_TRUE(FreeSpaceOf(b)) << "free space of " << ::testing::PrintToString(VolumeRootOf(b));

  EXPECT_EQ(DeleteFileAt(b), 0u);
  EXPECT_FALSE(PathExists(b));
  EXPECT_EQ(DeleteFileAt(b), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileOps, EveryOperationTakesALongARelativeAndASlashedPath) {
  testing::ScratchFolder scratch;
  const std::wstring deep = testing::MakeDeepFolder(scratch.Path());
  ASSERT_FALSE(deep.empty()) << "cannot make a folder deeper than MAX_PATH";
  {
    SCOPED_TRACE("past MAX_PATH");
    EveryOperationBelow(deep, L'\\');
  }
  {
    SCOPED_TRACE("'/' and past MAX_PATH");
    EveryOperationBelow(Slashed(deep), L'/');
  }
  CurrentFolder here(scratch.Path());
  ASSERT_TRUE(here.Ok());
  {
    SCOPED_TRACE("relative, and past MAX_PATH once full");
    EveryOperationBelow(deep.substr(scratch.Path().size()), L'\\');
  }
  {
    SCOPED_TRACE("relative with '.' and '..' steps");
    EveryOperationBelow(L".\\x\\..\\", L'\\');
  }
}

// What the system is handed. (Wine itself takes paths past MAX_PATH in any form, so the operations
// above cannot show that the long form was made; this does.)
TEST(FileOps, TheSystemIsHandedTheExtendedFormOfTheFullPath) {
  testing::ScratchFolder scratch;
  CurrentFolder here(scratch.Path());
  ASSERT_TRUE(here.Ok());
  const std::wstring full = FullPathOf(scratch.Path());
  ASSERT_EQ(full.substr(1, 2), L":\\");
  const struct {
    std::wstring Path, System;
  } cases[] = {
      {L"sub\\a.rar", L"\\\\?\\" + full + L"sub\\a.rar"},
      {L"sub/x/../a.rar", L"\\\\?\\" + full + L"sub\\a.rar"},
      {Slashed(full) + L"a.rar", L"\\\\?\\" + full + L"a.rar"},
      {full + L"name ends in a space ", L"\\\\?\\" + full + L"name ends in a space "},
      {L"\\\\server\\share\\dir\\a.rar", L"\\\\?\\UNC\\server\\share\\dir\\a.rar"},
      {L"//server/share/dir/a.rar", L"\\\\?\\UNC\\server\\share\\dir\\a.rar"},
      {L"\\\\?\\C:\\as it is ", L"\\\\?\\C:\\as it is "},
  };
  for (const auto& c : cases) EXPECT_EQ(SystemPath(c.Path), c.System) << ::testing::PrintToString(c.Path);
}

// A plain full path is used as it is named: a folder "x " (which GetFullPathNameW would call "x") is
// not taken for another folder "x".
TEST(FileOps, ANameEndingInASpaceIsItsOwnFile) {
  testing::ScratchFolder scratch;
  ASSERT_TRUE(testing::MakeEmptyFile(scratch.Path() + L"x "));
  EXPECT_TRUE(IsExistingFile(scratch.Path() + L"x "));
  EXPECT_FALSE(PathExists(scratch.Path() + L"x"));
  EXPECT_EQ(DeleteFileAt(scratch.Path() + L"x "), 0u);
}

// A file where a folder should be made is a failure, not a folder made.
TEST(FileOps, AFileInTheWayOfAFolderIsReported) {
  testing::ScratchFolder scratch;
  ASSERT_EQ(WriteWholeFile(scratch.Path() + L"f", "x"), 0u);
  EXPECT_NE(MakeFolders(scratch.Path() + L"f"), 0u);
  EXPECT_NE(MakeFolders(scratch.Path() + L"f\\g"), 0u);
  EXPECT_TRUE(IsExistingFile(scratch.Path() + L"f"));
}

TEST(TempFile, GoesWithItsObjectUnlessKept) {
  testing::ScratchFolder scratch;
  std::wstring gone, kept;
  {
    std::optional<TempFile> first = TempFile::InTempFolder(L"rarbatch test ", L".tmp");
    std::optional<TempFile> second = TempFile::InTempFolder(L"rarbatch test ", L".tmp");
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->Path(), second->Path()) << "each its own name";
    EXPECT_EQ(first->Path().rfind(TempFolderPath(), 0), 0u) << ::testing::PrintToString(first->Path());
    EXPECT_EQ(first->Write("names\r\n"), 0u);
    first->Close();
    EXPECT_EQ(ReadAll(first->Path()), "names\r\n") << "others may read it once closed";
    gone = first->Path();
    kept = second->Path();
    second->Keep();
  }
  EXPECT_FALSE(PathExists(gone));
  EXPECT_TRUE(PathExists(kept));
  EXPECT_EQ(DeleteFileAt(kept), 0u);

  // Beside a file deeper than MAX_PATH, spelled with '/': in the file's folder.
  const std::wstring deep = testing::MakeDeepFolder(scratch.Path());
  ASSERT_FALSE(deep.empty());
  const std::wstring archive = deep + L"压缩包.rar";
  {
    std::optional<TempFile> beside = TempFile::Beside(Slashed(archive), L".restore");
    ASSERT_TRUE(beside);
    EXPECT_EQ(beside->Path().rfind(archive + L".", 0), 0u) << ::testing::PrintToString(beside->Path());
    EXPECT_TRUE(beside->Path().ends_with(L".restore"));
    gone = beside->Path();
    // Moved elsewhere, it goes with the object that took it.
    std::optional<TempFile> taken = std::move(beside);
    beside.reset();
    EXPECT_TRUE(PathExists(gone));
  }
  EXPECT_FALSE(PathExists(gone));

  // At a given name, replacing what was there.
  ASSERT_EQ(WriteWholeFile(deep + L"list.lst", "stale"), 0u);
  {
    std::optional<TempFile> at = TempFile::At(deep + L"list.lst");
    ASSERT_TRUE(at);
    at->Close();
    EXPECT_EQ(ReadAll(deep + L"list.lst"), "");
  }
  EXPECT_FALSE(PathExists(deep + L"list.lst"));

  DWORD error = 0;
  EXPECT_FALSE(TempFile::Beside(scratch.Path() + L"没有\\a.rar", L".x", &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

// Two spellings of one path are one path to the program, in every script the file system folds.
TEST(PathCase, TwoSpellingsOfOnePathAreTheSame) {
  testing::ScratchFolder scratch;
  CurrentFolder here(scratch.Path());
  ASSERT_TRUE(here.Ok());
  const std::wstring full = scratch.Path() + L"Ärger\\Привет\\Ωmega.RAR";
  for (const std::wstring& other : {scratch.Path() + L"äRGER\\привет\\ωMEGA.rar", Slashed(full),
                                    std::wstring(L"ärger/ПРИВЕТ/x/../ωmega.rar")}) {
    EXPECT_TRUE(SamePath(full, other)) << ::testing::PrintToString(other);
    EXPECT_EQ(SameFileKey(full), SameFileKey(other)) << "not there yet: " << ::testing::PrintToString(other);
  }
  EXPECT_FALSE(SamePath(full, scratch.Path() + L"Ärger\\Привет\\Ωmega.rar.bak"));
  EXPECT_EQ(FoldedName(L"a.rar"), FoldedName(L"A.RAR"));
  EXPECT_NE(FoldedName(L"a.rar"), FoldedName(L"b.rar"));

  // Once the file is there, every spelling of it gives one key.
  ASSERT_EQ(MakeFolders(scratch.Path() + L"Ärger\\Привет"), 0u);
  ASSERT_EQ(WriteWholeFile(full, "Rar!"), 0u);
  EXPECT_EQ(SameFileKey(full), SameFileKey(L"ÄRGER\\привет\\ωmega.rar"));
}

}  // namespace
}  // namespace rarbatch
