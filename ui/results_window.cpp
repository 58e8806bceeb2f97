// 处理结果: runs a job inside the program and shows every archive's result as it comes.
#include "ui/results_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "core/run_report.h"
#include "dialogs/file_picker.h"
#include "ui/fonts.h"
#include "ui/restore.h"
#include "win/dpi.h"
#include "win/error_text.h"
#include "win/files.h"
#include "win/message_box.h"
#include "win/text.h"

namespace rarbatch {
namespace {

constexpr UINT kArchiveChanged = WM_APP + 1;  // wParam: the archive's position
constexpr UINT kRunEnded = WM_APP + 2;
constexpr UINT_PTR kClockTimer = 1;

constexpr wchar_t kClassName[] = L"rarbatch.Results";
constexpr wchar_t kDetailClassName[] = L"rarbatch.ResultDetail";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

// Sizes in pixels at 96 DPI, scaled to the window's DPI.
constexpr int kMargin = 8, kGap = 6, kButtonHeight = 24, kLineHeight = 16, kBarHeight = 14;
constexpr int kWidth = 720, kHeight = 440, kMinWidth = 520, kMinHeight = 260;

struct ButtonRow {
  int Id;
  const wchar_t* Caption;
  int Width;
};
constexpr ButtonRow kButtons[] = {
    {ResultsWindow::kStop, L"停止", 80},         {ResultsWindow::kRetry, L"重试失败项", 96},
    {ResultsWindow::kRestore, L"还原", 72},
    {ResultsWindow::kCopy, L"复制报告", 88},     {ResultsWindow::kSave, L"保存报告…", 88},
    {ResultsWindow::kClose, L"关闭", 80},
};

int Scale(int pixels, unsigned dpi) { return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

HWND CreateChild(HWND parent, const wchar_t* windowClass, const wchar_t* text, DWORD style, int id,
                 DWORD exStyle = 0) {
  return CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
}

void SetCellText(HWND table, int row, int column, const std::wstring& text) {
  ListView_SetItemText(table, row, column, const_cast<wchar_t*>(text.c_str()));
}

}  // namespace

// The command lines of one archive with their exit codes and output, in a read-only text box; Esc or
// 关闭 closes it.
class DetailWindow : public Window {
 public:
  // Not IDOK or IDCANCEL, which the text box's notifications would otherwise look like.
  static constexpr int kTextId = 100;

  ~DetailWindow() override { DestroyNow(); }

  HWND Open(HWND owner, const std::wstring& title, const std::wstring& text, HFONT font,
            unsigned dpi) {
    WNDCLASSEXW windowClass{};
    windowClass.hInstance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kDetailClassName;
    dpi_ = dpi;
    if (!CreateFor(windowClass, 0, title.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT, Scale(640, dpi),
                   Scale(400, dpi), owner)) {
      return nullptr;
    }

    text_ = CreateChild(Handle(), L"EDIT", text.c_str(),
                        WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                            ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                        kTextId, WS_EX_CLIENTEDGE);
    close_ = CreateChild(Handle(), L"BUTTON", L"关闭", WS_TABSTOP | BS_DEFPUSHBUTTON, IDCANCEL);
    for (HWND control : {text_, close_}) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    Layout();
    ShowWindow(Handle(), SW_SHOWNORMAL);
    SetFocus(text_);
    return Handle();
  }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_SIZE:
        Layout();
        return 0;
      case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) DestroyWindow(Handle());
        return 0;
      default:
        return DefaultHandling(message, wParam, lParam);
    }
  }

  void Layout() {
    if (!text_) return;
    RECT client;
    GetClientRect(Handle(), &client);
    const int margin = Scale(kMargin, dpi_), buttonHeight = Scale(kButtonHeight, dpi_);
    const int buttonWidth = Scale(80, dpi_);
    const int buttonTop = client.bottom - margin - buttonHeight;
    MoveWindow(text_, margin, margin, client.right - 2 * margin, buttonTop - 2 * margin, TRUE);
    MoveWindow(close_, client.right - margin - buttonWidth, buttonTop, buttonWidth, buttonHeight, TRUE);
  }

  HWND text_ = nullptr;
  HWND close_ = nullptr;
  unsigned dpi_ = USER_DEFAULT_SCREEN_DPI;
};

