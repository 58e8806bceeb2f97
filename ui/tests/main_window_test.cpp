// The main window under Wine: its layout read back from the real controls, the keyboard, and every
// button with its effect, dialogs answered from a second thread.
#include <gtest/gtest.h>

#include <objbase.h>
#include <windowsx.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/batch_script.h"
#include "ui/layout.h"
#include "lists/item_list.h"
#include "ui/fonts.h"
#include "core/script_check.h"
#include "ui/main_window.h"
#include "ui/results_window.h"
#include "tools/test_support.h"
#include "ui/web_link.h"
#include "tools/dialog_driver.h"

namespace rarbatch {
namespace {

using testing::ChooseFile;
using testing::ChooseFolder;
using testing::DialogAnswerer;
using testing::PressButton;
using testing::ReadFileBytes;
using testing::ReadRecordedCalls;
using testing::ScratchFolder;
using testing::StaticTexts;
using testing::WindowText;
using Strings = std::vector<std::wstring>;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    MainWindow::Options options;
    options.ProgramFolder = folder_.Path();
    options.QuitOnClose = false;
    window_ = std::make_unique<MainWindow>(options);
    hwnd_ = window_->Create(GetModuleHandleW(nullptr));
    ASSERT_NE(hwnd_, nullptr);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
  }
  void TearDown() override {
    if (window_ && window_->ScriptProcess()) testing::WaitForExit(window_->ScriptProcess());
    if (window_ && window_->Results()) testing::PumpUntil([&] { return !window_->Results()->IsRunning(); });
    window_.reset();
    SetWebOpener(nullptr);
    CoUninitialize();
  }

  HWND Control(int id) const { return window_->Control(id); }
  void Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
  void Type(int id, const std::wstring& text) { SetWindowTextW(Control(id), text.c_str()); }
  void Fill(int list, const Strings& items) {
    for (const auto& item : items) Append(Control(list), item);
  }
  void Select(int list, int position) {
    SendMessageW(Control(list), LB_SETSEL, TRUE, position);
  }
  // Presses the button and answers the dialog it opens with `answer`; true when it was answered.
  // Id 0 closes the window instead, and answers the results window's question.
  bool ClickAnswering(int id, std::function<void(HWND)> answer) {
    DialogAnswerer answerer(id ? hwnd_ : window_->Results()->Handle(), std::move(answer));
    if (id) Click(id);
    else SendMessageW(hwnd_, WM_CLOSE, 0, 0);
    return answerer.Finish();
  }
  int PixelsToTwips(int pixels) const { return MulDiv(pixels, kTwipsPerInch, window_->Dpi()); }
  RECT ClientRectOf(HWND control) const {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }

  ScratchFolder folder_;  // the program's folder for these tests: tmp.bat goes here
  // The last script the window started, or null.
  HANDLE Script() const { return window_->ScriptProcess(); }
  std::unique_ptr<MainWindow> window_;
  HWND hwnd_ = nullptr;
};

// The window class a control of each kind is made of, and a button's type.
struct KindClass {
  ControlKind Kind;
  const wchar_t* Class;
  LONG ButtonType;  // BS_* for buttons, -1 otherwise
};
constexpr KindClass kKindClasses[] = {
    {ControlKind::Frame, L"Button", BS_GROUPBOX},    {ControlKind::TextBox, L"Edit", -1},
    {ControlKind::Button, L"Button", BS_PUSHBUTTON}, {ControlKind::List, L"ListBox", -1},
    {ControlKind::Label, L"Static", -1},             {ControlKind::Link, L"Static", -1},
    {ControlKind::CheckBox, L"Button", BS_AUTOCHECKBOX},
};

TEST_F(MainWindowTest, EveryVisibleControlIsOfItsKindAndCarriesItsCaption) {
  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(row.Name);
    HWND control = Control(row.Id);
    ASSERT_NE(control, nullptr);
    if (row.Kind == ControlKind::FileList) {
      EXPECT_FALSE(IsWindowVisible(control)) << "the file lists only list files";
      continue;
    }
    EXPECT_TRUE(IsWindowVisible(control));
    for (const KindClass& kind : kKindClasses) {
      if (kind.Kind != row.Kind) continue;
      wchar_t className[64] = {};
      GetClassNameW(control, className, 64);
      EXPECT_STREQ(className, kind.Class);
      if (kind.ButtonType >= 0) {
        EXPECT_EQ(GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK, kind.ButtonType);
      }
    }
    if (row.Kind != ControlKind::Link && row.Kind != ControlKind::Label) {
      EXPECT_EQ(WindowText(control), row.Caption);
    }
  }
}

