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

// The table of the design, kept apart from the program's own so that a typo in either shows.
struct Expected {
  int Id;
  const wchar_t* Class;
  LONG ButtonType;  // BS_* for buttons, -1 otherwise
  const wchar_t* Caption;
  int Container, Left, Top, Width, Height;
};
const Expected kExpected[] = {
    {Frame1, L"Button", BS_GROUPBOX, L"WINRAR 的安装目录", 0, 90, 90, 6945, 690},
    {Text1, L"Edit", -1, L"", Frame1, 135, 270, 5460, 240},
    {Command1, L"Button", BS_PUSHBUTTON, L"浏览(&B)", Frame1, 5715, 225, 1140, 285},
    {Frame2, L"Button", BS_GROUPBOX, L"需要从压缩包里删除的文件列表", 0, 90, 2475, 6945, 1680},
    {List1, L"ListBox", -1, L"", Frame2, 135, 270, 6630, 960},
    {Text2, L"Edit", -1, L"", Frame2, 1035, 1305, 3300, 240},
    {Label1, L"Static", -1, L"文件名：", Frame2, 270, 1350, 720, 180},
    {Command2, L"Button", BS_PUSHBUTTON, L"添加", Frame2, 4410, 1305, 780, 285},
    {Command3, L"Button", BS_PUSHBUTTON, L"删除", Frame2, 5265, 1305, 780, 285},
    {Command4, L"Button", BS_PUSHBUTTON, L"清空", Frame2, 6120, 1305, 690, 285},
    {Frame3, L"Button", BS_GROUPBOX, L"需要处理的压缩包列表", 0, 90, 855, 6945, 1545},
    {Command5, L"Button", BS_PUSHBUTTON, L"清空", Frame3, 6075, 1125, 690, 285},
    {Command6, L"Button", BS_PUSHBUTTON, L"删除", Frame3, 5175, 1125, 780, 285},
    {List2, L"ListBox", -1, L"", Frame3, 135, 270, 6630, 780},
    {Command8, L"Button", BS_PUSHBUTTON, L"浏览", Frame3, 4275, 1125, 780, 285},
    {File1, nullptr, -1, nullptr, Frame3, 4860, 315, 1860, 990},
    {Frame4, L"Button", BS_GROUPBOX, L"选择注释文本文件", 0, 135, 5940, 6945, 690},
    {Command7, L"Button", BS_PUSHBUTTON, L"浏览(&B)", Frame4, 5715, 225, 1140, 285},
    {Text3, L"Edit", -1, L"", Frame4, 135, 270, 5460, 240},
    {Command9, L"Button", BS_PUSHBUTTON, L"生成 BAT 文件并且运行", 0, 4095, 7650, 2985, 285},
    {Frame5, L"Button", BS_GROUPBOX, L"需要添加到压缩包的文件列表", 0, 90, 4230, 6945, 1545},
    {Command10, L"Button", BS_PUSHBUTTON, L"添加文件夹", Frame5, 3825, 1125, 1230, 285},
    {List3, L"ListBox", -1, L"", Frame5, 135, 270, 6630, 780},
    {Command11, L"Button", BS_PUSHBUTTON, L"删除", Frame5, 5175, 1125, 780, 285},
    {Command12, L"Button", BS_PUSHBUTTON, L"清空", Frame5, 6075, 1125, 690, 285},
    {File2, nullptr, -1, nullptr, 0, 4950, 4365, 1860, 990},
    {Frame6, L"Button", BS_GROUPBOX, L"其它选项", 0, 135, 6705, 6945, 825},
    {Check1, L"Button", BS_AUTOCHECKBOX, L"锁定压缩文件(k 锁)", Frame6, 90, 270, 1950, 195},
    {Check2, L"Button", BS_AUTOCHECKBOX, L"添加密码  密码为:", Frame6, 90, 540, 2940, 180},
    {Text4, L"Edit", -1, L"", Frame6, 1890, 495, 2850, 270},
    {Label2, L"Static", -1, kWebAddress, 0, 135, 7695, 1980, 180},
    {Command13, L"Button", BS_PUSHBUTTON, L"添加单个文件", Frame5, 2250, 1125, 1500, 285},
    {Label3, L"Static", -1, kSiteName, 0, 2295, 7695, 1080, 180},
    {Check3, L"Button", BS_AUTOCHECKBOX, L"在本窗口中运行并显示结果", Frame6, 2250, 270, 3150, 195},
    {Command14, L"Button", BS_PUSHBUTTON, L"预览", 0, 3435, 7650, 600, 285},
    {Frame7, L"Button", BS_GROUPBOX, L"在本窗口中运行时", 0, 135, 7995, 6945, 525},
    {Check4, L"Button", BS_AUTOCHECKBOX, L"修改前备份原压缩包", Frame7, 90, 270, 2100, 195},
    {Check5, L"Button", BS_AUTOCHECKBOX, L"保留压缩包的修改时间", Frame7, 2250, 270, 2250, 195},
    {Check6, L"Button", BS_AUTOCHECKBOX, L"处理后测试压缩包", Frame7, 4590, 270, 2100, 195},
};

