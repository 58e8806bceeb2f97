// 按内容删除: the samples window, its list, its buttons and drops, and the thread that reads the files.
#include "ui/samples_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <utility>

#include "core/content_samples.h"
#include "core/number_text.h"
#include "dialogs/file_picker.h"
#include "lists/dropped_files.h"
#include "ui/child_windows.h"
#include "ui/drop.h"
#include "ui/fonts.h"
#include "win/dpi.h"
#include "win/error_text.h"
#include "win/file_hash.h"
#include "win/message_box.h"
#include "win/text.h"

namespace rarbatch {
namespace {

constexpr wchar_t kClassName[] = L"rarbatch.Samples";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;

// The reader's news, posted to the window.
constexpr UINT kFileStarted = WM_APP + 1;
constexpr UINT kFileRead = WM_APP + 2;
constexpr UINT kReadingEnded = WM_APP + 3;

// Sizes in pixels at 96 DPI, scaled to the window's DPI.
constexpr int kMargin = 8, kGap = 6, kButtonHeight = 24, kButtonWidth = 80, kLineHeight = 16;
constexpr int kWidth = 640, kHeight = 320, kMinWidth = 420, kMinHeight = 200;
// The most files one message names; the rest are counted.
constexpr std::size_t kNamedProblems = 10;

const wchar_t* const kColumns[] = {L"名称", L"大小", L"SHA-256", L"来源"};

}  // namespace

SamplesWindow::SamplesWindow(std::vector<ContentSample> samples,
                             std::function<void(std::vector<ContentSample>)> apply)
    : samples_(std::move(samples)), apply_(std::move(apply)) {}

SamplesWindow::~SamplesWindow() {
  postTarget_ = nullptr;
  stop_ = true;
  DestroyNow();
  // The reader gives up between two reads of its file, so this wait is short.
  reader_.Join();
}

HWND SamplesWindow::Open(HINSTANCE instance, HWND owner) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&classes);
  WNDCLASSEXW windowClass{};
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  owner_ = owner;
  dpi_ = WindowDpi(owner);
  if (!CreateFor(windowClass, 0, kSamplesTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, Scale(kWidth, dpi_),
                 Scale(kHeight, dpi_), owner)) {
    return nullptr;
  }
  if (!CreateControls()) {
    DestroyNow();
    return nullptr;
  }
  for (const ContentSample& sample : samples_) AppendRow(sample);
  postTarget_ = Handle();
  AcceptDroppedFiles(Handle());
  ApplyDpi(WindowDpi(Handle()));
  ShowStatus();
  // As a dialog: the main window waits, so its job cannot change under the list.
  if (owner_) {
    EnableWindow(owner_, FALSE);
    ownerDisabled_ = true;
  }
  ShowWindow(Handle(), SW_SHOWNORMAL);
  SetFocus(Control(kList));
  return Handle();
}

bool SamplesWindow::CreateControls() {
  HWND list = CreateChild(Handle(), WC_LISTVIEWW, L"", WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, kList,
                          WS_EX_CLIENTEDGE);
  HWND line = CreateChild(Handle(), L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kStatusLine);
  if (!list || !line) return false;
  const std::pair<int, const wchar_t*> buttons[] = {
      {kAdd, L"添加(&A)…"}, {kRemove, L"删除(&D)"}, {kOk, L"确定"}, {kCancel, L"取消"}};
  for (const auto& [id, caption] : buttons) {
    if (!CreateChild(Handle(), L"BUTTON", caption, WS_TABSTOP | (id == kOk ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), id)) {
      return false;
    }
  }
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  for (int column = 0; column < 4; ++column) {
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT | LVCF_WIDTH;
    header.pszText = const_cast<wchar_t*>(kColumns[column]);
    header.cx = 100;
    if (ListView_InsertColumn(list, column, &header) < 0) return false;
  }
  return true;
}

void SamplesWindow::AppendRow(const ContentSample& sample) {
  HWND list = Control(kList);
  const int row = ListView_GetItemCount(list);
  std::wstring cells[] = {SampleName(sample), SizeText(sample.Size), DigestStart(sample), sample.Origin};
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = cells[0].data();
  if (ListView_InsertItem(list, &item) < 0) return;
  for (int column = 1; column < 4; ++column) ListView_SetItemText(list, row, column, cells[column].data());
}

LRESULT SamplesWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == kList && header->code == LVN_KEYDOWN &&
          reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey == VK_DELETE) {
        OnRemove();
      }
      return 0;
    }
    case WM_DROPFILES: {
      const auto drop = reinterpret_cast<HDROP>(wParam);
      const std::vector<std::wstring> paths = DroppedPaths(drop);
      DragFinish(drop);
      AddFiles(paths);
      return 0;
    }
    case kFileStarted:
      ShowStatus();
      return 0;
    case kFileRead:
      TakeReadFiles();
      return 0;
    case kReadingEnded:
      EndReading();
      return 0;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize = {Scale(kMinWidth, dpi_), Scale(kMinHeight, dpi_)};
      return 0;
    }
    case WM_DPICHANGED: {
      MoveToSuggestedRect(Handle(), lParam);
      ApplyDpi(LOWORD(wParam));
      return 0;
    }
    case WM_CLOSE:
      Finish(false);
      return 0;
    case WM_DESTROY:
      // Also when the main window goes first and takes this one with it.
      postTarget_ = nullptr;
      stop_ = true;
      if (ownerDisabled_) EnableWindow(owner_, TRUE);
      ownerDisabled_ = false;
      return 0;
    default:
      return DefaultHandling(message, wParam, lParam);
  }
}