// The part of a control that shows something: for a check box, its box and caption, not the empty
// rest of its rectangle, which the design lets run under the password box.
RECT ShownPart(HWND control, const ControlRow& row, unsigned dpi, RECT at) {
  if (row.Kind != ControlKind::CheckBox) return at;
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  SIZE text{};
  const std::wstring caption = WindowText(control);
  GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  at.right = std::min<LONG>(at.right, at.left + MulDiv(13 + 4, static_cast<int>(dpi), 96) + text.cx);
  return at;
}

// What a user sees: at every common DPI, no control covers another (a frame holds the controls inside
// it) and every control lies inside the window's client area.
TEST_F(MainWindowTest, NoTwoControlsOverlapAtAnyCommonDpi) {
  for (unsigned dpi : {96u, 120u, 144u, 192u}) {
    SCOPED_TRACE(dpi);
    RECT suggested;
    GetWindowRect(hwnd_, &suggested);
    SendMessageW(hwnd_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    // The client area as the window asks for it (the test's screen may be too small to hold it all).
    const RECT client{0, 0, TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi)};
    std::vector<std::pair<const ControlRow*, RECT>> shown;
    for (const ControlRow& row : kControls) {
      if (row.Kind == ControlKind::FileList) continue;
      const RECT at = ShownPart(Control(row.Id), row, dpi, ClientRectOf(Control(row.Id)));
      EXPECT_TRUE(at.left >= 0 && at.top >= 0 && at.right <= client.right && at.bottom <= client.bottom)
          << row.Name << " lies outside the window";
      shown.emplace_back(&row, at);
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
      for (std::size_t k = i + 1; k < shown.size(); ++k) {
        const ControlRow& a = *shown[i].first;
        const ControlRow& b = *shown[k].first;
        if (a.Container == b.Id || b.Container == a.Id) continue;  // a frame and what it holds
        RECT both;
        EXPECT_FALSE(IntersectRect(&both, &shown[i].second, &shown[k].second)) << a.Name << " covers " << b.Name;
      }
    }
  }
}

TEST_F(MainWindowTest, WindowHasItsCaptionClientSizeAndFixedBorderWithMinimize) {
  EXPECT_EQ(WindowText(hwnd_), L"WINRAR 压缩包批量处理");
  RECT client;
  GetClientRect(hwnd_, &client);
  EXPECT_EQ(PixelsToTwips(client.right), 7155);
  EXPECT_EQ(PixelsToTwips(client.bottom), 8970);
  const LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_EQ(window_->MyPath(), folder_.Path());
}

TEST_F(MainWindowTest, EverythingStartsEmptyAndUnchecked) {
  for (int id : {Text1, Text2, Text3, Text4}) EXPECT_EQ(WindowText(Control(id)), L"") << id;
  for (int id : {List1, List2, List3}) EXPECT_EQ(Count(Control(id)), 0) << id;
  for (int id : {Check1, Check2, Check3}) EXPECT_EQ(Button_GetCheck(Control(id)), BST_UNCHECKED) << id;
  EXPECT_FALSE(GetWindowLongW(Control(Text4), GWL_STYLE) & ES_PASSWORD);
}

// The backup, time and test options belong to the run in the program: usable only with Check3.
TEST_F(MainWindowTest, RunOptionsFollowCheck3AndGoIntoTheJob) {
  for (int id : {Check4, Check5, Check6}) EXPECT_FALSE(IsWindowEnabled(Control(id))) << id;
  SendMessageW(Control(Check3), BM_CLICK, 0, 0);
  for (int id : {Check4, Check5, Check6}) {
    EXPECT_TRUE(IsWindowEnabled(Control(id))) << id;
    SendMessageW(Control(id), BM_CLICK, 0, 0);
  }
  const BatchJob job = window_->GatherJob();
  EXPECT_TRUE(job.Backup && job.KeepTimes && job.TestBeforeLock);
  SendMessageW(Control(Check3), BM_CLICK, 0, 0);
  for (int id : {Check4, Check5, Check6}) EXPECT_FALSE(IsWindowEnabled(Control(id))) << id;
}

