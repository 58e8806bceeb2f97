// Files dropped on the main window: real drops (a DROPFILES block, as the shell hands it over) sent
// to the window at a point over each control, with the messages they show caught.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <memory>

#include "lists/folder_import.h"
#include "lists/item_list.h"
#include "tools/dialog_driver.h"
#include "tools/test_support.h"
#include "ui/layout.h"
#include "ui/main_window.h"
#include "ui/reports.h"

namespace rarbatch {
namespace {

using testing::MakeEmptyFile;
using testing::MakeFolder;
using testing::WindowText;
using Strings = std::vector<std::wstring>;

// A drop as a program hands it to a window: DROPFILES, then each name and its NUL, then one more
// NUL; the names wide, or in the ANSI code page as older programs give them. The window frees it.
HDROP MakeDrop(POINT at, const Strings& paths, bool wide = true, bool onBorder = false) {
  std::string names;
  for (const auto& path : paths) {
    const std::wstring named = path + L'\0';
    if (wide) {
      names.append(reinterpret_cast<const char*>(named.data()), named.size() * sizeof(wchar_t));
    } else {
      names += ToCodePage(named, CP_ACP).value();
    }
  }
  names.append(wide ? sizeof(wchar_t) : 1, '\0');
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
  auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
  *files = DROPFILES{sizeof(DROPFILES), at, onBorder, wide};
  names.copy(reinterpret_cast<char*>(files + 1), names.size());
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

class DropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    MainWindow::Options options;
    options.ProgramFolder = program_.Path();
    options.QuitOnClose = false;  // a posted quit would end the next test's message boxes at once
    window_ = std::make_unique<MainWindow>(options);
    hwnd_ = window_->Create(GetModuleHandleW(nullptr));
    ASSERT_NE(hwnd_, nullptr);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
  }
  void TearDown() override {
    if (window_ && window_->ScriptProcess()) testing::WaitForExit(window_->ScriptProcess());
    window_.reset();
    CoUninitialize();
  }