void SamplesWindow::OnFailure(const char* what) noexcept {
  try {
    std::wstring error = FromCodePage(what ? what : "", CP_ACP);
    if (error.empty()) error = L"未知错误";
    ShowMessage(Handle(), L"出现意外错误：" + error, MB_ICONERROR);
  } catch (...) {
    MessageBoxW(Handle(), L"出现意外错误：内存不足。", kSamplesTitle, MB_OK | MB_ICONERROR);
  }
}

void SamplesWindow::OnCommand(int id) {
  switch (id) {
    case kAdd: OnAdd(); break;
    case kRemove: OnRemove(); break;
    // Enter while files are read presses nothing: 确定 waits until they are listed.
    case kOk: if (!IsReading()) Finish(true); break;
    case kCancel: Finish(false); break;
    default: break;
  }
}

void SamplesWindow::OnAdd() {
  PickedFiles picked = PickFiles(Handle(), kPickSamples);
  if (!picked.Error.empty()) ShowMessage(Handle(), picked.Error, MB_ICONWARNING);
  AddFiles(picked.Paths);
}

void SamplesWindow::OnRemove() {
  HWND list = Control(kList);
  std::vector<int> selected;
  for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
       row = ListView_GetNextItem(list, row, LVNI_SELECTED)) {
    selected.push_back(row);
  }
  // From the bottom up, so that the rows still to go keep their places.
  for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
    if (static_cast<std::size_t>(*it) >= samples_.size()) continue;
    samples_.erase(samples_.begin() + *it);
    ListView_DeleteItem(list, *it);
  }
  ShowStatus();
}

void SamplesWindow::Finish(bool apply) {
  stop_ = true;
  if (apply && apply_) apply_(samples_);
  // The owner first, so that it is the window that comes to the front.
  if (ownerDisabled_) EnableWindow(owner_, TRUE);
  ownerDisabled_ = false;
  DestroyWindow(Handle());
}

void SamplesWindow::ApplyDpi(unsigned dpi) {
  dpi_ = dpi;
  if (UniqueFont font = GiveChildrenTheFont(Handle(), dpi)) font_ = std::move(font);
  Layout();
}

void SamplesWindow::Layout() {
  HWND list = Control(kList);
  if (!list) return;
  RECT client;
  GetClientRect(Handle(), &client);
  const int margin = Scale(kMargin, dpi_), gap = Scale(kGap, dpi_);
  const int buttonHeight = Scale(kButtonHeight, dpi_), buttonWidth = Scale(kButtonWidth, dpi_);
  const int width = std::max<int>(0, client.right - 2 * margin);
  const int buttonTop = client.bottom - margin - buttonHeight;
  const int lineTop = buttonTop - gap - Scale(kLineHeight, dpi_);
  MoveWindow(list, margin, margin, width, std::max<int>(0, lineTop - gap - margin), TRUE);
  MoveWindow(Control(kStatusLine), margin, lineTop, width, Scale(kLineHeight, dpi_), TRUE);
  // 添加… and 删除 on the left, 确定 and 取消 on the right.
  MoveWindow(Control(kAdd), margin, buttonTop, buttonWidth, buttonHeight, TRUE);
  MoveWindow(Control(kRemove), margin + buttonWidth + gap, buttonTop, buttonWidth, buttonHeight, TRUE);
  MoveWindow(Control(kCancel), client.right - margin - buttonWidth, buttonTop, buttonWidth, buttonHeight, TRUE);
  MoveWindow(Control(kOk), client.right - margin - 2 * buttonWidth - gap, buttonTop, buttonWidth, buttonHeight,
             TRUE);
  // The columns follow the width: the source takes what the others leave.
  RECT inside;
  GetClientRect(list, &inside);
  const int usable = std::max<int>(0, inside.right - GetSystemMetrics(SM_CXVSCROLL));
  const int widths[] = {Scale(150, dpi_), Scale(70, dpi_), Scale(100, dpi_)};
  for (int column = 0; column < 3; ++column) ListView_SetColumnWidth(list, column, widths[column]);
  ListView_SetColumnWidth(list, 3, std::max<int>(Scale(80, dpi_), usable - widths[0] - widths[1] - widths[2]));
}

bool SamplesWindow::ReaderRunning() const {
  std::lock_guard hold(lock_);
  return readerRunning_;
}

bool SamplesWindow::IsReading() const { return batchTotal_ > 0 || ReaderRunning(); }