ResultsWindow::ResultsWindow(BatchJob job, unsigned workers)
    : backupFolder_(job.Backup ? job.BackupFolder : std::wstring()),
      runner_(std::move(job), workers ? workers : DefaultWorkerCount(),
              JobEvents{[this](std::size_t i) {
                          if (HWND target = postTarget_.load()) PostMessageW(target, kArchiveChanged, i, 0);
                        },
                        [this](std::size_t i) {
                          if (HWND target = postTarget_.load()) PostMessageW(target, kArchiveChanged, i, 0);
                        },
                        [this] {
                          if (HWND target = postTarget_.load()) PostMessageW(target, kRunEnded, 0, 0);
                        }}) {}

ResultsWindow::~ResultsWindow() {
  postTarget_ = nullptr;
  DestroyNow();
  // The runner, destroyed after this, stops and waits for the archiver calls still running.
}

HWND ResultsWindow::Open(HINSTANCE instance, HWND owner) {
  owner_ = owner;
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  WNDCLASSEXW windowClass{};
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  const unsigned dpi = WindowDpi(owner);
  if (!CreateFor(windowClass, 0, kResultsTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, Scale(kWidth, dpi),
                 Scale(kHeight, dpi), owner)) {
    return nullptr;
  }
  if (!CreateControls()) {
    DestroyNow();
    return nullptr;
  }
  ApplyDpi(WindowDpi(Handle()));
  postTarget_ = Handle();
  ShowWindow(Handle(), SW_SHOWNORMAL);
  SetFocus(Control(kTable));
  startTick_ = GetTickCount64();
  if (runner_.Start()) {
    SetTimer(Handle(), kClockTimer, 1000, nullptr);
  } else {
    endTick_ = startTick_;
  }
  UpdateProgress();
  UpdateButtons();
  return Handle();
}

bool ResultsWindow::CreateControls() {
  HWND table = CreateChild(Handle(), WC_LISTVIEWW, L"",
                           WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL, kTable,
                           WS_EX_CLIENTEDGE);
  HWND bar = CreateChild(Handle(), PROGRESS_CLASSW, L"", 0, kProgress);
  HWND line = CreateChild(Handle(), L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kStatusLine);
  if (!table || !bar || !line) return false;
  for (const ButtonRow& button : kButtons) {
    if (!CreateChild(Handle(), L"BUTTON", button.Caption, WS_TABSTOP | BS_PUSHBUTTON, button.Id)) return false;
  }
  if (!HasBackups()) ShowWindow(Control(kRestore), SW_HIDE);
  ListView_SetExtendedListViewStyle(table, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  const wchar_t* headers[] = {L"压缩包", L"状态", L"说明"};
  for (int column = 0; column < 3; ++column) {
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT | LVCF_WIDTH;
    header.pszText = const_cast<wchar_t*>(headers[column]);
    header.cx = 100;
    if (ListView_InsertColumn(table, column, &header) < 0) return false;
  }
  const std::size_t count = runner_.ArchiveCount();
  ListView_SetItemCount(table, static_cast<int>(count));
  SendMessageW(table, WM_SETREDRAW, FALSE, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const ArchiveResult result = runner_.Result(i);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<wchar_t*>(result.Archive.c_str());
    ListView_InsertItem(table, &item);
    SetCellText(table, static_cast<int>(i), 1, ArchiveStateName(result.State));
    SetCellText(table, static_cast<int>(i), 2, result.Detail);
  }
  SendMessageW(table, WM_SETREDRAW, TRUE, 0);
  if (count > 0) ListView_SetItemState(table, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(std::max<std::size_t>(count, 1)));
  return true;
}

void ResultsWindow::ApplyDpi(unsigned dpi) {
  dpi_ = dpi;
  LOGFONTW logFont = DefaultLogFont(dpi);
  UniqueFont font(CreateFontIndirectW(&logFont));
  if (font) {
    for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    }
    font_ = std::move(font);
  }
  Layout();
}

