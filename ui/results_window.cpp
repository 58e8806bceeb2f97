// 处理结果: runs a job inside the program and shows every archive's result as it comes.
#include "ui/results_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <map>

#include "core/number_text.h"
#include "core/run_report.h"
#include "dialogs/file_picker.h"
#include "run/run_report_file.h"
#include "ui/child_windows.h"
#include "ui/detail_window.h"
#include "ui/fonts.h"
#include "win/clipboard.h"
#include "ui/restore.h"
#include "win/dpi.h"
#include "win/error_text.h"
#include "win/file_identity.h"
#include "win/files.h"
#include "win/message_box.h"
#include "win/text.h"

namespace rarbatch {
namespace {

constexpr UINT kArchiveChanged = WM_APP + 1;  // wParam: the archive's position
constexpr UINT kRunEnded = WM_APP + 2;
constexpr UINT kPreviewChanged = WM_APP + 3;  // wParam: the archive's position
constexpr UINT kPreviewEnded = WM_APP + 4;
constexpr UINT_PTR kClockTimer = 1;

constexpr wchar_t kClassName[] = L"rarbatch.Results";
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

void SetCellText(HWND table, int row, int column, const std::wstring& text) {
  ListView_SetItemText(table, row, column, const_cast<wchar_t*>(text.c_str()));
}

}  // namespace

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
  if (previewer_) return OpenPreview(instance, owner);
  const std::size_t count = runner_.ArchiveCount();
  const bool made = CreateWindowAndTable(instance, owner, kResultsTitle, L"状态", L"", count,
                                         [this](std::size_t i) {
                                           const ArchiveResult result = runner_.Result(i);
                                           return TableRow{result.Archive, ArchiveStateName(result.State), result.Detail};
                                         },
                                         [this](int id) { return id == kRestore && !HasBackups(); });
  if (!made) return nullptr;
  ShowAndFocus();
  if (runner_.Start()) {
    SetTimer(Handle(), kClockTimer, 1000, nullptr);
  } else {
    endTick_ = startTick_;
  }
  UpdateProgress();
  UpdateButtons();
  return Handle();
}