void SamplesWindow::AddFiles(const std::vector<std::wstring>& paths) {
  if (!IsReading()) skipped_ = 0;  // the status line counts the files skipped by this addition
  std::vector<std::wstring> files;
  for (const std::wstring& path : paths) {
    if (IsFolder(path)) {
      problems_.push_back(L"文件夹不能作为样本：" + path);
    } else {
      files.push_back(path);
    }
  }
  bool start = false;
  if (!files.empty()) {
    std::lock_guard hold(lock_);
    pending_.insert(pending_.end(), files.begin(), files.end());
    start = !readerRunning_;
    if (start) readerRunning_ = true;
  }
  batchTotal_ += files.size();
  if (start) {
    reader_.Join();  // the last reader has said it ends: this wait is short
    stop_ = false;
    if (!reader_.Start([this] { ReadPending(); })) {
      {
        std::lock_guard hold(lock_);
        readerRunning_ = false;
        pending_.clear();
      }
      problems_.push_back(DescribeFailure(L"无法开始读取文件", L"", GetLastError()));
    }
  }
  if (ReaderRunning()) {
    ShowStatus();
  } else {
    EndReading();  // only folders, or the reader could not start: say so now
  }
}

void SamplesWindow::Post(UINT message) {
  if (HWND target = postTarget_.load()) PostMessageW(target, message, 0, 0);
}

void SamplesWindow::ReadPending() noexcept {
  for (;;) {
    std::wstring path;
    {
      std::lock_guard hold(lock_);
      if (pending_.empty() || stop_) {
        pending_.clear();
        reading_.clear();
        readerRunning_ = false;
        break;
      }
      path = std::move(pending_.front());
      pending_.pop_front();
      reading_ = path;
    }
    Post(kFileStarted);
    try {
      ReadOutcome outcome{path, std::nullopt, ERROR_SUCCESS};
      outcome.Sample = SampleOfFile(path, &outcome.Error, stop_);
      std::lock_guard hold(lock_);
      read_.push_back(std::move(outcome));
    } catch (...) {
      // Memory ran out for this file: it is left out and said so.
      std::lock_guard hold(lock_);
      read_.push_back({std::wstring(), std::nullopt, ERROR_NOT_ENOUGH_MEMORY});
    }
    Post(kFileRead);
  }
  Post(kReadingEnded);
}

void SamplesWindow::TakeReadFiles() {
  std::vector<ReadOutcome> outcomes;
  {
    std::lock_guard hold(lock_);
    outcomes.swap(read_);
  }
  for (ReadOutcome& outcome : outcomes) {
    ++batchDone_;
    if (!outcome.Sample) {
      if (outcome.Error != ERROR_CANCELLED) {
        problems_.push_back(DescribeFailure(L"无法读取文件", outcome.Path, outcome.Error));
      }
      continue;
    }
    if (auto refusal = SampleRefusal(*outcome.Sample)) {
      problems_.push_back(*refusal + L"\n" + outcome.Path);
      continue;
    }
    if (HasSample(samples_, *outcome.Sample)) {
      ++skipped_;
      continue;
    }
    samples_.push_back(std::move(*outcome.Sample));
    AppendRow(samples_.back());
  }
  ShowStatus();
}

void SamplesWindow::EndReading() {
  TakeReadFiles();
  if (ReaderRunning()) return;  // more files came while the last reader ended: its successor goes on
  if (!problems_.empty()) {
    std::wstring text = L"以下文件没有加入样本：";
    for (std::size_t i = 0; i < problems_.size() && i < kNamedProblems; ++i) text += L"\n\n" + problems_[i];
    if (problems_.size() > kNamedProblems) {
      text += L"\n\n另有 " + Decimal(problems_.size() - kNamedProblems) + L" 个文件也没有加入。";
    }
    problems_.clear();
    if (Handle()) ShowMessage(Handle(), text, MB_ICONWARNING);
  }
  // Told: the addition is over.
  batchTotal_ = batchDone_ = 0;
  if (Handle()) ShowStatus();
}

void SamplesWindow::ShowStatus() {
  std::wstring reading;
  {
    std::lock_guard hold(lock_);
    if (readerRunning_) reading = reading_;
  }
  std::wstring line;
  if (!reading.empty()) {
    const std::size_t slash = reading.find_last_of(L"\\/");
    line = L"正在读取 " + Decimal(std::min(batchDone_ + 1, batchTotal_)) + L" / " + Decimal(batchTotal_) + L"：" +
           (slash == std::wstring::npos ? reading : reading.substr(slash + 1)) + L"…";
  } else if (samples_.empty()) {
    line = L"还没有样本。点“添加…”或把文件拖放到这里。";
  } else {
    line = Decimal(samples_.size()) + L" 个样本：与之内容相同的文件将从每个压缩包中删除（只在本窗口中运行时）。";
  }
  if (skipped_ > 0) line += L" 已跳过 " + Decimal(skipped_) + L" 个已在列表中的文件。";
  SetWindowTextW(Control(kStatusLine), line.c_str());
  EnableWindow(Control(kOk), !IsReading());
}

}  // namespace rarbatch