void ResultsWindow::Layout() {
  HWND table = Control(kTable);
  if (!table) return;
  RECT client;
  GetClientRect(Handle(), &client);
  const int margin = Scale(kMargin, dpi_), gap = Scale(kGap, dpi_);
  const int buttonHeight = Scale(kButtonHeight, dpi_);
  const int width = std::max<int>(0, client.right - 2 * margin);
  const int buttonTop = client.bottom - margin - buttonHeight;
  const int lineTop = buttonTop - gap - Scale(kLineHeight, dpi_);
  const int barTop = lineTop - gap / 2 - Scale(kBarHeight, dpi_);
  const int tableHeight = std::max<int>(0, barTop - gap - margin);

  HDWP moves = BeginDeferWindowPos(3 + static_cast<int>(std::size(kButtons)));
  auto place = [&](HWND control, int x, int y, int w, int h) {
    if (moves) moves = DeferWindowPos(moves, control, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  place(table, margin, margin, width, tableHeight);
  place(Control(kProgress), margin, barTop, width, Scale(kBarHeight, dpi_));
  place(Control(kStatusLine), margin, lineTop, width, Scale(kLineHeight, dpi_));
  // Buttons from the right edge leftwards, 关闭 last on the right.
  int right = client.right - margin;
  for (auto it = std::rbegin(kButtons); it != std::rend(kButtons); ++it) {
    if (it->Id == kRestore && !HasBackups()) continue;
    const int w = Scale(it->Width, dpi_);
    place(Control(it->Id), right - w, buttonTop, w, buttonHeight);
    right -= w + gap;
  }
  if (moves) EndDeferWindowPos(moves);

  // The columns follow the width: the archive takes half, the status a little, the detail the rest.
  RECT inside;
  GetClientRect(table, &inside);
  const int usable = std::max<int>(0, inside.right - GetSystemMetrics(SM_CXVSCROLL));
  const int status = Scale(72, dpi_);
  const int archive = std::max<int>(Scale(120, dpi_), usable / 2);
  ListView_SetColumnWidth(table, 0, archive);
  ListView_SetColumnWidth(table, 1, status);
  ListView_SetColumnWidth(table, 2, std::max<int>(Scale(80, dpi_), usable - archive - status));
}

LRESULT ResultsWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const ULONGLONG now = GetTickCount64();
  if (lastMessageTick_ != 0) longestGapMs_ = std::max<unsigned long long>(longestGapMs_, now - lastMessageTick_);
  lastMessageTick_ = now;

  switch (message) {
    case kArchiveChanged:
      OnArchiveChanged(static_cast<std::size_t>(wParam));
      return 0;
    case kRunEnded:
      OnRunEnded();
      return 0;
    case WM_TIMER:
      if (wParam == kClockTimer) UpdateProgress();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == kTable && (header->code == NM_DBLCLK || header->code == NM_RETURN)) {
        const int row = header->code == NM_DBLCLK ? reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem
                                                   : ListView_GetNextItem(Control(kTable), -1, LVNI_FOCUSED);
        ShowDetail(row);
        return 0;
      }
      break;
    }
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = {Scale(kMinWidth, dpi_), Scale(kMinHeight, dpi_)};
      return 0;
    }
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      dpi_ = LOWORD(wParam);
      SetWindowPos(Handle(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyDpi(LOWORD(wParam));
      return 0;
    }
    case WM_CLOSE:
      if (ConfirmClose() && !runner_.IsRunning()) DestroyWindow(Handle());
      return 0;
    case WM_DESTROY:
      postTarget_ = nullptr;
      KillTimer(Handle(), kClockTimer);
      taskbar_.Show(owner_, 0, 0, TaskbarProgress::State::None);
      return 0;
    default:
      break;
  }
  return DefaultHandling(message, wParam, lParam);
}

void ResultsWindow::OnCommand(int id) {
  switch (id) {
    case kStop: Stop(); break;
    case kRetry: Retry(); break;
    case kRestore: Restore(); break;
    case kCopy: CopyReport(); break;
    case kSave: SaveReportAs(); break;
    case kClose: SendMessageW(Handle(), WM_CLOSE, 0, 0); break;
    case IDOK:  // Enter: the row's detail, when the table has the focus
      if (GetFocus() == Control(kTable)) ShowDetail(ListView_GetNextItem(Control(kTable), -1, LVNI_FOCUSED));
      break;
    case IDCANCEL:  // Esc closes the window once the work is done
      if (!runner_.IsRunning()) DestroyWindow(Handle());
      break;
    default:
      break;
  }
}

