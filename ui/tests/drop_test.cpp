// Files dropped on the main window: real drops (a DROPFILES block, as the shell hands it over) sent
// to the window at a point over each control, with the messages they give caught from a second
// thread.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <memory>
#include <string>
#include <vector>

#include "core/paths.h"
#include "lists/item_list.h"
#include "tools/dialog_driver.h"
#include "tools/test_support.h"
#include "ui/layout.h"
#include "ui/main_window.h"
#include "ui/reports.h"

namespace rarbatch {
namespace {

using testing::MessageCatcher;
using testing::ScratchFolder;
using testing::WindowText;
using Strings = std::vector<std::wstring>;

// A drop as the shell hands it to a window: DROPFILES, then the wide paths each ended by a NUL and
// one more NUL. The window that takes it frees it.
HDROP MakeDrop(POINT at, const Strings& paths, bool onBorder = false) {
  std::size_t chars = 1;
  for (const auto& path : paths) chars += path.size() + 1;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
  files->pFiles = sizeof(DROPFILES);
  files->pt = at;
  files->fNC = onBorder;
  files->fWide = TRUE;
  auto* text = reinterpret_cast<wchar_t*>(files + 1);
  for (const auto& path : paths) {
    path.copy(text, path.size());
    text += path.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

// The same drop with the names in the ANSI code page, as older programs make it.
HDROP MakeAnsiDrop(POINT at, const Strings& paths) {
  std::string names;
  for (const auto& path : paths) {
    const int size = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string name(static_cast<std::size_t>(size), '\0');  // with its NUL
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, name.data(), size, nullptr, nullptr);
    names += name;
  }
  names += '\0';
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
  auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
  files->pFiles = sizeof(DROPFILES);
  files->pt = at;
  names.copy(reinterpret_cast<char*>(files + 1), names.size());
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

bool MakeFolder(const std::wstring& path, DWORD attributes = 0) {
  const std::wstring system = ExtendedLengthPath(path);
  return CreateDirectoryW(system.c_str(), nullptr) &&
         (attributes == 0 || SetFileAttributesW(system.c_str(), attributes));
}

bool MakeFile(const std::wstring& path, DWORD attributes = 0) {
  const std::wstring system = ExtendedLengthPath(path);
  HANDLE file = CreateFileW(system.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return attributes == 0 || SetFileAttributesW(system.c_str(), attributes);
}

class DropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    MainWindow::Options options;
    options.ProgramFolder = program_.Path();
    options.QuitOnClose = false;
    window_ = std::make_unique<MainWindow>(options);
    hwnd_ = window_->Create(GetModuleHandleW(nullptr));
    ASSERT_NE(hwnd_, nullptr);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
  }
  void TearDown() override {
    if (window_ && window_->ScriptProcess()) testing::WaitForExit(window_->ScriptProcess(), 30000);
    window_.reset();
    CoUninitialize();
  }

  HWND Control(int id) const { return window_->Control(id); }
  // The middle of a control, in the main window's client coordinates.
  POINT Over(int id) const {
    RECT rect;
    GetWindowRect(Control(id), &rect);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&rect), 2);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  }
  // Drops `paths` at `at` and returns the text of every message it showed.
  Strings Drop(POINT at, const Strings& paths, bool onBorder = false) {
    MessageCatcher messages(hwnd_);
    SendMessageW(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(at, paths, onBorder)), 0);
    return messages.Texts();
  }
  Strings Drop(int id, const Strings& paths) { return Drop(Over(id), paths); }
  // What each list and box holds, to see that a drop touched nothing else.
  std::vector<Strings> Everything() const {
    std::vector<Strings> all;
    for (int list : {List1, List2, List3}) all.push_back(Items(Control(list)));
    for (int box : {Text1, Text2, Text3, Text4}) all.push_back({WindowText(Control(box))});
    return all;
  }

  ScratchFolder program_;  // tmp.bat goes here
  ScratchFolder files_;    // what is dropped
  std::unique_ptr<MainWindow> window_;
  HWND hwnd_ = nullptr;
};

