// Folder import on real folders and list boxes: which files are taken, their order and form, the
// folder kept, and the failures reported.
#include "lists/folder_import.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lists/item_list.h"
#include "tools/dialog_driver.h"
#include "tools/test_support.h"

namespace rarbatch {
namespace {

using testing::MessageCatcher;
using testing::ScratchFolder;
using testing::TestWindow;
using Names = std::vector<std::wstring>;

bool MakeFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return attributes == FILE_ATTRIBUTE_NORMAL || SetFileAttributesW(path.c_str(), attributes);
}

Names Prefixed(const std::wstring& folder, const Names& names) {
  Names items;
  for (const auto& name : names) items.push_back(folder + name);
  return items;
}

// Whether each item sorts after the one before it, without regard to case, as the user's locale
// orders names.
bool AscendingIgnoringCase(const Names& names) {
  for (std::size_t i = 1; i < names.size(); ++i) {
    const auto& a = names[i - 1];
    const auto& b = names[i];
    if (CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                        b.c_str(), static_cast<int>(b.size()), nullptr, nullptr, 0) == CSTR_GREATER_THAN) {
      return false;
    }
  }
  return true;
}

// A subfolder of a scratch folder, removed with its files before the scratch folder goes.
class SubFolder {
 public:
  explicit SubFolder(std::wstring path) : path_(std::move(path)) { CreateDirectoryW(path_.c_str(), nullptr); }
  ~SubFolder() {
    for (const auto& name : files_) DeleteFileW((path_ + L"\\" + name).c_str());
    RemoveDirectoryW(path_.c_str());
  }
  bool Add(const std::wstring& name) {
    files_.push_back(name);
    return MakeFile(path_ + L"\\" + name);
  }

 private:
  std::wstring path_;
  Names files_;
};

TEST(NameMatchesPattern, TakesLongNamesWithoutRegardToCase) {
  struct Case {
    const wchar_t* name;
    const wchar_t* pattern;
    bool matches;
  };
  const Case cases[] = {
      {L"a.rar", L"*.rar", true},
      {L"a.RAR", L"*.rar", true},
      {L"压缩 包.Rar", L"*.rar", true},
      {L"a.part1.rar", L"*.rar", true},
      {L".rar", L"*.rar", true},
      {L"x.rarx", L"*.rar", false},
      {L"rar", L"*.rar", false},
      {L"a.rar.bak", L"*.rar", false},
      {L"arar", L"*.rar", false},
      {L"a.rar", L"*.RAR", true},
      {L"Ärger.rar", L"ä*.rar", true},
      {L"a.rar", L"?.rar", true},
      {L"ab.rar", L"?.rar", false},
      {L"ab.rar", L"a*b*.r?r", true},
      {L"README", L"*.*", true},
      {L"a.b", L"*.*", true},
      {L"noext", L"n*.*", true},
      {L"other", L"n*.*", false},
      {L"a.b", L"*", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NameMatchesPattern(c.name, c.pattern), c.matches)
        << ::testing::PrintToString(std::wstring(c.name)) << " against "
        << ::testing::PrintToString(std::wstring(c.pattern));
  }
}

class FolderImport : public ::testing::Test {
 protected:
  // The folder without its trailing backslash, as the folder picker gives it.
  std::wstring Folder() const { return scratch_.Path().substr(0, scratch_.Path().size() - 1); }
  void Make(const Names& names) {
    for (const auto& name : names) ASSERT_TRUE(MakeFile(scratch_.Path() + name)) << "cannot create";
  }
  // Imports `folder`, failing the test on any message shown.
  int ImportQuietly(const std::wstring& folder) {
    MessageCatcher messages(window_.get());
    const ImportResult result = ImportFolderFrom(list_, files_, folder);
    const Names shown = messages.Texts();
    EXPECT_TRUE(shown.empty()) << "unexpected message: " << ::testing::PrintToString(shown.at(0));
    EXPECT_EQ(result.Stop, ImportStop::None);
    return result.Appended;
  }

  ScratchFolder scratch_;  // its name holds a space and Chinese characters
  TestWindow window_;
  HWND list_ = CreateItemList(window_.get(), 101, 10, 10, 300, 200);
  FileList files_{CreateFileList(window_.get(), 102, 0, 0, 10, 10), L"*.rar", L""};
};