TEST_F(MainWindowTest, LinkIsBlueUnderlinedWithArrowCursorAndOtherTextIsNot) {
  HDC dc = CreateCompatibleDC(nullptr);
  SendMessageW(hwnd_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(Control(Label2)));
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 255));
  DeleteDC(dc);

  LOGFONTW link{}, plain{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control(Label2), WM_GETFONT, 0, 0)), sizeof link, &link);
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control(Label3), WM_GETFONT, 0, 0)), sizeof plain, &plain);
  EXPECT_TRUE(link.lfUnderline);
  EXPECT_FALSE(plain.lfUnderline);
  EXPECT_STREQ(link.lfFaceName, plain.lfFaceName);
  if (IsFontInstalled(L"宋体", GB2312_CHARSET)) {
    EXPECT_STREQ(plain.lfFaceName, L"宋体");
    EXPECT_EQ(plain.lfHeight, -MulDiv(9, static_cast<int>(window_->Dpi()), 72));
  }
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(Control(Label2), GCLP_HCURSOR)),
            LoadCursorW(nullptr, IDC_ARROW));
}

TEST_F(MainWindowTest, DpiChangeMovesControlsAndScalesFonts) {
  LOGFONTW before{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control(Text1), WM_GETFONT, 0, 0)), sizeof before, &before);
  RECT suggested;
  GetWindowRect(hwnd_, &suggested);
  SendMessageW(hwnd_, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(window_->Dpi(), 144u);
  for (int id : {Text1, Command9, List3, Check2, Label2}) {
    const RECT at = ClientRectOf(Control(id));
    const PixelRect want = ControlRect(Row(id), 144);
    EXPECT_EQ(at.left, want.X) << id;
    EXPECT_EQ(at.top, want.Y) << id;
    EXPECT_EQ(at.right - at.left, want.Width) << id;
    EXPECT_EQ(at.bottom - at.top, want.Height) << id;
  }
  LOGFONTW after{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control(Text1), WM_GETFONT, 0, 0)), sizeof after, &after);
  EXPECT_NEAR(std::abs(after.lfHeight), std::abs(before.lfHeight) * 3 / 2.0, 1.0);
}

TEST_F(MainWindowTest, TabFollowsTheTableAndSkipsTheHiddenFileLists) {
  const int order[] = {Text1,  Command1,  List1,     Text2,     Command2, Command3, Command4, Command5,
                       Command6, List2,   Command8,  Command7,  Text3,    Command9, Command10, List3,
                       Command11, Command12, Check1, Check2,    Text4,    Command13, Check3,
                       Command14, Check4,   Check5,   Check6,   Command15};
  // The run's options take the keyboard once Check3 turns them on.
  Button_SetCheck(Control(Check3), BST_CHECKED);
  SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(Check3, BN_CLICKED), reinterpret_cast<LPARAM>(Control(Check3)));
  ASSERT_TRUE(IsWindowEnabled(Control(Check4)));
  HWND current = Control(Text1);
  for (std::size_t i = 1; i <= std::size(order); ++i) {
    current = GetNextDlgTabItem(hwnd_, current, FALSE);
    EXPECT_EQ(GetDlgCtrlID(current), order[i % std::size(order)]) << "after " << order[i - 1];
  }
  current = Control(Text1);
  for (std::size_t i = std::size(order); i > 0; --i) {
    current = GetNextDlgTabItem(hwnd_, current, TRUE);
    EXPECT_EQ(GetDlgCtrlID(current), order[i - 1]);
  }
  for (int id : {File1, File2}) {
    EXPECT_FALSE(IsWindowVisible(Control(id))) << id;
    EXPECT_FALSE(GetWindowLongW(Control(id), GWL_STYLE) & WS_TABSTOP) << id;
  }
}

// What the dialog manager does with one key pressed while `focus` has the focus.
void PressKey(HWND window, HWND focus, WPARAM key) {
  SetFocus(focus);
  MSG message{focus, WM_KEYDOWN, key, 0, 0, {}};
  IsDialogMessageW(window, &message);
}

TEST_F(MainWindowTest, TabKeyMovesFocusAndEnterAndEscPressNothing) {
  PressKey(hwnd_, Control(Text1), VK_TAB);
  EXPECT_EQ(GetFocus(), Control(Command1));

  Type(Text2, L"readme.txt");
  PressKey(hwnd_, Control(Command2), VK_RETURN);
  PressKey(hwnd_, Control(Command2), VK_ESCAPE);
  PressKey(hwnd_, Control(Text2), VK_RETURN);
  EXPECT_EQ(Count(Control(List1)), 0);
  EXPECT_TRUE(IsWindow(hwnd_));
}