  HWND Control(int id) const { return window_->Control(id); }
  RECT Place(int id) const {
    RECT rect;
    GetWindowRect(Control(id), &rect);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }
  POINT Over(int id) const {
    const RECT rect = Place(id);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  }
  // Sends the drop to the window and returns the text of every message it showed.
  Strings Drop(HDROP drop) {
    testing::MessageCatcher messages(hwnd_);
    SendMessageW(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    return messages.Texts();
  }
  Strings Drop(int id, const Strings& paths) { return Drop(MakeDrop(Over(id), paths)); }
  std::vector<Strings> Everything() const {
    std::vector<Strings> all;
    for (int list : {List1, List2, List3}) all.push_back(Items(Control(list)));
    for (int box : {Text1, Text2, Text3, Text4}) all.push_back({WindowText(Control(box))});
    return all;
  }

  testing::ScratchFolder program_;  // tmp.bat goes here
  testing::ScratchFolder files_;    // what is dropped
  const std::wstring& d_ = files_.Path();
  std::unique_ptr<MainWindow> window_;
  HWND hwnd_ = nullptr;
};

TEST_F(DropTest, ArchiveListTakesRarFilesAndFolderTreesAndSaysOnceHowManyFilesItLeftOut) {
  EXPECT_TRUE(GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  const std::wstring t = d_ + L"树\\";
  for (const wchar_t* folder : {L"", L"b sub", L"a sub", L"a sub\\in.rar", L"hidden"}) ASSERT_TRUE(MakeFolder(t + folder));
  for (const wchar_t* file : {L"z.rar", L"Y.RAR", L"notes.txt", L"a sub\\a.rar", L"a sub\\in.rar\\i.rar",
                              L"b sub\\b.rar", L"hidden\\h.rar", L"one.rar", L"readme.md"}) {
    ASSERT_TRUE(MakeEmptyFile(t + file));
  }
  ASSERT_TRUE(MakeEmptyFile(t + L"hidden.rar", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(MakeEmptyFile(t + L"a sub\\system.rar", FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(SetFileAttributesW((t + L"hidden").c_str(), FILE_ATTRIBUTE_HIDDEN));
  if (!(GetFileAttributesW((t + L"hidden").c_str()) & FILE_ATTRIBUTE_HIDDEN)) {
    GTEST_SKIP() << "the file system of the temp folder does not keep the hidden attribute";
  }
  Append(Control(List2), L"C:\\earlier.rar");
  EXPECT_EQ(Drop(List2, {t + L"one.rar", t + L"readme.md", d_ + L"树", t + L"notes.txt"}),
            Strings{L"有 2 个文件不是 RAR 压缩包，未添加。"}) << "none for the other files in the tree";
  EXPECT_EQ(Items(Control(List2)), (Strings{L"C:\\earlier.rar", t + L"one.rar", t + L"one.rar", t + L"Y.RAR", t + L"z.rar",
                                            t + L"a sub\\a.rar", t + L"a sub\\in.rar\\i.rar", t + L"b sub\\b.rar"}));
  // Names in the ANSI code page, read the slower way; nothing to say about archives alone.
  EXPECT_EQ(Drop(MakeDrop(Over(List2), {t + L"one.rar"}, /*wide=*/false)), Strings{});
  EXPECT_EQ(Item(Control(List2), 8), t + L"one.rar");
  EXPECT_EQ(Count(Control(List3)), 0);
}

TEST_F(DropTest, AddListTakesEverythingAsItIsAndPathBoxesTakeOneFileOnly) {
  ASSERT_TRUE(MakeFolder(d_ + L"一个 folder"));
  for (const wchar_t* file : {L"Rar.exe", L"注释.txt"}) ASSERT_TRUE(MakeEmptyFile(d_ + file));
  EXPECT_EQ(Drop(List3, {d_ + L"注释.txt", d_ + L"一个 folder"}), Strings{});
  EXPECT_EQ(Items(Control(List3)), (Strings{d_ + L"注释.txt", d_ + L"一个 folder"}));

  struct Case {
    Strings Dropped;
    const wchar_t* Says;  // null: taken without a word
  };
  const Case cases[] = {{{d_ + L"Rar.exe"}, nullptr},
                        {{d_ + L"注释.txt", d_ + L"Rar.exe"}, L"只能放入一个文件"},
                        {{d_ + L"一个 folder"}, L"不能放入文件夹"}};
  for (const int box : {Text1, Text3}) {
    SetWindowTextW(Control(box), L"typed");
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << Row(box).Name << " " << c.Dropped.size());
      const Strings shown = Drop(box, c.Dropped);
      ASSERT_EQ(shown.size(), c.Says ? 1u : 0u);
      if (c.Says) {
        EXPECT_NE(shown[0].find(c.Says), std::wstring::npos) << ::testing::PrintToString(shown[0]);
      }
      EXPECT_EQ(WindowText(Control(box)), d_ + L"Rar.exe") << "only the one file changes the box";
    }
  }
}

TEST_F(DropTest, ADropAnywhereElseChangesNothingAndSaysNothing) {
  ASSERT_TRUE(MakeEmptyFile(d_ + L"a.rar"));
  Append(Control(List1), L"keep.txt");
  const auto before = Everything();
  // Other controls, and inside a list's frame beside and below the list.
  std::vector<POINT> elsewhere = {Over(List1), Over(Text2), Over(Command8), Over(Command9),
                                  {Place(List2).left - 2, Place(List2).top + 5},
                                  {Place(List3).left + 5, Place(List3).bottom + 1}};
  for (const POINT at : elsewhere) {
    EXPECT_EQ(Drop(MakeDrop(at, {d_ + L"a.rar"})), Strings{}) << at.x << "," << at.y;
  }
  // On the border or the caption, whatever the point.
  EXPECT_EQ(Drop(MakeDrop(Over(List2), {d_ + L"a.rar"}, true, /*onBorder=*/true)), Strings{});
  EXPECT_EQ(Everything(), before);
}

TEST_F(DropTest, AFullListTakesWhatFitsAndSaysHowManyWereLeftOut) {
  Strings dropped;
  for (const wchar_t* name : {L"a.rar", L"b.rar", L"c.rar", L"d.rar", L"e.rar", L"other.txt"}) {
    ASSERT_TRUE(MakeEmptyFile(d_ + name));
    dropped.push_back(d_ + name);
  }
  for (const int list : {List2, List3}) {
    SCOPED_TRACE(Row(list).Name);
    ASSERT_EQ(AppendMany(Control(list), Strings(kMaxListItems - 2, L"C:\\old")), kMaxListItems - 2);
    const Strings shown = Drop(list, dropped);
    ASSERT_EQ(shown.size(), 1u) << "one message";
    EXPECT_EQ(shown[0].find(ListFullText()), 0u) << ::testing::PrintToString(shown[0]);
    EXPECT_NE(shown[0].find(list == List2 ? L"已添加 2 个文件，另有 3 个文件未添加。\n\n有 1 个文件不是 RAR 压缩包"
                                          : L"已添加 2 个文件，另有 4 个文件未添加。"),
              std::wstring::npos) << ::testing::PrintToString(shown[0]);
    EXPECT_EQ(Item(Control(list), kMaxListItems - 1), d_ + L"b.rar");
  }
}

TEST_F(DropTest, AnArchiveDeeperThanMaxPathIsImportedAndDroppedWholeAndReachesTheArchiver) {
  const std::wstring deep = testing::MakeDeepFolder(d_);
  ASSERT_FALSE(deep.empty()) << "cannot make a folder deeper than MAX_PATH";
  const std::wstring archive = deep + L"长 路径.rar";
  ASSERT_TRUE(testing::WriteFakeArchive(archive, {true, false, L"", {{L"old.txt", L""}}, false, false, L""}));
  FileList imported{nullptr, L"*.rar", L""};
  EXPECT_EQ(ImportFolderFrom(Control(List2), imported, deep).Appended, 1);
  EXPECT_EQ(Drop(List3, {archive}), Strings{});
  EXPECT_EQ(Drop(List2, {d_ + L"深"}), Strings{});
  ASSERT_EQ(Items(Control(List2)), (Strings{archive, archive}));
  ASSERT_EQ(Items(Control(List3)), (Strings{archive}));

  Clear(Control(List2));
  Clear(Control(List3));
  Append(Control(List2), archive);
  SetWindowTextW(Control(Text1), testing::InstallFakeRar(program_.Path()).c_str());
  Append(Control(List1), L"old.txt");
  Button_SetCheck(Control(Check1), BST_CHECKED);
  SendMessageW(Control(Command9), BM_CLICK, 0, 0);
  ASSERT_TRUE(window_->ScriptProcess()) << "the script was not started";
  ASSERT_TRUE(testing::WaitForExit(window_->ScriptProcess()));
  EXPECT_EQ(testing::ReadRecordedCalls(program_.Path()),
            (std::vector<Strings>{{L"d", archive, L"old.txt"}, {L"k", archive}}));
  // The delete emptied the archive, so the archiver erased it (and the lock found none).
  EXPECT_FALSE(testing::ReadFakeArchive(archive).Exists);
}

}  // namespace
}  // namespace rarbatch
