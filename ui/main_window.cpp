// frmMain: creating the controls from the layout table, laying them out at the window's DPI, and one
// handler per control event.
#include "main_window.h"

#include <windowsx.h>

#include <exception>
#include <string>

#include "dialogs/file_picker.h"
#include "dialogs/folder_picker.h"
#include "run/backup.h"
#include "layout.h"
#include "lists/item_list.h"
#include "core/number_text.h"
#include "core/script_check.h"
#include "run/script_runner.h"
#include "ui/drop.h"
#include "ui/fonts.h"
#include "ui/reports.h"
#include "web_link.h"
#include "win/dpi.h"
#include "win/error_text.h"
#include "win/message_box.h"
#include "win/program_folder.h"
#include "win/text.h"

namespace rarbatch {

namespace {

constexpr wchar_t kClassName[] = L"rarbatch.frmMain";
// A fixed border with a minimize button: the layout does not follow the window's size.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = 0;

constexpr wchar_t kArchiveFolderPrompt[] = L"请选择你要处理的包含 RAR 压缩文件的目录";
constexpr wchar_t kAddFolderPrompt[] = L"请选择你要添加的文件的目录";

bool IsChecked(HWND checkBox) { return Button_GetCheck(checkBox) == BST_CHECKED; }

constexpr wchar_t kSamplesNeedTheRunMessage[] =
    L"这个任务要按内容删除文件，批处理文件做不到（它不能比较文件的内容）。\n"
    L"请勾选“在本窗口中运行并显示结果”后再运行，或者先在“按内容删除…”中移除所有样本。\n"
    L"没有生成批处理文件。";

constexpr wchar_t kBackupFolderPrompt[] = L"请选择备份文件夹：每个压缩包在修改前复制到其中新建的文件夹里";

WNDCLASSEXW WindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  return windowClass;
}

// Controls that are created by this window itself; lists and file lists come from their modules.
HWND CreatePlainControl(HWND parent, const ControlRow& row, const PixelRect& at) {
  const wchar_t* windowClass = L"STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE | WS_GROUP;
  DWORD exStyle = 0;
  const wchar_t* caption = row.Caption;
  switch (row.Kind) {
    case ControlKind::Frame:
      // Frames go to the bottom of the order later; clipping keeps them from painting over their
      // contents.
      windowClass = L"BUTTON";
      style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX;
      break;
    case ControlKind::TextBox:
      windowClass = L"EDIT";
      style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::Button:
      windowClass = L"BUTTON";
      style |= WS_TABSTOP | BS_PUSHBUTTON;  // never BS_DEFPUSHBUTTON: Enter presses nothing
      break;
    case ControlKind::CheckBox:
      windowClass = L"BUTTON";
      style |= WS_TABSTOP | BS_AUTOCHECKBOX;
      break;
    case ControlKind::Label:
      style |= SS_LEFT | SS_NOPREFIX;
      if (row.Id == Label3) caption = kSiteName;
      break;
    case ControlKind::Link:
      style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
      caption = kWebAddress;
      break;
    case ControlKind::List:
    case ControlKind::FileList:
      return nullptr;
  }
  return CreateWindowExW(exStyle, windowClass, caption, style, at.X, at.Y, at.Width, at.Height,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.Id)),
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)),
                         nullptr);
}

}  // namespace

MainWindow::MainWindow() : MainWindow(Options{}) {}

MainWindow::MainWindow(Options options) : options_(std::move(options)) {
  file1_.Pattern = Row(File1).Caption;
  file2_.Pattern = Row(File2).Caption;
}

MainWindow::~MainWindow() { DestroyNow(); }