TEST_F(MainWindowTest, DeleteListButtonsAddTypedNameRemoveSelectedAndClear) {
  Click(Command2);
  EXPECT_EQ(Count(Control(List1)), 0) << "an empty name is not added";
  Type(Text2, L"  ");
  Click(Command2);
  Type(Text2, L"*.bak old.txt");
  Click(Command2);
  Click(Command2);
  EXPECT_EQ(Items(Control(List1)), (Strings{L"  ", L"*.bak old.txt", L"*.bak old.txt"}));
  EXPECT_EQ(WindowText(Control(Text2)), L"*.bak old.txt");

  Select(List1, 0);
  Select(List1, 2);
  Click(Command3);
  EXPECT_EQ(Items(Control(List1)), (Strings{L"*.bak old.txt"}));
  Click(Command4);
  EXPECT_EQ(Count(Control(List1)), 0);
}

TEST_F(MainWindowTest, ArchiveAndAddListButtonsRemoveSelectedAndClearTheirOwnList) {
  struct Case { int List, Remove, ClearButton; };
  for (const Case c : {Case{List2, Command6, Command5}, Case{List3, Command11, Command12}}) {
    SCOPED_TRACE(c.List);
    for (int list : {List1, List2, List3}) Fill(list, {L"a", L"b", L"c"});
    Select(c.List, 0);
    Select(c.List, 2);
    Click(c.Remove);
    EXPECT_EQ(Items(Control(c.List)), (Strings{L"b"}));
    Click(c.ClearButton);
    EXPECT_EQ(Count(Control(c.List)), 0);
    for (int list : {List1, List2, List3}) {
      if (list != c.List) {
        EXPECT_EQ(Count(Control(list)), 3) << "another list was touched";
      }
      Clear(Control(list));
    }
  }
}