TEST_F(FolderImport, TakesTheRarFilesOfAFolderSortedWithoutRegardToCase) {
  Make({L"b.rar", L"A.rar", L"c.RAR", L"a1.rar", L"x.rarx", L"rar", L"notes.txt", L"压缩 包.rar"});
  EXPECT_EQ(ImportQuietly(Folder()), 5);
  const Names expected = Prefixed(scratch_.Path(), {L"A.rar", L"a1.rar", L"b.rar", L"c.RAR", L"压缩 包.rar"});
  EXPECT_EQ(Items(list_), expected);
  EXPECT_TRUE(AscendingIgnoringCase(Items(list_)));
  EXPECT_EQ(files_.Path, scratch_.Path());
  EXPECT_EQ(testing::WindowText(files_.Window), scratch_.Path()) << "the file list shows its folder";
}

TEST_F(FolderImport, OrderFollowsTheLocaleWithoutRegardToCase) {
  const Names names = {L"Zeta.rar", L"alpha.RAR", L"Beta-2.rar", L"beta-10.rar", L"BETA.rar",
                       L"_x.rar",   L"10.rar",    L"9.rar",      L"中文.rar",    L"ab.rar"};
  Make(names);
  ASSERT_EQ(ImportQuietly(Folder()), static_cast<int>(names.size()));
  EXPECT_TRUE(AscendingIgnoringCase(Items(list_))) << ::testing::PrintToString(Items(list_));

  // Listing on its own gives the same order, whatever order the files were made in.
  Names listed;
  DWORD error = 0;
  ASSERT_TRUE(ListMatchingFiles(scratch_.Path(), L"*.rar", listed, error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(Prefixed(scratch_.Path(), listed), Items(list_));

  // And it is the order in which a sorted list box keeps the same names.
  HWND sorted = CreateWindowExW(0, L"LISTBOX", nullptr, WS_CHILD | LBS_SORT, 0, 0, 100, 100, window_.get(),
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  for (const auto& name : names) SendMessageW(sorted, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  EXPECT_EQ(listed, Items(sorted));
}

TEST_F(FolderImport, StarDotStarTakesEveryFileAndNoSubfolder) {
  Make({L"README", L"a.b", L"x.rarx", L"archive.rar"});
  SubFolder sub(scratch_.Path() + L"sub.rar");  // a folder whose name matches the pattern
  ASSERT_TRUE(sub.Add(L"inner.rar"));
  files_.Pattern = L"*.*";
  EXPECT_EQ(ImportQuietly(Folder()), 4);
  EXPECT_EQ(Items(list_), Prefixed(scratch_.Path(), {L"a.b", L"archive.rar", L"README", L"x.rarx"}));

  Clear(list_);
  files_.Pattern = L"*.rar";
  EXPECT_EQ(ImportQuietly(Folder()), 1);
  EXPECT_EQ(Items(list_), Prefixed(scratch_.Path(), {L"archive.rar"}));
}

TEST_F(FolderImport, LeavesOutHiddenAndSystemFilesAndTakesReadOnlyAndArchiveFiles) {
  const std::wstring& d = scratch_.Path();
  ASSERT_TRUE(MakeFile(d + L"hidden.rar", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(MakeFile(d + L"system.rar", FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(MakeFile(d + L"read-only.rar", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(MakeFile(d + L"archive.rar", FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(MakeFile(d + L"both.rar", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(MakeFile(d + L"plain.rar"));
  const DWORD hidden = GetFileAttributesW((d + L"hidden.rar").c_str());
  const DWORD system = GetFileAttributesW((d + L"system.rar").c_str());
  if (hidden == INVALID_FILE_ATTRIBUTES || !(hidden & FILE_ATTRIBUTE_HIDDEN) ||
      system == INVALID_FILE_ATTRIBUTES || !(system & FILE_ATTRIBUTE_SYSTEM)) {
    GTEST_SKIP() << "the file system of the temp folder does not keep the hidden and system attributes";
  }
  // Wine reports names that start with a dot as hidden; when the system does too, they stay out.
  ASSERT_TRUE(MakeFile(d + L".dot.rar"));
  const DWORD dot = GetFileAttributesW((d + L".dot.rar").c_str());
  const bool dotHidden = dot != INVALID_FILE_ATTRIBUTES && (dot & FILE_ATTRIBUTE_HIDDEN);

  Names expected = {L"archive.rar", L"both.rar", L"plain.rar", L"read-only.rar"};
  if (!dotHidden) expected.insert(expected.begin(), L".dot.rar");
  ImportQuietly(Folder());
  EXPECT_EQ(Items(list_), Prefixed(d, expected));
}

TEST_F(FolderImport, ItemsAreTheFolderWithOneBackslashAndTheName) {
  Make({L"a.rar"});
  EXPECT_EQ(ImportQuietly(Folder()), 1);
  EXPECT_EQ(files_.Path, scratch_.Path());
  EXPECT_EQ(ImportQuietly(scratch_.Path()), 1) << "the same folder given with its backslash";
  EXPECT_EQ(files_.Path, scratch_.Path());
  const std::wstring item = scratch_.Path() + L"a.rar";
  EXPECT_EQ(Items(list_), (Names{item, item})) << "a repeated import appends again";
}

TEST_F(FolderImport, TheFileListKeepsTheLastFolderAssigned) {
  ScratchFolder other;
  ASSERT_TRUE(MakeFile(other.Path() + L"other.rar"));
  Make({L"first.rar", L"second.rar"});
  EXPECT_EQ(ImportQuietly(Folder()), 2);
  EXPECT_EQ(ImportQuietly(other.Path()), 1);
  EXPECT_EQ(files_.Path, other.Path());
  EXPECT_EQ(testing::WindowText(files_.Window), other.Path());
  EXPECT_EQ(ImportQuietly(Folder()), 2);
  EXPECT_EQ(files_.Path, scratch_.Path());
  const Names first = Prefixed(scratch_.Path(), {L"first.rar", L"second.rar"});
  Names expected = first;
  expected.push_back(other.Path() + L"other.rar");
  expected.insert(expected.end(), first.begin(), first.end());
  EXPECT_EQ(Items(list_), expected);
}

TEST_F(FolderImport, AnEmptyFolderAddsNothingButIsAssigned) {
  EXPECT_EQ(ImportQuietly(Folder()), 0);
  EXPECT_EQ(Count(list_), 0);
  EXPECT_EQ(files_.Path, scratch_.Path());
}

TEST_F(FolderImport, AFolderThatCannotBeListedChangesNothing) {
  Make({L"a.rar"});
  ASSERT_EQ(ImportQuietly(Folder()), 1);
  const Names before = Items(list_);
  const std::wstring missing = scratch_.Path() + L"不存在";

  MessageCatcher messages(window_.get());
  const ImportResult result = ImportFolderFrom(list_, files_, missing);
  EXPECT_TRUE(messages.Texts().empty()) << "the caller, not the import, tells the user";
  EXPECT_EQ(result.Appended, 0);
  EXPECT_EQ(result.Stop, ImportStop::CannotList);
  EXPECT_NE(result.Error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(result.Folder, missing + L"\\");
  EXPECT_EQ(Items(list_), before);
  EXPECT_EQ(files_.Path, scratch_.Path());
  EXPECT_EQ(testing::WindowText(files_.Window), scratch_.Path());

  Names names = {L"left over"};
  DWORD error = ERROR_SUCCESS;
  EXPECT_FALSE(ListMatchingFiles(missing + L"\\", L"*.rar", names, error));
  EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(names.empty());
}

TEST_F(FolderImport, AnImportThatWouldOverfillTheListStopsAtTheLimitAndCountsWhatWasLeftOut) {
  Make({L"e.rar", L"d.rar", L"c.rar", L"b.rar", L"a.rar"});
  Names filler;
  for (int i = 0; i < kMaxListItems - 2; ++i) filler.push_back(L"C:\\old\\" + std::to_wstring(i) + L".rar");
  ASSERT_EQ(AppendMany(list_, filler), kMaxListItems - 2);

  const ImportResult result = ImportFolderFrom(list_, files_, Folder());
  EXPECT_EQ(result.Appended, 2);
  EXPECT_EQ(result.LeftOut, 3u);
  EXPECT_EQ(result.Stop, ImportStop::ListFull);
  EXPECT_EQ(Count(list_), kMaxListItems);
  EXPECT_EQ(Item(list_, kMaxListItems - 3), filler.back());
  EXPECT_EQ(Item(list_, kMaxListItems - 2), scratch_.Path() + L"a.rar") << "the first files in order";
  EXPECT_EQ(Item(list_, kMaxListItems - 1), scratch_.Path() + L"b.rar");
  EXPECT_EQ(files_.Path, scratch_.Path());
}

// A folder that is the root of a drive: a fresh folder mapped to a free drive letter when the system
// lets this process map one; otherwise (Wine accepts the mapping but does not open files through it)
// the root of C: with file names unique to this run. The files and the mapping go with the object.
class DriveRoot {
 public:
  DriveRoot() {
    const DWORD drives = GetLogicalDrives();
    for (wchar_t letter = L'Y'; letter >= L'M' && root_.empty(); --letter) {
      if (drives & (1u << (letter - L'A'))) continue;
      drive_ = std::wstring(1, letter) + L":";
      if (!DefineDosDeviceW(0, drive_.c_str(), target_.Path().c_str())) break;
      const std::wstring probe = drive_ + L"\\probe.tmp";
      const bool reached = MakeFile(probe) &&
                           GetFileAttributesW((target_.Path() + L"probe.tmp").c_str()) != INVALID_FILE_ATTRIBUTES;
      DeleteFileW(probe.c_str());
      DeleteFileW((target_.Path() + L"probe.tmp").c_str());
      if (reached) {
        root_ = drive_ + L"\\";
      } else {
        DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, drive_.c_str(),
                         target_.Path().c_str());
        drive_.clear();
        break;
      }
    }
    if (root_.empty()) {
      root_ = L"C:\\";
      prefix_ = L"rarbatch-root-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    }
  }
  ~DriveRoot() {
    for (const auto& name : made_) DeleteFileW((root_ + name).c_str());
    if (!drive_.empty()) {
      DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, drive_.c_str(),
                       target_.Path().c_str());
    }
  }
  DriveRoot(const DriveRoot&) = delete;
  DriveRoot& operator=(const DriveRoot&) = delete;

  const std::wstring& Root() const { return root_; }
  // The name under which `name` is made at the root; prefixed in a shared root.
  std::wstring Name(const std::wstring& name) const { return prefix_ + name; }
  bool Make(const std::wstring& name) {
    made_.push_back(Name(name));
    return MakeFile(root_ + Name(name));
  }
  bool Shared() const { return !prefix_.empty(); }

 private:
  ScratchFolder target_;
  std::wstring drive_;   // "Q:" while mapped
  std::wstring root_;    // "Q:\" or "C:\"
  std::wstring prefix_;  // in C:\, what makes the names this run's own
  Names made_;
};

TEST_F(FolderImport, ADriveRootGivesItemsWithOneBackslash) {
  DriveRoot drive;
  if (!drive.Make(L"b.rar") || !drive.Make(L"A.RAR") || !drive.Make(L"c.txt")) {
    GTEST_SKIP() << "cannot create files at " << ::testing::PrintToString(drive.Root());
  }
  ImportQuietly(drive.Root());
  EXPECT_EQ(files_.Path, drive.Root());

  // In a shared root other files may stand beside this run's: only these are checked by name.
  Names own;
  for (const auto& item : Items(list_)) {
    EXPECT_EQ(item.compare(0, drive.Root().size(), drive.Root()), 0) << ::testing::PrintToString(item);
    EXPECT_NE(item[drive.Root().size()], L'\\') << "one backslash: " << ::testing::PrintToString(item);
    if (item.compare(0, drive.Root().size() + drive.Name(L"").size(), drive.Root() + drive.Name(L"")) == 0) {
      own.push_back(item);
    }
  }
  EXPECT_EQ(own, Prefixed(drive.Root(), {drive.Name(L"A.RAR"), drive.Name(L"b.rar")}));
  if (!drive.Shared()) {
    EXPECT_EQ(own, Items(list_));
  }
  EXPECT_TRUE(AscendingIgnoringCase(Items(list_)));
}

}  // namespace
}  // namespace rarbatch
