// What a drop on the archive list brings, on real folder trees: the order of a tree, what is left
// out, and folders longer than MAX_PATH or named with a trailing space.
#include "lists/dropped_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/paths.h"
#include "lists/folder_import.h"
#include "tools/test_support.h"

namespace rarbatch {
namespace {

using testing::ScratchFolder;
using Names = std::vector<std::wstring>;

// Folders and files are made in the extended form, so that any length and a trailing space work.
bool MakeFolder(const std::wstring& path, DWORD attributes = 0) {
  const std::wstring system = ExtendedLengthPath(path);
  if (!CreateDirectoryW(system.c_str(), nullptr)) return false;
  return attributes == 0 || SetFileAttributesW(system.c_str(), attributes);
}

bool MakeFile(const std::wstring& path, DWORD attributes = 0) {
  const std::wstring system = ExtendedLengthPath(path);
  HANDLE file = CreateFileW(system.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return attributes == 0 || SetFileAttributesW(system.c_str(), attributes);
}

bool Has(const std::wstring& path, DWORD attribute) {
  const DWORD attributes = GetFileAttributesW(ExtendedLengthPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute);
}

TEST(DroppedArchives, ATreeGivesEachFoldersArchivesThenItsSubfoldersDepthFirstInOrder) {
  ScratchFolder scratch;
  const std::wstring root = scratch.Path() + L"拖放 tree";
  const std::wstring r = root + L"\\";
  ASSERT_TRUE(MakeFolder(root));
  for (const wchar_t* folder : {L"sub2", L"Sub1", L"Sub1\\inner.rar", L"Sub1\\deeper", L"empty"}) {
    ASSERT_TRUE(MakeFolder(r + folder));
  }
  for (const wchar_t* file : {L"b.rar", L"A.RAR", L"notes.txt", L"x.rarx", L"sub2\\z.rar",
                              L"Sub1\\y.rar", L"Sub1\\deeper\\x.Rar", L"Sub1\\inner.rar\\w.rar",
                              L"Sub1\\inner.rar\\readme"}) {
    ASSERT_TRUE(MakeFile(r + file));
  }
  ASSERT_TRUE(MakeFile(r + L"hidden.rar", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(MakeFile(r + L"Sub1\\system.rar", FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(MakeFolder(r + L"hidden folder", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(MakeFile(r + L"hidden folder\\in hidden.rar"));
  ASSERT_TRUE(MakeFolder(r + L"system folder", FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(MakeFile(r + L"system folder\\in system.rar"));
  if (!Has(r + L"hidden.rar", FILE_ATTRIBUTE_HIDDEN) || !Has(r + L"hidden folder", FILE_ATTRIBUTE_HIDDEN) ||
      !Has(r + L"system folder", FILE_ATTRIBUTE_SYSTEM)) {
    GTEST_SKIP() << "the file system of the temp folder does not keep the hidden and system attributes";
  }

  const Names expected = {r + L"A.RAR",
                          r + L"b.rar",
                          r + L"Sub1\\y.rar",
                          r + L"Sub1\\deeper\\x.Rar",
                          r + L"Sub1\\inner.rar\\w.rar",
                          r + L"sub2\\z.rar"};
  for (const std::wstring& given : {root, r}) {
    SCOPED_TRACE(::testing::PrintToString(given));
    Names archives;
    std::vector<UnlistedFolder> unlisted;
    ListArchivesInTree(given, archives, unlisted);
    EXPECT_EQ(archives, expected);
    EXPECT_TRUE(unlisted.empty());
  }
}

TEST(DroppedArchives, DroppedPathsKeepTheirOrderAndOtherFilesAreOnlyCounted) {
  ScratchFolder scratch;
  const std::wstring& d = scratch.Path();
  ASSERT_TRUE(MakeFolder(d + L"folder.rar"));  // a folder, whatever its name says
  ASSERT_TRUE(MakeFile(d + L"folder.rar\\in.rar"));
  ASSERT_TRUE(MakeFile(d + L"folder.rar\\in.txt"));
  for (const wchar_t* file : {L"one.RAR", L"notes.txt", L"README", L"x.rarx"}) ASSERT_TRUE(MakeFile(d + file));
  ASSERT_TRUE(MakeFile(d + L"chosen hidden.rar", FILE_ATTRIBUTE_HIDDEN));

  const DroppedArchives got = CollectDroppedArchives(
      {d + L"notes.txt", d + L"one.RAR", d + L"folder.rar", d + L"README", d + L"chosen hidden.rar",
       d + L"gone.rar", d + L"gone", d + L"x.rarx", d + L"one.RAR"});
  EXPECT_EQ(got.Archives, (Names{d + L"one.RAR", d + L"folder.rar\\in.rar", d + L"chosen hidden.rar",
                                 d + L"gone.rar", d + L"one.RAR"}));
  EXPECT_EQ(got.NotArchives, 4u) << "notes.txt, README, gone, x.rarx; not the folder's in.txt";
  EXPECT_TRUE(got.Unlisted.empty());
}

TEST(DroppedArchives, AFolderThatCannotBeListedIsNamedAndTheRestStillCome) {
  ScratchFolder scratch;
  const std::wstring& d = scratch.Path();
  ASSERT_TRUE(MakeFolder(d + L"there"));
  ASSERT_TRUE(MakeFile(d + L"there\\a.rar"));
  std::vector<UnlistedFolder> unlisted;
  Names archives;
  ListArchivesInTree(d + L"不存在", archives, unlisted);
  ListArchivesInTree(d + L"there", archives, unlisted);
  EXPECT_EQ(archives, (Names{d + L"there\\a.rar"}));
  ASSERT_EQ(unlisted.size(), 1u);
  EXPECT_EQ(unlisted[0].Folder, d + L"不存在\\");
  EXPECT_NE(unlisted[0].Error, static_cast<DWORD>(ERROR_SUCCESS));
}

// A folder well past MAX_PATH: steps of 40 characters under the scratch folder.
std::wstring MakeDeepFolder(const std::wstring& base, std::size_t atLeast) {
  std::wstring path = base + L"深";
  if (!MakeFolder(path)) return {};
  for (int step = 0; path.size() < atLeast; ++step) {
    path += L"\\" + std::to_wstring(step) + L" 层 " + std::wstring(32, L'x');
    if (!MakeFolder(path)) return {};
  }
  return path;
}

TEST(DroppedArchives, FoldersLongerThanMaxPathAreWalkedAndListedWhole) {
  ScratchFolder scratch;
  const std::wstring deep = MakeDeepFolder(scratch.Path(), 300);
  ASSERT_FALSE(deep.empty()) << "cannot make a folder deeper than MAX_PATH";
  ASSERT_GT(deep.size(), static_cast<std::size_t>(MAX_PATH));
  ASSERT_TRUE(MakeFolder(deep + L"\\更深"));
  ASSERT_TRUE(MakeFile(deep + L"\\长路径.rar"));
  ASSERT_TRUE(MakeFile(deep + L"\\更深\\b.rar"));

  const DroppedArchives got = CollectDroppedArchives({scratch.Path() + L"深", deep + L"\\长路径.rar"});
  EXPECT_EQ(got.Archives,
            (Names{deep + L"\\长路径.rar", deep + L"\\更深\\b.rar", deep + L"\\长路径.rar"}));
  EXPECT_TRUE(got.Unlisted.empty());

  Names names;
  DWORD error = ERROR_SUCCESS;
  ASSERT_TRUE(ListMatchingFiles(deep + L"\\", L"*.rar", names, error)) << error;
  EXPECT_EQ(names, (Names{L"长路径.rar"}));
}

TEST(DroppedArchives, AFolderNamedWithATrailingSpaceIsWalkedAsItselfNotItsNamesake) {
  ScratchFolder scratch;
  const std::wstring& d = scratch.Path();
  ASSERT_TRUE(MakeFolder(d + L"trail"));
  ASSERT_TRUE(MakeFile(d + L"trail\\namesake.rar"));
  if (!MakeFolder(d + L"trail ")) GTEST_SKIP() << "the file system takes no name ending in a space";
  ASSERT_TRUE(MakeFile(d + L"trail \\own.rar"));

  EXPECT_EQ(CollectDroppedArchives({d + L"trail "}).Archives, (Names{d + L"trail \\own.rar"}));
}

}  // namespace
}  // namespace rarbatch