HWND MainWindow::Create(HINSTANCE instance) {
  const unsigned systemDpi = WindowDpi(nullptr);
  const SIZE size = WindowSizeForClient(
      {TwipsToPixels(kClientWidthTwips, systemDpi), TwipsToPixels(kClientHeightTwips, systemDpi)},
      kWindowStyle, kWindowExStyle, systemDpi);
  HWND window = CreateFor(WindowClass(instance), kWindowExStyle, kAppTitle, kWindowStyle,
                          CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr);
  if (!window) return nullptr;
  AcceptDroppedFiles(window);
  AddSystemMenuCommands();
  // The window may sit on a monitor with another DPI than the system's.
  ApplyDpi(WindowDpi(window), nullptr);
  return window;
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      // Controls are made at the window's own DPI, so that laying out again is rarely needed.
      dpi_ = WindowDpi(Handle());
      // A window without all its controls would lose part of the job without a word: refuse it,
      // and creating the window fails.
      if (!CreateControls()) return -1;
      Guarded(L"启动程序", &MainWindow::Form_Load);
      return 0;
    case WM_COMMAND:
      OnCommand(GET_WM_COMMAND_ID(wParam, lParam), GET_WM_COMMAND_CMD(wParam, lParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == Control(Label2)) {
        return reinterpret_cast<LRESULT>(OnLinkColor(reinterpret_cast<HDC>(wParam)));
      }
      break;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_SYSCOMMAND:
      if (OnSystemCommand(wParam)) return 0;
      break;
    case WM_DROPFILES:
      if (auto job = DroppedJobFile(reinterpret_cast<HDROP>(wParam))) {
        OpenJobFile(*job);
        return 0;
      }
      DropFiles(Handle(), reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_DPICHANGED:
      ApplyDpi(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_CLOSE:
      if (OnClose()) DestroyWindow(Handle());
      return 0;
    case WM_DESTROY:
      if (options_.QuitOnClose) PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefaultHandling(message, wParam, lParam);
}

bool MainWindow::CreateControls() {
  for (const ControlRow& row : kControls) {
    const PixelRect at = ControlRect(row, dpi_);
    HWND made = nullptr;
    switch (row.Kind) {
      case ControlKind::List:
        made = CreateItemList(Handle(), row.Id, at.X, at.Y, at.Width, at.Height);
        break;
      case ControlKind::FileList:
        made = (row.Id == File1 ? file1_ : file2_).Window =
            CreateFileList(Handle(), row.Id, at.X, at.Y, at.Width, at.Height);
        break;
      default:
        made = CreatePlainControl(Handle(), row, at);
        break;
    }
    if (!made) return false;
  }
  // Frames under everything else, so that what they contain is drawn over them. Frames take no
  // focus, so the tab order of the other controls stays that of the table.
  for (const ControlRow& row : kControls) {
    if (row.Kind == ControlKind::Frame) {
      SetWindowPos(Control(row.Id), HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  return true;
}

void MainWindow::ApplyDpi(unsigned dpi, const RECT* suggested) {
  dpi_ = dpi;
  LOGFONTW logFont = DefaultLogFont(dpi);
  UniqueFont font(CreateFontIndirectW(&logFont));
  logFont.lfUnderline = TRUE;
  UniqueFont linkFont(CreateFontIndirectW(&logFont));

  for (const ControlRow& row : kControls) {
    HWND control = Control(row.Id);
    if (!control) continue;
    const PixelRect at = ControlRect(row, dpi);
    RECT now;
    GetWindowRect(control, &now);
    MapWindowPoints(HWND_DESKTOP, Handle(), reinterpret_cast<POINT*>(&now), 2);
    // Moving a control costs a redraw of it; most of them already stand where they belong.
    if (now.left != at.X || now.top != at.Y || now.right - now.left != at.Width ||
        now.bottom - now.top != at.Height) {
      SetWindowPos(control, nullptr, at.X, at.Y, at.Width, at.Height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    HFONT chosen = row.Id == Label2 ? linkFont.get() : font.get();
    if (chosen) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
  }
  // The controls now use the new fonts, and the old ones can go. A font that could not be made
  // was not handed out, so the controls still use the old one: it stays.
  if (font.get()) font_ = std::move(font);
  if (linkFont.get()) linkFont_ = std::move(linkFont);

  const SIZE size = WindowSizeForClient(
      {TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi)},
      kWindowStyle, kWindowExStyle, dpi);
  if (suggested) {
    SetWindowPos(Handle(), nullptr, suggested->left, suggested->top, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  }
  InvalidateRect(Handle(), nullptr, TRUE);
}

HBRUSH MainWindow::OnLinkColor(HDC dc) {
  SetTextColor(dc, RGB(0, 0, 255));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

// Closing while a job runs in the program asks whether to stop it. The program then ends only once
// the archiver calls still running have finished: the results window's runner waits for them when
// it goes, after the window has closed.
bool MainWindow::OnClose() { return !results_ || results_->ConfirmClose(); }

void MainWindow::OnActivate(bool active) {
  // As a dialog does: the focus leaves with the window and comes back to the same control.
  if (!active) {
    HWND focus = GetFocus();
    if (focus && IsChild(Handle(), focus)) lastFocus_ = focus;
    return;
  }
  HWND target = lastFocus_ && IsChild(Handle(), lastFocus_) ? lastFocus_ : nullptr;
  if (!target) target = GetNextDlgTabItem(Handle(), nullptr, FALSE);
  if (target) SetFocus(target);
}

void MainWindow::OnCommand(int id, int notification) {
  struct Handler {
    int Id;
    int Notification;
    const wchar_t* Action;  // what the user did, as a message names it
    void (MainWindow::*Run)();
  };
  static const Handler kHandlers[] = {
      {Command1, BN_CLICKED, L"选择 Rar.exe", &MainWindow::Command1_Click},
      {Command2, BN_CLICKED, L"添加要删除的文件名", &MainWindow::Command2_Click},
      {Command3, BN_CLICKED, L"删除选中的文件名", &MainWindow::Command3_Click},
      {Command4, BN_CLICKED, L"清空要删除的文件名", &MainWindow::Command4_Click},
      {Command5, BN_CLICKED, L"清空压缩包列表", &MainWindow::Command5_Click},
      {Command6, BN_CLICKED, L"删除选中的压缩包", &MainWindow::Command6_Click},
      {Command7, BN_CLICKED, L"选择注释文件", &MainWindow::Command7_Click},
      {Command8, BN_CLICKED, L"导入文件夹中的压缩包", &MainWindow::Command8_Click},
      {Command9, BN_CLICKED, L"生成并运行", &MainWindow::Command9_Click},
      {Command10, BN_CLICKED, L"添加文件夹中的文件", &MainWindow::Command10_Click},
      {Command11, BN_CLICKED, L"删除选中的要添加的文件", &MainWindow::Command11_Click},
      {Command12, BN_CLICKED, L"清空要添加的文件", &MainWindow::Command12_Click},
      {Command13, BN_CLICKED, L"添加单个文件", &MainWindow::Command13_Click},
      {Label2, STN_CLICKED, L"打开项目主页", &MainWindow::Label2_Click},
      {Command14, BN_CLICKED, L"预览", &MainWindow::Command14_Click},
      {Command15, BN_CLICKED, L"按内容删除", &MainWindow::Command15_Click},
      {Check3, BN_CLICKED, L"勾选“在本窗口中运行并显示结果”", &MainWindow::Check3_Click},
  };
  // Enter and Esc arrive as IDOK and IDCANCEL, which match no control: they do nothing.
  for (const Handler& handler : kHandlers) {
    if (handler.Id == id && handler.Notification == notification) {
      Guarded(handler.Action, handler.Run);
      return;
    }
  }
}

void MainWindow::Guarded(const wchar_t* action, void (MainWindow::*handler)()) noexcept {
  std::string what;
  try {
    (this->*handler)();
    return;
  } catch (const std::exception& failure) {
    try {
      what = failure.what();
    } catch (...) {
    }
  } catch (...) {
  }
  // Reporting needs memory too; should that fail, a fixed text still reaches the user, and nothing
  // is thrown back through the system's window code.
  try {
    std::wstring error = FromCodePage(what, CP_ACP);
    if (error.empty()) error = L"未知错误";
    const std::wstring message = L"“" + std::wstring(action) + L"”没有完成：" + error +
                                 L"\n窗口中的内容保持不变。";
    MessageBoxW(Handle(), message.c_str(), kAppTitle, MB_OK | MB_ICONERROR);
  } catch (...) {
    MessageBoxW(Handle(), L"操作没有完成：内存不足。\n窗口中的内容保持不变。", kAppTitle,
                MB_OK | MB_ICONERROR);
  }
}

void MainWindow::OnFailure(const char* what) noexcept {
  try {
    std::wstring error = FromCodePage(what ? what : "", CP_ACP);
    if (error.empty()) error = L"未知错误";
    MessageBoxW(Handle(), (L"出现意外错误：" + error + L"\n窗口中的内容保持不变。").c_str(), kAppTitle,
                MB_OK | MB_ICONERROR);
  } catch (...) {
    MessageBoxW(Handle(), L"出现意外错误：内存不足。\n窗口中的内容保持不变。", kAppTitle, MB_OK | MB_ICONERROR);
  }
}

BatchJob MainWindow::GatherJob() const {
  BatchJob job;
  job.RarPath = WindowText(Control(Text1));
  job.Archives = Items(Control(List2));
  job.DeleteNames = Items(Control(List1));
  job.AddFiles = Items(Control(List3));
  job.CommentFile = WindowText(Control(Text3));
  job.Lock = IsChecked(Control(Check1));
  job.UsePassword = IsChecked(Control(Check2));
  job.Password = WindowText(Control(Text4));
  job.Backup = IsChecked(Control(Check4));
  job.KeepTimes = IsChecked(Control(Check5));
  job.TestBeforeLock = IsChecked(Control(Check6));
  job.Samples = samples_;
  return job;
}

void MainWindow::Form_Load() {
  strMyPath_ = options_.ProgramFolder.empty() ? ProgramFolder() : options_.ProgramFolder;
  settings_ = LoadSettings(options_.SettingsFile);
  if (options_.LookForArchiver && WindowText(Control(Text1)).empty()) {
    const std::wstring found = FindArchiver(settings_.LastArchiver);
    if (!found.empty()) SetWindowTextW(Control(Text1), found.c_str());
  }
  Check3_Click();
}

void MainWindow::RememberSettings() {
  if (options_.SettingsFile.empty()) return;
  Settings now = settings_;
  if (const std::wstring archiver = WindowText(Control(Text1)); !archiver.empty()) now.LastArchiver = archiver;
  if (!file1_.Path.empty()) now.ArchiveFolder = file1_.Path;
  if (!file2_.Path.empty()) now.AddFolder = file2_.Path;
  if (now == settings_) return;
  // Not being able to remember is no reason to trouble the user: the next start asks again.
  if (SaveSettings(options_.SettingsFile, now) == ERROR_SUCCESS) settings_ = std::move(now);
}


// The options of the run in the program apply only to it.
void MainWindow::Check3_Click() {
  const bool inWindow = IsChecked(Control(Check3));
  for (int id : {Check4, Check5, Check6}) EnableWindow(Control(id), inWindow);
}


std::optional<std::wstring> MainWindow::BusyWith(const wchar_t* action) const {
  const std::wstring then = std::wstring(L"，请等它结束后再") + action + L"。";
  if (script_ && WaitForSingleObject(script_.get(), 0) == WAIT_TIMEOUT) {
    return L"上一次生成的批处理文件仍在运行" + then;
  }
  if (results_ && results_->IsRunning()) return L"上一次的处理仍在进行" + then;
  if (preview_ && preview_->IsPreviewing()) return L"预览仍在进行" + then;
  return std::nullopt;
}

// False, after telling the user why, when something is at work on the archives.
bool MainWindow::FreeFor(const wchar_t* action) {
  const std::optional<std::wstring> busy = BusyWith(action);
  if (busy) MessageBoxW(Handle(), busy->c_str(), kAppTitle, MB_OK | MB_ICONINFORMATION);
  return !busy;
}

// Shows the file dialog for `use`; the chosen path, or nothing after a cancel or a failure, which is
// reported.
std::optional<std::wstring> MainWindow::PickAndReport(const FilePickerUse& use) {
  PickedFile picked = PickFile(Handle(), use);
  if (!picked.Error.empty()) ShowMessage(Handle(), picked.Error, MB_ICONWARNING);
  return std::move(picked.Path);
}

void MainWindow::Command1_Click() {
  if (auto path = PickAndReport(kPickRar)) SetWindowTextW(Control(Text1), path->c_str());
}

void MainWindow::Command2_Click() { AppendTypedNameAndReport(Control(Text2), Control(List1)); }
void MainWindow::Command3_Click() { RemoveSelected(Control(List1)); }
void MainWindow::Command4_Click() { Clear(Control(List1)); }
void MainWindow::Command5_Click() { Clear(Control(List2)); }
void MainWindow::Command6_Click() { RemoveSelected(Control(List2)); }

void MainWindow::Command7_Click() {
  if (auto path = PickAndReport(kPickComment)) SetWindowTextW(Control(Text3), path->c_str());
}

void MainWindow::Command8_Click() {
  ImportFolder(Handle(), Control(List2), file1_, kArchiveFolderPrompt,
               file1_.Path.empty() ? settings_.ArchiveFolder : file1_.Path);
  RememberSettings();
}

void MainWindow::Command9_Click() {
  RememberSettings();
  if (IsChecked(Control(Check3))) {
    RunInWindow();
  } else {
    GenerateScript();
  }
}

// The generate button as it always was: write tmp.bat and start it. The script cannot compare
// contents: a job with samples writes none, rather than leave out the deletions by content unsaid.
void MainWindow::GenerateScript() {
  if (!samples_.empty()) {
    MessageBoxW(Handle(), kSamplesNeedTheRunMessage, kAppTitle, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (!FreeFor(L"生成")) return;
  // The last script has ended: its file is gone (when it held a password) before a new one is written.
  scriptCleanup_.Wait();
  const BatchJob job = GatherJob();
  const GenerateResult result = GenerateAndRun(strMyPath_, job, &script_);
  if (result.Outcome != GenerateOutcome::Started) {
    const UINT icon = result.Outcome == GenerateOutcome::MissingRar ? MB_ICONINFORMATION
                      : result.Outcome == GenerateOutcome::Refused  ? MB_ICONWARNING
                                                                     : MB_ICONERROR;
    MessageBoxW(Handle(), result.Message.c_str(), kAppTitle, MB_OK | icon);
    return;
  }
  if (ScriptHoldsPassword(job)) scriptCleanup_.DeleteWhenEnded(script_.get(), ScriptPath(strMyPath_));
}

std::optional<BatchJob> MainWindow::RunnableJob() {
  BatchJob job = GatherJob();
  if (job.RarPath.empty()) {
    MessageBoxW(Handle(), kMissingRarMessage, kAppTitle, MB_OK | MB_ICONINFORMATION);
    return std::nullopt;
  }
  if (auto problem = FindRunProblem(job)) {
    MessageBoxW(Handle(), problem->c_str(), kAppTitle, MB_OK | MB_ICONWARNING);
    return std::nullopt;
  }
  return job;
}

// With Check3: the program runs the archiver itself and shows every archive's result. No script is
// written, so the password never reaches the disk.
void MainWindow::RunInWindow() {
  if (!FreeFor(L"生成")) return;
  std::optional<BatchJob> runnable = RunnableJob();
  if (!runnable) return;
  BatchJob job = std::move(*runnable);
  if (!PrepareBackups(job)) return;
  results_.reset();  // the last run's window, which has finished
  auto results = std::make_unique<ResultsWindow>(std::move(job), options_.Workers);
  results->SetBusyCheck([this](const wchar_t* action) { return BusyWith(action); });
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(Handle(), GWLP_HINSTANCE));
  if (!results->Open(instance, Handle())) {
    const std::wstring message = DescribeFailure(L"无法打开处理结果窗口", L"", GetLastError());
    MessageBoxW(Handle(), message.c_str(), kAppTitle, MB_OK | MB_ICONERROR);
    return;
  }
  results_ = std::move(results);
}

// Asks once for the backup folder (with Check4), checks that the disks hold the run, and makes the
// run's own backup folder in the one chosen. False when the run must not start; the user was told why.
bool MainWindow::PrepareBackups(BatchJob& job) {
  std::wstring parent;
  if (job.Backup) {
    const PickedFolder picked = BrowseForFolder(Handle(), kBackupFolderPrompt, backupParent_);
    if (picked.Outcome == FolderPick::Cancelled) return false;
    if (picked.Outcome != FolderPick::Chosen) {
      ShowMessage(Handle(), L"无法取得所选备份文件夹的完整路径，没有开始处理。" +
                                (picked.Path.empty() ? L"" : L"\n系统给出的路径：" + picked.Path),
                  MB_ICONWARNING);
      return false;
    }
    parent = picked.Path;
    backupParent_ = parent;  // where the next run starts looking, and what a saved job keeps
  }
  const unsigned workers = options_.Workers ? options_.Workers : DefaultWorkerCount();
  if (auto problem = FindSpaceProblem(job, workers, parent)) {
    ShowMessage(Handle(), *problem, MB_ICONWARNING);
    return false;
  }
  if (!job.Backup) return true;
  std::wstring error;
  job.BackupFolder = MakeRunBackupFolder(parent, &error);
  if (job.BackupFolder.empty()) {
    ShowMessage(Handle(), error + L"\n没有开始处理。", MB_ICONERROR);
    return false;
  }
  return true;
}

void MainWindow::Command10_Click() {
  ImportFolder(Handle(), Control(List3), file2_, kAddFolderPrompt,
               file2_.Path.empty() ? settings_.AddFolder : file2_.Path);
  RememberSettings();
}

void MainWindow::Command11_Click() { RemoveSelected(Control(List3)); }
void MainWindow::Command12_Click() { Clear(Control(List3)); }

void MainWindow::Command13_Click() {
  if (auto path = PickAndReport(kPickAddFile)) AppendAndReport(Control(List3), *path);
}

void MainWindow::Label2_Click() { OpenWebAddress(WindowText(Control(Label2))); }

}  // namespace rarbatch

namespace rarbatch {
namespace {

bool SameJob(const BatchJob& a, const BatchJob& b) {
  return a.RarPath == b.RarPath && a.Archives == b.Archives && a.DeleteNames == b.DeleteNames &&
         a.AddFiles == b.AddFiles && a.CommentFile == b.CommentFile && a.Lock == b.Lock &&
         a.UsePassword == b.UsePassword && a.Password == b.Password && a.Samples == b.Samples;
}

}  // namespace

// 预览: what the job would do to each archive, read with the archiver and changing nothing. The job is
// checked as the run checks it, so that what is previewed is what 开始处理 can run.
void MainWindow::Command14_Click() {
  if (!FreeFor(L"预览")) return;
  std::optional<BatchJob> runnable = RunnableJob();
  if (!runnable) return;
  BatchJob job = std::move(*runnable);
  preview_.reset();
  auto preview = std::make_unique<PreviewWindow>(
      std::move(job), options_.Workers, [this](const BatchJob& previewed) { return RunPreviewedJob(previewed); });
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(Handle(), GWLP_HINSTANCE));
  if (!preview->Open(instance, Handle())) {
    const std::wstring message = DescribeFailure(L"无法打开预览窗口", L"", GetLastError());
    MessageBoxW(Handle(), message.c_str(), kAppTitle, MB_OK | MB_ICONERROR);
    return;
  }
  preview_ = std::move(preview);
}

void MainWindow::Command15_Click() {
  if (samplesWindow_ && samplesWindow_->Handle()) {
    SetForegroundWindow(samplesWindow_->Handle());
    return;
  }
  samplesWindow_.reset();
  auto window = std::make_unique<SamplesWindow>(
      samples_, [this](std::vector<ContentSample> samples) { SetSamples(std::move(samples)); });
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(Handle(), GWLP_HINSTANCE));
  if (!window->Open(instance, Handle())) {
    const std::wstring message = DescribeFailure(L"无法打开按内容删除的窗口", L"", GetLastError());
    MessageBoxW(Handle(), message.c_str(), kAppTitle, MB_OK | MB_ICONERROR);
    return;
  }
  samplesWindow_ = std::move(window);
}

void MainWindow::SetSamples(std::vector<ContentSample> samples) {
  samples_ = std::move(samples);
  const std::wstring caption =
      samples_.empty() ? std::wstring(Row(Command15).Caption) : L"按内容删除（" + Decimal(samples_.size()) + L"）…";
  SetWindowTextW(Control(Command15), caption.c_str());
}

bool MainWindow::RunPreviewedJob(const BatchJob& previewed) {
  if (!SameJob(GatherJob(), previewed)) {
    MessageBoxW(preview_ ? preview_->Handle() : Handle(), L"预览之后任务已经改变，请重新预览后再开始处理。", kAppTitle,
                MB_OK | MB_ICONINFORMATION);
    return false;
  }
  const ResultsWindow* before = results_.get();
  const HWND beforeWindow = before ? before->Handle() : nullptr;
  RunInWindow();
  return results_ && (results_.get() != before || results_->Handle() != beforeWindow);
}

}  // namespace rarbatch