TEST_F(MainWindowTest, EveryControlHasItsClassCaptionPlaceAndSizeInTwips) {
  ASSERT_EQ(std::size(kExpected), static_cast<std::size_t>(kControlCount));
  for (const Expected& want : kExpected) {
    SCOPED_TRACE(Row(want.Id).Name);
    HWND control = Control(want.Id);
    ASSERT_NE(control, nullptr);
    if (want.Class) {
      wchar_t className[64] = {};
      GetClassNameW(control, className, 64);
      EXPECT_STREQ(className, want.Class);
      EXPECT_EQ(WindowText(control), want.Caption);
      EXPECT_TRUE(IsWindowVisible(control));
    }
    if (want.ButtonType >= 0) {
      EXPECT_EQ(GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK, want.ButtonType);
    }
    const RECT at = ClientRectOf(control);
    int left = PixelsToTwips(at.left), top = PixelsToTwips(at.top);
    if (want.Container) {
      const RECT frame = ClientRectOf(Control(want.Container));
      left -= PixelsToTwips(frame.left);
      top -= PixelsToTwips(frame.top);
    }
    EXPECT_EQ(left, want.Left);
    EXPECT_EQ(top, want.Top);
    EXPECT_EQ(PixelsToTwips(at.right - at.left), want.Width);
    EXPECT_EQ(PixelsToTwips(at.bottom - at.top), want.Height);
  }
}

TEST_F(MainWindowTest, WindowHasItsCaptionClientSizeAndFixedBorderWithMinimize) {
  EXPECT_EQ(WindowText(hwnd_), L"WINRAR 压缩包批量处理");
  RECT client;
  GetClientRect(hwnd_, &client);
  EXPECT_EQ(PixelsToTwips(client.right), 7155);
  EXPECT_EQ(PixelsToTwips(client.bottom), 8610);
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
                       Command14, Check4,   Check5,   Check6};
  // The run's options take the focus only while they apply, with Check3.
  SendMessageW(Control(Check3), BM_CLICK, 0, 0);
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
  EXPECT_EQ(GetFileAttributesW((d + L"a.rar.busy").c_str()), INVALID_FILE_ATTRIBUTES)
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

TEST_F(MainWindowTest, HandlerErrorIsReportedByNameAndTheWindowKeepsItsJob) {
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
    EXPECT_NE(text.find(L"Label2_Click"), std::wstring::npos) << text;
    EXPECT_NE(text.find(c.Text), std::wstring::npos) << text;
  }
  EXPECT_TRUE(IsWindow(hwnd_));
  EXPECT_EQ(Items(Control(List1)), (Strings{L"keep.txt"}));
}

}  // namespace
}  // namespace rarbatch