void ResultsWindow::OnArchiveChanged(std::size_t archive) {
  const ArchiveResult result = runner_.Result(archive);
  HWND table = Control(kTable);
  SetCellText(table, static_cast<int>(archive), 1, ArchiveStateName(result.State));
  SetCellText(table, static_cast<int>(archive), 2, result.Detail);
  UpdateProgress();
}

void ResultsWindow::OnRunEnded() {
  // Rows may still show "running" when their last post is behind this one: bring all up to date.
  for (std::size_t i = 0; i < runner_.ArchiveCount(); ++i) OnArchiveChanged(i);
  if (runner_.IsRunning()) return;  // a retry started meanwhile
  KillTimer(Handle(), kClockTimer);
  endTick_ = GetTickCount64();
  UpdateProgress();
  UpdateButtons();
  if (closeWhenEnded_) DestroyWindow(Handle());
}

void ResultsWindow::UpdateProgress() {
  const RunCounts counts = runner_.Counts();
  const ULONGLONG end = endTick_ ? endTick_ : GetTickCount64();
  std::wstring line = FormatProgressLine(counts.Done, counts.Total, counts.Success, counts.Warning,
                                         counts.Failure, (end - startTick_) / 1000);
  if (runner_.IsStopping()) {
    line += aborting_ ? L"；正在中止正在运行的压缩程序，压缩包保持原样"
                      : L"；正在停止：等正在运行的压缩程序做完当前操作，再按“停止”立即中止";
  }
  if (WindowText(Control(kStatusLine)) != line) SetWindowTextW(Control(kStatusLine), line.c_str());
  SendMessageW(Control(kProgress), PBM_SETPOS, counts.Done, 0);
  const bool running = runner_.IsRunning();
  const auto state = counts.Failure > 0 ? TaskbarProgress::State::Error
                     : running          ? TaskbarProgress::State::Normal
                     : counts.Stopped > 0 ? TaskbarProgress::State::Paused
                                          : TaskbarProgress::State::Normal;
  taskbar_.Show(owner_, counts.Done, counts.Total, state);
}

void ResultsWindow::UpdateButtons() {
  const bool running = runner_.IsRunning();
  const RunCounts counts = runner_.Counts();
  EnableWindow(Control(kStop), running && !closeWhenEnded_ && !aborting_);
  // After a restore the archives are as before the run, and a retry would resume in the middle.
  EnableWindow(Control(kRetry), !running && counts.Failure + counts.Stopped > 0 && restoredCells_.empty());
  EnableWindow(Control(kRestore), !running && HasBackups());
  // A disabled button must not keep the focus, or the keyboard goes nowhere.
  HWND focus = GetFocus();
  if (focus && !IsWindowEnabled(focus) && IsChild(Handle(), focus)) SetFocus(Control(kTable));
}

// The first press lets the running calls finish and starts no more; a second press ends them at once.
void ResultsWindow::Stop() {
  if (runner_.IsStopping()) {
    runner_.Abort();
    aborting_ = true;
  } else {
    runner_.Stop();
  }
  UpdateProgress();
  UpdateButtons();
}

void ResultsWindow::Retry() {
  if (runner_.IsRunning() || !runner_.Retry()) return;
  aborting_ = false;
  endTick_ = 0;
  startTick_ = GetTickCount64();
  SetTimer(Handle(), kClockTimer, 1000, nullptr);
  for (std::size_t i = 0; i < runner_.ArchiveCount(); ++i) OnArchiveChanged(i);
  UpdateButtons();
}

namespace {

std::wstring FullPathOf(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return path;
    if (length < full.size()) return full.substr(0, length);
    full.resize(length);
  }
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                              TRUE) == CSTR_EQUAL;
}

}  // namespace