bool ResultsWindow::CreateWindowAndTable(HINSTANCE instance, HWND owner, const wchar_t* title,
                                         const wchar_t* stateColumn, const wchar_t* statusText, std::size_t count,
                                         const std::function<TableRow(std::size_t)>& row,
                                         const std::function<bool(int)>& hidden) {
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
  if (!CreateFor(windowClass, 0, title, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, Scale(kWidth, dpi), Scale(kHeight, dpi),
                 owner)) {
    return false;
  }
  const bool made = [&] {
    HWND table = CreateChild(Handle(), WC_LISTVIEWW, L"",
                             WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL, kTable,
                             WS_EX_CLIENTEDGE);
    HWND bar = CreateChild(Handle(), PROGRESS_CLASSW, L"", 0, kProgress);
    HWND line = CreateChild(Handle(), L"STATIC", statusText, SS_LEFT | SS_NOPREFIX, kStatusLine);
    if (!table || !bar || !line) return false;
    // A button the mode does not use stays in the layout, hidden and out of the tab order.
    for (const ButtonRow& button : kButtons) {
      const bool shown = !hidden(button.Id);
      if (!CreateChild(Handle(), L"BUTTON", button.Caption, (shown ? WS_TABSTOP : 0) | BS_PUSHBUTTON, button.Id)) {
        return false;
      }
      if (!shown) ShowWindow(Control(button.Id), SW_HIDE);
    }
    ListView_SetExtendedListViewStyle(table, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const wchar_t* headers[] = {L"压缩包", stateColumn, L"说明"};
    for (int column = 0; column < 3; ++column) {
      LVCOLUMNW header{};
      header.mask = LVCF_TEXT | LVCF_WIDTH;
      header.pszText = const_cast<wchar_t*>(headers[column]);
      header.cx = 100;
      if (ListView_InsertColumn(table, column, &header) < 0) return false;
    }
    ListView_SetItemCount(table, static_cast<int>(count));
    SendMessageW(table, WM_SETREDRAW, FALSE, 0);
    for (std::size_t i = 0; i < count; ++i) {
      const TableRow cells = row(i);
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(i);
      item.pszText = const_cast<wchar_t*>(cells.Archive.c_str());
      ListView_InsertItem(table, &item);
      SetCellText(table, static_cast<int>(i), 1, cells.State);
      if (!cells.Words.empty()) SetCellText(table, static_cast<int>(i), 2, cells.Words);
    }
    SendMessageW(table, WM_SETREDRAW, TRUE, 0);
    if (count > 0) ListView_SetItemState(table, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(std::max<std::size_t>(count, 1)));
    return true;
  }();
  if (!made) DestroyNow();
  return made;
}

void ResultsWindow::ShowAndFocus() {
  ApplyDpi(WindowDpi(Handle()));
  postTarget_ = Handle();
  ShowWindow(Handle(), SW_SHOWNORMAL);
  SetFocus(Control(kTable));
  startTick_ = GetTickCount64();
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
  if (previewer_) LayoutPreview();

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
  switch (message) {
    case kArchiveChanged:
      OnArchiveChanged(static_cast<std::size_t>(wParam));
      return 0;
    case kRunEnded:
      OnRunEnded();
      return 0;
    case kPreviewChanged:
      OnPreviewChanged(static_cast<std::size_t>(wParam));
      return 0;
    case kPreviewEnded:
      OnPreviewEnded();
      return 0;
    case WM_TIMER:
      if (wParam == kClockTimer) UpdateProgress();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (previewer_ && header->idFrom == kTable && header->code == NM_CUSTOMDRAW) return PreviewCustomDraw(lParam);
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

// What the user asked of this window could not be done; the run and its table stay as they are.
void ResultsWindow::OnFailure(const char* what) noexcept {
  try {
    std::wstring error = FromCodePage(what ? what : "", CP_ACP);
    if (error.empty()) error = L"未知错误";
    ShowMessage(Handle(), L"出现意外错误：" + error + L"\n处理结果保持不变。", MB_ICONERROR);
  } catch (...) {
    MessageBoxW(Handle(), L"出现意外错误：内存不足。\n处理结果保持不变。", L"处理结果", MB_OK | MB_ICONERROR);
  }
}

void ResultsWindow::OnCommand(int id) {
  switch (id) {
    case kStop: Stop(); break;
    case kRetry: Retry(); break;
    case kRestore: Restore(); break;
    case kCopy: CopyReport(); break;
    case kSave: SaveReportAs(); break;
    case kClose: SendMessageW(Handle(), WM_CLOSE, 0, 0); break;
    case kStartRun: StartRun(); break;
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
  // Only the row's state and words: the calls' output stays with the runner.
  const ArchiveSummary result = runner_.Row(archive);
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

bool ResultsWindow::FreeFor(const wchar_t* action) {
  const std::optional<std::wstring> busy = busy_ ? busy_(action) : std::nullopt;
  if (busy) ShowMessage(Handle(), *busy, MB_ICONINFORMATION);
  return !busy;
}

void ResultsWindow::Retry() {
  if (runner_.IsRunning() || !FreeFor(L"重试") || !runner_.Retry()) return;
  aborting_ = false;
  endTick_ = 0;
  startTick_ = GetTickCount64();
  SetTimer(Handle(), kClockTimer, 1000, nullptr);
  for (std::size_t i = 0; i < runner_.ArchiveCount(); ++i) OnArchiveChanged(i);
  UpdateButtons();
}

// Puts back the archives this run backed up; each row then says whether its archive was restored.
// An archive that was never copied (refused, or its copy failed) keeps its row.
void ResultsWindow::Restore() {
  if (runner_.IsRunning() || !HasBackups()) return;
  const auto outcome = RestoreAfterAsking(Handle(), backupFolder_ + L"\\" + kManifestName, busy_);
  if (!outcome || !outcome->Error.empty()) return;
  // A row finds its archive's restore by the file, whatever spelling either of them uses.
  std::map<std::wstring, const RestoreRow*> restoredFiles;
  for (const RestoreRow& row : outcome->Rows) restoredFiles[SameFileKey(row.Archive)] = &row;
  std::vector<std::pair<std::wstring, std::wstring>> cells(runner_.ArchiveCount());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const ArchiveResult result = runner_.Result(i);
    cells[i] = {ArchiveStateName(result.State), result.Detail};
    const auto found = restoredFiles.find(SameFileKey(result.Archive));
    if (found != restoredFiles.end()) {
      const RestoreRow& row = *found->second;
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
  if (previewer_) return PreviewReportText();
  std::vector<ReportRow> rows;
  rows.reserve(runner_.ArchiveCount());
  for (std::size_t i = 0; i < runner_.ArchiveCount(); ++i) {
    const ArchiveSummary row = runner_.Row(i);
    if (i < restoredCells_.size()) {
      rows.push_back({runner_.ArchiveName(i), restoredCells_[i].first, restoredCells_[i].second});
    } else {
      rows.push_back({runner_.ArchiveName(i), ArchiveStateName(row.State), row.Detail});
    }
  }
  return FormatReport(rows);
}

std::wstring ResultsWindow::SaveReport(const std::wstring& path) const {
  const DWORD error = SaveReportText(ReportText(), path);
  if (error == ERROR_NO_UNICODE_TRANSLATION) return L"报告含有无法写成 UTF-8 的字符，未保存：" + path;
  return error == ERROR_SUCCESS ? std::wstring() : DescribeFailure(L"无法保存报告", path, error);
}

std::wstring ResultsWindow::DetailText(std::size_t row) const {
  if (previewer_) return FormatPreviewDetail(previewer_->Job(), previewer_->Result(row));
  const ArchiveResult result = runner_.Result(row);
  return FormatCallDetails(result.Archive, ArchiveStateName(result.State), result.Detail, result.Calls);
}

void ResultsWindow::ShowDetail(int row) {
  if (previewer_ && row >= 0 && static_cast<std::size_t>(row) < previewer_->ArchiveCount()) {
    detail_ = std::make_unique<DetailWindow>();
    detail_->Open(Handle(), L"预览详情 - " + previewer_->Job().Archives[row], DetailText(row), dpi_);
    return;
  }
  if (row < 0 || static_cast<std::size_t>(row) >= runner_.ArchiveCount()) return;
  const ArchiveResult result = runner_.Result(static_cast<std::size_t>(row));
  detail_ = std::make_unique<DetailWindow>();
  detail_->Open(Handle(), L"处理详情 - " + result.Archive, DetailText(static_cast<std::size_t>(row)), dpi_);
}

void ResultsWindow::CopyReport() {
  const DWORD error = CopyTextToClipboard(Handle(), ReportText());
  if (error != ERROR_SUCCESS) ShowMessage(Handle(), DescribeFailure(L"无法复制报告", L"", error), MB_ICONWARNING);
}

void ResultsWindow::SaveReportAs() {
  PickedFile picked = PickSaveFile(Handle(), L"保存处理报告", L"处理结果.txt");
  if (!picked.Error.empty()) ShowMessage(Handle(), picked.Error, MB_ICONWARNING);
  if (!picked.Path) return;
  const std::wstring error = SaveReport(*picked.Path);
  if (!error.empty()) ShowMessage(Handle(), error, MB_ICONWARNING);
}

}  // namespace rarbatch

namespace rarbatch {

// The preview mode: the same table, with 压缩包, 预计 and 说明; 开始处理 in place of 停止 and 重试失败项.

std::unique_ptr<ResultsWindow> ResultsWindow::ForPreview(BatchJob job, unsigned workers,
                                                         std::function<bool(const BatchJob&)> startRun) {
  // The runner stays idle with an empty job; the previewer does the work.
  auto window = std::make_unique<ResultsWindow>(BatchJob{}, 1);
  ResultsWindow* self = window.get();
  window->startRun_ = std::move(startRun);
  window->previewer_ = std::make_unique<JobPreviewer>(
      std::move(job), workers ? workers : DefaultWorkerCount(),
      PreviewEvents{[self](std::size_t i) {
                      if (HWND target = self->postTarget_.load()) PostMessageW(target, kPreviewChanged, i, 0);
                    },
                    [self] {
                      if (HWND target = self->postTarget_.load()) PostMessageW(target, kPreviewEnded, 0, 0);
                    }});
  return window;
}

std::vector<ArchivePreview> ResultsWindow::Previews() const {
  return previewer_ ? previewer_->Results() : std::vector<ArchivePreview>{};
}

HWND ResultsWindow::OpenPreview(HINSTANCE instance, HWND owner) {
  const bool made = CreateWindowAndTable(instance, owner, kPreviewTitle, L"预计", L"正在读取压缩包…",
                                         previewer_->ArchiveCount(),
                                         [this](std::size_t i) {
                                           return TableRow{previewer_->Job().Archives[i], L"等待", L""};
                                         },
                                         [](int id) { return id == kStop || id == kRetry; });
  if (!made) return nullptr;
  // 开始处理 takes the place of the hidden 停止 and 重试失败项 (LayoutPreview), last in the tab order.
  if (!CreateChild(Handle(), L"BUTTON", L"开始处理(&S)", WS_TABSTOP | BS_PUSHBUTTON, kStartRun)) {
    DestroyNow();
    return nullptr;
  }
  EnableWindow(Control(kStartRun), FALSE);
  ShowAndFocus();
  previewer_->Start();
  return Handle();
}

void ResultsWindow::LayoutPreview() {
  // 开始处理 where 停止 and 重试失败项 would be.
  RECT stop, retry;
  if (!Control(kStartRun) || !GetWindowRect(Control(kStop), &stop) || !GetWindowRect(Control(kRetry), &retry)) return;
  MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&stop), 2);
  MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&retry), 2);
  MoveWindow(Control(kStartRun), stop.left, stop.top, retry.right - stop.left, stop.bottom - stop.top, TRUE);
}

void ResultsWindow::OnPreviewChanged(std::size_t archive) {
  if (archive >= previewer_->ArchiveCount() || !previewer_->IsDone(archive)) return;
  const PreviewRow row = DescribePreview(previewer_->Job(), previewer_->Result(archive));
  HWND table = Control(kTable);
  SetCellText(table, static_cast<int>(archive), 1, row.State);
  SetCellText(table, static_cast<int>(archive), 2, row.Words);
  std::size_t done = 0;
  for (std::size_t i = 0; i < previewer_->ArchiveCount(); ++i) done += previewer_->IsDone(i) ? 1 : 0;
  SendMessageW(Control(kProgress), PBM_SETPOS, done, 0);
  const std::wstring line = L"正在读取压缩包：" + Decimal(done) + L" / " +
                            Decimal(previewer_->ArchiveCount());
  SetWindowTextW(Control(kStatusLine), line.c_str());
}

void ResultsWindow::OnPreviewEnded() {
  for (std::size_t i = 0; i < previewer_->ArchiveCount(); ++i) OnPreviewChanged(i);
  previewEnded_ = true;
  endTick_ = GetTickCount64();
  const std::wstring line = FormatPreviewSummary(previewer_->Job(), previewer_->Results()) +
                            L"。以上只是预览，尚未修改任何压缩包。";
  SetWindowTextW(Control(kStatusLine), line.c_str());
  EnableWindow(Control(kStartRun), TRUE);
}

// Rows whose archive the deletions would empty (the archiver then deletes the file) in red.
LRESULT ResultsWindow::PreviewCustomDraw(LPARAM lParam) {
  auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      const std::size_t row = static_cast<std::size_t>(draw->nmcd.dwItemSpec);
      if (row < previewer_->ArchiveCount() && previewer_->IsDone(row) && previewer_->Result(row).Emptied &&
          !PreviewBlocked(previewer_->Result(row))) {
        draw->clrText = RGB(0xD0, 0, 0);
        draw->clrTextBk = RGB(0xFF, 0xE4, 0xE4);
        return CDRF_NEWFONT;
      }
      return CDRF_DODEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

std::wstring ResultsWindow::PreviewReportText() const {
  std::vector<ReportRow> rows;
  const std::vector<ArchivePreview> previews = previewer_->Results();
  for (std::size_t i = 0; i < previews.size(); ++i) {
    if (!previewer_->IsDone(i)) {
      rows.push_back({previews[i].Archive, L"等待", L""});
      continue;
    }
    const PreviewRow row = DescribePreview(previewer_->Job(), previews[i]);
    rows.push_back({previews[i].Archive, row.State, row.Words});
  }
  return FormatReport(rows) + FormatPreviewSummary(previewer_->Job(), previews) + L"\r\n";
}

void ResultsWindow::StartRun() {
  if (!previewEnded_ || !startRun_) return;
  if (startRun_(previewer_->Job())) DestroyWindow(Handle());
}

}  // namespace rarbatch