TEST_F(DropTest, TheWindowTakesDrops) {
  EXPECT_TRUE(GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

TEST_F(DropTest, ArchiveListTakesRarFilesAndTheTreesOfFoldersAndCountsTheRestInOneMessage) {
  const std::wstring& d = files_.Path();
  const std::wstring t = d + L"树 tree\\";
  for (const wchar_t* folder : {L"", L"b sub", L"a sub", L"a sub\\inner.rar", L"hidden sub"}) {
    ASSERT_TRUE(MakeFolder(t + folder));
  }
  for (const wchar_t* file : {L"z.rar", L"Y.RAR", L"notes.txt", L"b sub\\b.rar", L"a sub\\a.rar",
                              L"a sub\\inner.rar\\i.rar", L"hidden sub\\h.rar", L"one.rar", L"readme.md",
                              L"photo.jpg"}) {
    ASSERT_TRUE(MakeFile(t + file));
  }
  ASSERT_TRUE(MakeFile(t + L"hidden.rar", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW((t + L"hidden sub").c_str(), FILE_ATTRIBUTE_HIDDEN));
  if (!(GetFileAttributesW((t + L"hidden sub").c_str()) & FILE_ATTRIBUTE_HIDDEN)) {
    GTEST_SKIP() << "the file system of the temp folder does not keep the hidden attribute";
  }
  Append(Control(List2), L"C:\\earlier.rar");

  const Strings shown = Drop(List2, {t + L"one.rar", t + L"readme.md", d + L"树 tree", t + L"photo.jpg"});
  EXPECT_EQ(Items(Control(List2)),
            (Strings{L"C:\\earlier.rar", t + L"one.rar", t + L"one.rar", t + L"Y.RAR", t + L"z.rar",
                     t + L"a sub\\a.rar", t + L"a sub\\inner.rar\\i.rar", t + L"b sub\\b.rar"}));
  EXPECT_EQ(shown, (Strings{L"有 2 个文件不是 RAR 压缩包，未添加。"}))
      << "one message for the dropped files left out; none for the folders' other files";
  EXPECT_EQ(Count(Control(List3)), 0);
  EXPECT_EQ(Count(Control(List1)), 0);

  // Only .rar files: nothing to say.
  EXPECT_EQ(Drop(List2, {t + L"z.rar"}), Strings{});
}

TEST_F(DropTest, AddListTakesEveryDroppedFileAndFolderAsItIs) {
  const std::wstring& d = files_.Path();
  ASSERT_TRUE(MakeFolder(d + L"一个 folder"));
  ASSERT_TRUE(MakeFile(d + L"一个 folder\\inside.txt"));
  ASSERT_TRUE(MakeFile(d + L"read me.txt"));
  ASSERT_TRUE(MakeFile(d + L"a.rar"));
  const Strings dropped = {d + L"read me.txt", d + L"一个 folder", d + L"a.rar"};
  EXPECT_EQ(Drop(List3, dropped), Strings{});
  EXPECT_EQ(Items(Control(List3)), dropped);
  EXPECT_EQ(Count(Control(List2)), 0);
}

TEST_F(DropTest, PathBoxesTakeTheOneDroppedFileAndNothingElse) {
  const std::wstring& d = files_.Path();
  ASSERT_TRUE(MakeFile(d + L"Rar.exe"));
  ASSERT_TRUE(MakeFile(d + L"注释.txt"));
  ASSERT_TRUE(MakeFolder(d + L"a folder"));
  for (const int box : {Text1, Text3}) {
    SCOPED_TRACE(Row(box).Name);
    SetWindowTextW(Control(box), L"typed");
    EXPECT_EQ(Drop(box, {d + L"Rar.exe"}), Strings{});
    EXPECT_EQ(WindowText(Control(box)), d + L"Rar.exe");

    struct Refused {
      Strings Paths;
      const wchar_t* Says;
    };
    for (const Refused& refused : {Refused{{d + L"注释.txt", d + L"Rar.exe"}, L"只能放入一个文件"},
                                   Refused{{d + L"a folder"}, L"不能放入文件夹"}}) {
      const Strings shown = Drop(box, refused.Paths);
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_NE(shown[0].find(refused.Says), std::wstring::npos) << ::testing::PrintToString(shown[0]);
      EXPECT_EQ(WindowText(Control(box)), d + L"Rar.exe") << "unchanged";
    }
    EXPECT_EQ(Drop(box, {d + L"注释.txt"}), Strings{});
    EXPECT_EQ(WindowText(Control(box)), d + L"注释.txt");
  }
  EXPECT_EQ(Count(Control(List3)), 0);
}

TEST_F(DropTest, ADropAnywhereElseChangesNothingAndSaysNothing) {
  const std::wstring& d = files_.Path();
  ASSERT_TRUE(MakeFile(d + L"a.rar"));
  Append(Control(List1), L"keep.txt");
  SetWindowTextW(Control(Text2), L"typed name");
  const auto before = Everything();

  RECT client;
  GetClientRect(hwnd_, &client);
  // Other controls, the frames around the lists beside them, and the empty corner of the window.
  std::vector<POINT> elsewhere;
  for (int id : {List1, Text2, Text4, Command1, Command8, Command9, Command13, Check1, Label2}) {
    elsewhere.push_back(Over(id));
  }
  for (int list : {List2, List3}) {
    RECT rect;
    GetWindowRect(Control(list), &rect);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&rect), 2);
    elsewhere.push_back({rect.left - 2, rect.top + 5});
    elsewhere.push_back({rect.left + 5, rect.bottom + 1});
  }
  elsewhere.push_back({client.right - 2, client.bottom - 2});
  for (const POINT at : elsewhere) {
    SCOPED_TRACE(::testing::Message() << at.x << "," << at.y);
    EXPECT_EQ(Drop(at, {d + L"a.rar"}), Strings{});
    EXPECT_EQ(Everything(), before);
  }
  // A drop on the border or caption is no control's, whatever the point says.
  EXPECT_EQ(Drop(Over(List2), {d + L"a.rar"}, /*onBorder=*/true), Strings{});
  EXPECT_EQ(Everything(), before);
}

TEST_F(DropTest, APostedDropIsTakenLikeASentOne) {
  const std::wstring& d = files_.Path();
  ASSERT_TRUE(MakeFile(d + L"posted.rar"));
  PostMessageW(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(Over(List2), {d + L"posted.rar"})), 0);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  EXPECT_EQ(Items(Control(List2)), (Strings{d + L"posted.rar"}));
}