// Puts back the archives this run backed up; each row then says whether its archive was restored.
// An archive that was never copied (refused, or its copy failed) keeps its row.
void ResultsWindow::Restore() {
  if (runner_.IsRunning() || !HasBackups()) return;
  const auto outcome = RestoreAfterAsking(Handle(), backupFolder_ + L"\\" + kManifestName);
  if (!outcome || !outcome->Error.empty()) return;
  std::vector<std::pair<std::wstring, std::wstring>> cells(runner_.ArchiveCount());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const ArchiveResult result = runner_.Result(i);
    cells[i] = {ArchiveStateName(result.State), result.Detail};
    const std::wstring full = FullPathOf(result.Archive);
    for (const RestoreRow& row : outcome->Rows) {
      if (!SamePath(row.Archive, full)) continue;
      cells[i] = row.Restored ? std::pair<std::wstring, std::wstring>{L"已还原", L"已还原为修改前的内容"}
                              : std::pair<std::wstring, std::wstring>{L"还原失败", row.Detail};
    }
    SetCellText(Control(kTable), static_cast<int>(i), 1, cells[i].first);
    SetCellText(Control(kTable), static_cast<int>(i), 2, cells[i].second);
  }
  restoredCells_ = std::move(cells);
  UpdateButtons();
}

bool ResultsWindow::ConfirmClose() {
  if (!runner_.IsRunning()) return true;
  if (closeWhenEnded_) return true;
  const int answer = AskUser(Handle(),
                             L"仍有压缩包正在处理。\n要停止处理吗？正在运行的压缩程序会被中止，它正在修改的压缩包保持原样。",
                             MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
  if (answer != IDYES) return false;
  closeWhenEnded_ = true;
  runner_.Abort();
  aborting_ = true;
  UpdateProgress();
  UpdateButtons();
  return true;
}

std::wstring ResultsWindow::ReportText() const {
  std::vector<ReportRow> rows;
  rows.reserve(runner_.ArchiveCount());
  for (std::size_t i = 0; i < runner_.ArchiveCount(); ++i) {
    const ArchiveResult result = runner_.Result(i);
    if (i < restoredCells_.size()) {
      rows.push_back({result.Archive, restoredCells_[i].first, restoredCells_[i].second});
    } else {
      rows.push_back({result.Archive, ArchiveStateName(result.State), result.Detail});
    }
  }
  return FormatReport(rows);
}

std::wstring ResultsWindow::SaveReport(const std::wstring& path) const {
  // With a byte order mark, so that every editor on Windows takes it for UTF-8.
  const auto bytes = ToCodePage(L"\uFEFF" + ReportText(), CP_UTF8);
  if (!bytes) return L"报告含有无法写成 UTF-8 的字符，未保存：" + path;
  const DWORD error = WriteWholeFile(path, *bytes);
  return error == ERROR_SUCCESS ? std::wstring() : DescribeFailure(L"无法保存报告", path, error);
}

std::wstring ResultsWindow::DetailText(std::size_t row) const {
  const ArchiveResult result = runner_.Result(row);
  return FormatCallDetails(result.Archive, ArchiveStateName(result.State), result.Detail, result.Calls);
}

void ResultsWindow::ShowDetail(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= runner_.ArchiveCount()) return;
  const ArchiveResult result = runner_.Result(static_cast<std::size_t>(row));
  detail_ = std::make_unique<DetailWindow>();
  detail_->Open(Handle(), L"处理详情 - " + result.Archive, DetailText(static_cast<std::size_t>(row)),
                font_.get(), dpi_);
}

void ResultsWindow::CopyReport() {
  const std::wstring text = ReportText();
  if (!OpenClipboard(Handle())) {
    ShowMessage(Handle(), DescribeFailure(L"无法打开剪贴板", L"", GetLastError()), MB_ICONWARNING);
    return;
  }
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  bool handedOver = false;
  if (memory) {
    if (void* target = GlobalLock(memory)) {
      std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(target));
      GlobalUnlock(memory);
      handedOver = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    }
    if (!handedOver) GlobalFree(memory);  // the clipboard owns it only once it took it
  }
  const DWORD error = GetLastError();
  CloseClipboard();
  if (!handedOver) ShowMessage(Handle(), DescribeFailure(L"无法复制报告", L"", error), MB_ICONWARNING);
}

void ResultsWindow::SaveReportAs() {
  PickedFile picked = PickSaveFile(Handle(), L"保存处理报告", L"处理结果.txt");
  if (!picked.Error.empty()) ShowMessage(Handle(), picked.Error, MB_ICONWARNING);
  if (!picked.Path) return;
  const std::wstring error = SaveReport(*picked.Path);
  if (!error.empty()) ShowMessage(Handle(), error, MB_ICONWARNING);
}

}  // namespace rarbatch