TEST_F(MainWindowTest, FilePickersFillArchiverAndCommentBoxesAndAppendToAddList) {
  const std::wstring rar = testing::InstallFakeRar(folder_.Path());
  const std::wstring comment = folder_.Path() + L"注释.txt";
  CloseHandle(CreateFileW(comment.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

  ASSERT_TRUE(ClickAnswering(Command1, [&](HWND d) { ChooseFile(d, rar); }));
  EXPECT_EQ(WindowText(Control(Text1)), rar);
  ASSERT_TRUE(ClickAnswering(Command1, [](HWND d) { PressButton(d, IDCANCEL); }));
  EXPECT_EQ(WindowText(Control(Text1)), rar) << "cancel keeps the path";

  Type(Text3, L"typed by hand.txt");
  ASSERT_TRUE(ClickAnswering(Command7, [&](HWND d) { ChooseFile(d, comment); }));
  EXPECT_EQ(WindowText(Control(Text3)), comment);

  ASSERT_TRUE(ClickAnswering(Command13, [&](HWND d) { ChooseFile(d, comment); }));
  ASSERT_TRUE(ClickAnswering(Command13, [&](HWND d) { ChooseFile(d, comment); }));
  ASSERT_TRUE(ClickAnswering(Command13, [](HWND d) { PressButton(d, IDCANCEL); }));
  EXPECT_EQ(Items(Control(List3)), (Strings{comment, comment}));
}

void MakeFile(const std::wstring& path) {
  CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

TEST_F(MainWindowTest, FolderButtonsImportRarArchivesAndAllFiles) {
  ScratchFolder source;
  const std::wstring d = source.Path();
  for (const wchar_t* name : {L"b.rar", L"A.RAR", L"notes.txt"}) MakeFile(d + name);
  const std::wstring folder = d.substr(0, d.size() - 1);  // as the picker returns it

  bool chosen = false;
  ASSERT_TRUE(ClickAnswering(Command8, [&](HWND dialog) {
    EXPECT_NE(StaticTexts(dialog).find(L"请选择你要处理的包含 RAR 压缩文件的目录"), std::wstring::npos);
    chosen = ChooseFolder(dialog, folder);
  }));
  ASSERT_TRUE(chosen);
  EXPECT_EQ(Items(Control(List2)), (Strings{d + L"A.RAR", d + L"b.rar"}));

  ASSERT_TRUE(ClickAnswering(Command10, [&](HWND dialog) {
    EXPECT_NE(StaticTexts(dialog).find(L"请选择你要添加的文件的目录"), std::wstring::npos);
    chosen = ChooseFolder(dialog, folder);
  }));
  ASSERT_TRUE(chosen);
  EXPECT_EQ(Items(Control(List3)), (Strings{d + L"A.RAR", d + L"b.rar", d + L"notes.txt"}));

  ASSERT_TRUE(ClickAnswering(Command8, [](HWND dialog) { PressButton(dialog, IDCANCEL); }));
  EXPECT_EQ(Count(Control(List2)), 2) << "cancel imports nothing";
}

TEST_F(MainWindowTest, GenerateWithoutArchiverOnlySaysSo) {
  Fill(List2, {L"D:\\pack\\one.rar"});
  Fill(List1, {L"readme.txt"});
  std::wstring text, title;
  ASSERT_TRUE(ClickAnswering(Command9, [&](HWND box) {
    text = StaticTexts(box);
    title = WindowText(box);
    PressButton(box, IDOK);
  }));
  EXPECT_EQ(text, L"未指定 RAR.exe 的路径无法调用完成！");
  EXPECT_EQ(title, kAppTitle);
  EXPECT_EQ(GetFileAttributesW((folder_.Path() + L"tmp.bat").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(Script());
}

// Whether the file is gone, or goes while the test waits.
bool FileGoes(const std::wstring& path) {
  return testing::WaitUntil([&] { return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

// The script's bytes as the program writes them: in the OEM code page, 936 here.
std::string ToAnsi(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

TEST_F(MainWindowTest, GenerateWritesTheWindowsJobAndTheArchiverGetsIt) {
  const std::wstring d = folder_.Path();
  const std::wstring rar = testing::InstallFakeRar(d);
  Type(Text1, rar);
  Fill(List2, {d + L"一 号.rar", d + L"two.rar"});
  Fill(List1, {L"readme.txt"});
  Fill(List3, {d + L"新 文件.txt"});
  Type(Text3, d + L"注释.txt");
  Button_SetCheck(Control(Check1), BST_CHECKED);
  Button_SetCheck(Control(Check2), BST_CHECKED);
  Type(Text4, L"secret");

  BatchJob want;
  want.RarPath = rar;
  want.Archives = {d + L"一 号.rar", d + L"two.rar"};
  want.DeleteNames = {L"readme.txt"};
  want.AddFiles = {d + L"新 文件.txt"};
  want.CommentFile = d + L"注释.txt";
  want.Lock = true;
  want.UsePassword = true;
  want.Password = L"secret";

  // The archiver takes a while, so the script can be read before it ends and deletes itself.
  testing::FakeArchiverDelay slow(1000);
  Click(Command9);
  ASSERT_TRUE(Script()) << "the script was not started";
  EXPECT_EQ(ReadFileBytes(d + L"tmp.bat"), ToAnsi(ComposeBatchScript(want) + L"\r\n"));
  ASSERT_TRUE(testing::WaitForExit(Script()));
  EXPECT_TRUE(FileGoes(d + L"tmp.bat")) << "a script holding a password is deleted";

  std::vector<Strings> calls;
  for (const std::wstring& archive : want.Archives) {
    calls.push_back({L"d", archive, L"readme.txt"});
    calls.push_back({L"a", L"-psecret", archive, d + L"新 文件.txt"});
    calls.push_back({L"c", L"-z" + d + L"注释.txt", archive});
    calls.push_back({L"k", archive});
  }
  EXPECT_EQ(ReadRecordedCalls(d), calls);

  // Read at the press: unchecking the password option drops -p from the next script.
  Button_SetCheck(Control(Check2), BST_UNCHECKED);
  Click(Command9);
  ASSERT_TRUE(Script());
  ASSERT_TRUE(testing::WaitForExit(Script()));
  want.UsePassword = false;
  EXPECT_EQ(ReadFileBytes(d + L"tmp.bat"), ToAnsi(ComposeBatchScript(want) + L"\r\n"));
  EXPECT_EQ(Items(Control(List2)).size(), 2u) << "the window keeps the job";
}

TEST_F(MainWindowTest, ASecondPressWhileTheScriptRunsIsRefusedAndTouchesNothing) {
  const std::wstring d = folder_.Path();
  Type(Text1, testing::InstallFakeRar(d));
  Fill(List2, {d + L"a.rar"});
  Button_SetCheck(Control(Check1), BST_CHECKED);
  testing::FakeArchiverDelay slow(3000);
  Click(Command9);
  ASSERT_TRUE(Script());
  const HANDLE first = Script();
  const std::string bytes = ReadFileBytes(d + L"tmp.bat");
  Fill(List2, {d + L"b.rar"});

  std::wstring text;
  ASSERT_TRUE(ClickAnswering(Command9, [&](HWND box) {
    text = StaticTexts(box);
    PressButton(box, IDOK);
  }));
  EXPECT_EQ(text, kScriptStillRunningMessage);
  EXPECT_EQ(Script(), first) << "no second script";
  EXPECT_EQ(ReadFileBytes(d + L"tmp.bat"), bytes) << "the running script is not rewritten";

  ASSERT_TRUE(testing::WaitForExit(first));
  Click(Command9);  // once it has ended, the button works again
  EXPECT_NE(Script(), first);
  EXPECT_NE(ReadFileBytes(d + L"tmp.bat"), bytes);
}

// A script, a run, a preview and a restore each rename over or read the same archives: while one of
// them is at work, none of the others starts, and the user is told which one to wait for.
TEST_F(MainWindowTest, WhileOneThingWorksOnTheArchivesNothingElseStarts) {
  const std::wstring d = folder_.Path();
  Type(Text1, testing::InstallFakeRar(d));
  Fill(List2, {d + L"a.rar"});
  ASSERT_TRUE(testing::WriteFakeArchive(d + L"a.rar", {}));
  Button_SetCheck(Control(Check1), BST_CHECKED);
  std::wstring text;
  const auto answered = [&](HWND box) {
    text = StaticTexts(box);
    PressButton(box, IDOK);
  };
  HANDLE script = nullptr;
  {
    testing::FakeArchiverHold hold;
    Click(Command9);  // the script
    ASSERT_TRUE(Script());
    script = Script();

    Button_SetCheck(Control(Check3), BST_CHECKED);
    ASSERT_TRUE(ClickAnswering(Command9, answered));
    EXPECT_EQ(text, L"上一次生成的批处理文件仍在运行，请等它结束后再生成。");
    EXPECT_EQ(window_->Results(), nullptr) << "no run beside the script";
    ASSERT_TRUE(ClickAnswering(Command14, answered));
    EXPECT_EQ(text, L"上一次生成的批处理文件仍在运行，请等它结束后再预览。");
    EXPECT_EQ(window_->Preview(), nullptr) << "no preview beside the script";
    // The system menu's restore asks before its file picker opens.
    DialogAnswerer answerer(hwnd_, answered);
    SendMessageW(hwnd_, WM_SYSCOMMAND, 0x0110, 0);
    ASSERT_TRUE(answerer.Finish());
    EXPECT_EQ(text, L"上一次生成的批处理文件仍在运行，请等它结束后再还原。");
    hold.Release();
    ASSERT_TRUE(testing::WaitForExit(script));
  }
  {
    testing::FakeArchiverHold hold;
    Click(Command9);  // now the run
    ResultsWindow* results = window_->Results();
    ASSERT_NE(results, nullptr);
    ASSERT_TRUE(results->IsRunning());
    EXPECT_EQ(window_->BusyWith(L"还原"), std::optional<std::wstring>(L"上一次的处理仍在进行，请等它结束后再还原。"));
    Button_SetCheck(Control(Check3), BST_UNCHECKED);
    ASSERT_TRUE(ClickAnswering(Command9, answered));
    EXPECT_EQ(text, kRunStillGoingMessage);
    EXPECT_EQ(Script(), script) << "no script beside the run";
    hold.Release();
    ASSERT_TRUE(testing::PumpUntil([&] { return !results->IsRunning(); }));
  }
  EXPECT_EQ(window_->BusyWith(L"还原"), std::nullopt);
}

TEST_F(MainWindowTest, ClosedFirstTheProgramStaysUntilThePasswordScriptEndsAndDeletesIt) {
  const std::wstring d = folder_.Path();
  Type(Text1, testing::InstallFakeRar(d));
  Fill(List2, {d + L"a.rar"});
  Fill(List3, {d + L"f.txt"});
  Button_SetCheck(Control(Check2), BST_CHECKED);
  Type(Text4, L"secret");
  testing::FakeArchiverDelay slow(2000);
  Click(Command9);
  ASSERT_TRUE(Script());
  HANDLE process = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), Script(), GetCurrentProcess(), &process,
                              SYNCHRONIZE, FALSE, 0));
  UniqueHandle owned(process);
  EXPECT_NE(GetFileAttributesW((d + L"tmp.bat").c_str()), INVALID_FILE_ATTRIBUTES);

  window_.reset();  // closes the window; returns once the script has ended and its file is gone
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0) << "returned before the script ended";
  EXPECT_EQ(GetFileAttributesW((d + L"tmp.bat").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MainWindowTest, Check3RunsTheJobInTheProgramWithoutAScript) {
  const std::wstring d = folder_.Path();
  Type(Text1, testing::InstallFakeRar(d));
  Fill(List2, {d + L"ก 一.rar", d + L"two.rar"});  // a name outside code page 936 goes through
  Fill(List3, {d + L"new.txt"});
  ASSERT_TRUE(testing::WriteFileBytes(d + L"new.txt", "x"));
  Button_SetCheck(Control(Check2), BST_CHECKED);
  Button_SetCheck(Control(Check3), BST_CHECKED);

  // The password option without a password would make the archiver wait for one.
  std::wstring text;
  ASSERT_TRUE(ClickAnswering(Command9, [&](HWND box) {
    text = StaticTexts(box);
    PressButton(box, IDOK);
  }));
  EXPECT_EQ(text, kEmptyPasswordMessage);
  EXPECT_EQ(window_->Results(), nullptr);

  Type(Text4, L"p \"w\"");
  testing::FakeArchiverDelay slow(300);
  Click(Command9);
  ResultsWindow* results = window_->Results();
  ASSERT_NE(results, nullptr);
  EXPECT_TRUE(IsWindowVisible(results->Handle()));
  EXPECT_EQ(GetWindow(results->Handle(), GW_OWNER), hwnd_);

  // A second press while the run goes on is refused, and the job was taken at the first press.
  Fill(List2, {d + L"three.rar"});
  ASSERT_TRUE(ClickAnswering(Command9, [&](HWND box) {
    text = StaticTexts(box);
    PressButton(box, IDOK);
  }));
  EXPECT_EQ(text, kRunStillGoingMessage);
  EXPECT_EQ(window_->Results(), results);

  ASSERT_TRUE(testing::PumpUntil([&] { return !results->IsRunning(); }));
  EXPECT_EQ(GetFileAttributesW((d + L"tmp.bat").c_str()), INVALID_FILE_ATTRIBUTES) << "no script";
  for (const wchar_t* name : {L"ก 一.rar", L"two.rar"}) {
    EXPECT_EQ(testing::ReadFakeArchive(d + name).Entries,
              (std::vector<testing::FakeEntry>{{L"new.txt", L"p \"w\""}}))
        << "added under the password as typed";
  }
  EXPECT_EQ(GetFileAttributesW((d + L"three.rar").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MainWindowTest, ClosingWhileAJobRunsAsksAndEndsTheArchiver) {
  const std::wstring d = folder_.Path();
  Type(Text1, testing::InstallFakeRar(d));
  Fill(List2, {d + L"a.rar", d + L"a.rar", d + L"a.rar"});
  ASSERT_TRUE(testing::WriteFakeArchive(d + L"a.rar", {}));
  Button_SetCheck(Control(Check1), BST_CHECKED);
  Button_SetCheck(Control(Check3), BST_CHECKED);
  testing::FakeArchiverDelay slow(60000);  // the first call is still at work when the window closes
  Click(Command9);
  ASSERT_NE(window_->Results(), nullptr);
  const std::wstring busy = d + L"a.rar.busy";
  ASSERT_TRUE(testing::PumpUntil([&] { return GetFileAttributesW(busy.c_str()) != INVALID_FILE_ATTRIBUTES; }))
      << "the first call never started";

  ASSERT_TRUE(ClickAnswering(0, [](HWND box) { PressButton(box, IDNO); }));  // WM_CLOSE below
  EXPECT_TRUE(IsWindow(hwnd_)) << "the user chose to go on";

  DialogAnswerer yes(window_->Results()->Handle(), [](HWND box) { PressButton(box, IDYES); });
  SendMessageW(hwnd_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(yes.Finish());
  EXPECT_FALSE(IsWindow(hwnd_));
  const ULONGLONG closed = GetTickCount64();
  window_.reset();  // returns once the archiver call that was running has been ended
  EXPECT_LT(GetTickCount64() - closed, 30000u) << "the running archiver was not ended";
  EXPECT_EQ(testing::ReadRecordedCalls(d).size(), 1u) << "the run was stopped";
  EXPECT_FALSE(testing::ReadFakeArchive(d + L"a.rar").Locked) << "the archive is left as it was";
  EXPECT_EQ(GetFileAttributesW(busy.c_str()), INVALID_FILE_ATTRIBUTES)
      << "no archiver still works on the archive";
}

// Sends the mouse press and release of one click in the middle of a control.
void ClickWithMouse(HWND control) {
  RECT rect;
  GetClientRect(control, &rect);
  const LPARAM at = MAKELPARAM(rect.right / 2, rect.bottom / 2);
  SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(control, WM_LBUTTONUP, 0, at);
}

TEST_F(MainWindowTest, LinkClickOpensTheCaptionOncePerClickAndSiteNameDoesNothing) {
  Strings opened;
  SetWebOpener([&](const std::wstring& address) { opened.push_back(address); });
  ClickWithMouse(Control(Label2));
  ClickWithMouse(Control(Label2));
  ClickWithMouse(Control(Label3));
  EXPECT_EQ(opened, (Strings{kWebAddress, kWebAddress}));
  EXPECT_EQ(WindowText(Control(Label2)), kWebAddress);
}

TEST_F(MainWindowTest, AFailedActionIsReportedInTheUsersWordsAndTheWindowKeepsItsJob) {
  Fill(List1, {L"keep.txt"});
  struct Case { std::function<void()> Fail; const wchar_t* Text; };
  for (const Case& c : {Case{[] { throw std::runtime_error("opener broke"); }, L"opener broke"},
                        Case{[] { throw 42; }, L"未知错误"}}) {
    SetWebOpener([&](const std::wstring&) { c.Fail(); });
    std::wstring text;
    DialogAnswerer answerer(hwnd_, [&](HWND box) {
      text = StaticTexts(box);
      PressButton(box, IDOK);
    });
    ClickWithMouse(Control(Label2));
    ASSERT_TRUE(answerer.Finish());
    EXPECT_EQ(text.find(L"“打开项目主页”没有完成："), 0u) << text;
    EXPECT_EQ(text.find(L"_Click"), std::wstring::npos) << "no handler name: " << text;
    EXPECT_NE(text.find(c.Text), std::wstring::npos) << text;
  }
  EXPECT_TRUE(IsWindow(hwnd_));
  EXPECT_EQ(Items(Control(List1)), (Strings{L"keep.txt"}));
}


TEST_F(MainWindowTest, PreviewChangesNothingAndItsStartButtonRunsTheSameJob) {
  const std::wstring d = folder_.Path();
  Type(Text1, testing::InstallFakeRar(d));
  testing::FakeArchive archive;
  archive.Entries = {{L"old.bak", L""}, {L"keep.txt", L""}};
  ASSERT_TRUE(testing::WriteFakeArchive(d + L"a.rar", archive));
  Fill(List2, {d + L"a.rar"});
  Fill(List1, {L"*.bak"});
  Click(Command14);
  PreviewWindow* preview = window_->Preview();
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(testing::WindowText(preview->Handle()), kPreviewTitle);
  EXPECT_EQ(window_->Results(), nullptr);
  ASSERT_TRUE(testing::PumpUntil([&] { return preview->PreviewDone(); }));
  ASSERT_EQ(preview->Previews().size(), 1u);
  EXPECT_EQ(preview->Previews()[0].Removed, (std::vector<std::wstring>{L"old.bak"}));
  EXPECT_EQ(testing::ReadFakeArchive(d + L"a.rar").Entries.size(), 2u) << "the preview changed nothing";

  // The lists changed since the preview: its start button asks for a new one.
  Fill(List1, {L"keep.txt"});
  std::wstring text;
  DialogAnswerer answerer(preview->Handle(), [&](HWND box) {
    text = StaticTexts(box);
    PressButton(box, IDOK);
  });
  SendMessageW(preview->Control(PreviewWindow::kStartRun), BM_CLICK, 0, 0);
  ASSERT_TRUE(answerer.Finish());
  EXPECT_NE(text.find(L"重新预览"), std::wstring::npos);
  EXPECT_EQ(window_->Results(), nullptr);

  // As previewed: the run starts in the results window and the preview closes.
  SendMessageW(Control(List1), LB_DELETESTRING, 1, 0);
  SendMessageW(preview->Control(PreviewWindow::kStartRun), BM_CLICK, 0, 0);
  ASSERT_NE(window_->Results(), nullptr);
  EXPECT_FALSE(IsWindow(preview->Handle()));
  ASSERT_TRUE(testing::PumpUntil([&] { return !window_->Results()->IsRunning(); }));
  EXPECT_EQ(testing::ReadFakeArchive(d + L"a.rar").Entries, (std::vector<testing::FakeEntry>{{L"keep.txt", L""}}));
}

}  // namespace
}  // namespace rarbatch