TEST_F(DropTest, NamesInTheAnsiCodePageAreTakenToo) {
  const std::wstring& d = files_.Path();
  for (const wchar_t* name : {L"中文 一.rar", L"b.rar"}) ASSERT_TRUE(MakeFile(d + name));
  SendMessageW(hwnd_, WM_DROPFILES,
               reinterpret_cast<WPARAM>(MakeAnsiDrop(Over(List2), {d + L"中文 一.rar", d + L"b.rar"})), 0);
  EXPECT_EQ(Items(Control(List2)), (Strings{d + L"中文 一.rar", d + L"b.rar"}));
}

TEST_F(DropTest, AFullListTakesWhatFitsAndSaysHowManyWereLeftOut) {
  const std::wstring& d = files_.Path();
  Strings dropped;
  for (const wchar_t* name : {L"a.rar", L"b.rar", L"c.rar", L"d.rar", L"e.rar"}) {
    ASSERT_TRUE(MakeFile(d + name));
    dropped.push_back(d + name);
  }
  for (const int list : {List2, List3}) {
    SCOPED_TRACE(Row(list).Name);
    Strings filler;
    for (int i = 0; i < kMaxListItems - 2; ++i) filler.push_back(L"C:\\old\\" + std::to_wstring(i));
    ASSERT_EQ(AppendMany(Control(list), filler), kMaxListItems - 2);
    Strings withOther = dropped;
    withOther.push_back(d + L"other.txt");
    const Strings shown = Drop(list, withOther);
    ASSERT_EQ(shown.size(), 1u) << "one message";
    EXPECT_EQ(shown[0].find(ListFullText()), 0u) << ::testing::PrintToString(shown[0]);
    const std::wstring counts = list == List2 ? L"已添加 2 个文件，另有 3 个文件未添加。"
                                              : L"已添加 2 个文件，另有 4 个文件未添加。";
    EXPECT_NE(shown[0].find(counts), std::wstring::npos) << ::testing::PrintToString(shown[0]);
    EXPECT_EQ(shown[0].find(L"不是 RAR 压缩包") != std::wstring::npos, list == List2);
    EXPECT_EQ(Count(Control(list)), kMaxListItems);
    EXPECT_EQ(Item(Control(list), kMaxListItems - 1), d + L"b.rar");
    Clear(Control(list));
  }
}

// A folder well past MAX_PATH, in steps of 40 characters.
std::wstring MakeDeepFolder(const std::wstring& base) {
  std::wstring path = base + L"深";
  if (!MakeFolder(path)) return {};
  for (int step = 0; path.size() <= MAX_PATH + 40; ++step) {
    path += L"\\" + std::to_wstring(step) + L" 层 " + std::wstring(32, L'x');
    if (!MakeFolder(path)) return {};
  }
  return path + L"\\";
}

TEST_F(DropTest, AnArchiveDeeperThanMaxPathIsDroppedWholeAndReachesTheArchiver) {
  const std::wstring deep = MakeDeepFolder(files_.Path());
  ASSERT_FALSE(deep.empty()) << "cannot make a folder deeper than MAX_PATH";
  const std::wstring archive = deep + L"长 路径.rar";
  ASSERT_GT(archive.size(), static_cast<std::size_t>(MAX_PATH));
  testing::FakeArchive made;
  made.Entries = {{L"old.txt", L""}};
  ASSERT_TRUE(testing::WriteFakeArchive(archive, made));

  EXPECT_EQ(Drop(List2, {files_.Path() + L"深"}), Strings{});
  ASSERT_EQ(Items(Control(List2)), (Strings{archive}));
  EXPECT_EQ(Drop(List3, {archive, deep + L"另一个 file.txt"}), Strings{});
  EXPECT_EQ(Items(Control(List3)), (Strings{archive, deep + L"另一个 file.txt"})) << "dropped names come whole";
  Clear(Control(List3));

  const std::wstring rar = testing::InstallFakeRar(program_.Path());
  SetWindowTextW(Control(Text1), rar.c_str());
  Append(Control(List1), L"old.txt");
  Button_SetCheck(Control(Check1), BST_CHECKED);
  SendMessageW(Control(Command9), BM_CLICK, 0, 0);
  ASSERT_TRUE(window_->ScriptProcess()) << "the script was not started";
  ASSERT_TRUE(testing::WaitForExit(window_->ScriptProcess(), 60000));
  EXPECT_EQ(testing::ReadRecordedCalls(program_.Path()),
            (std::vector<Strings>{{L"d", archive, L"old.txt"}, {L"k", archive}}));
  const testing::FakeArchive after = testing::ReadFakeArchive(archive);
  EXPECT_TRUE(after.Locked);
  EXPECT_TRUE(after.Entries.empty());
}

}  // namespace
}  // namespace rarbatch
