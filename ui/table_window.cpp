// The table both result windows are built on: its controls, layout, sorting, filter, marks, detail,
// and the report's copy and save.
#include "ui/table_window.h"

#include <windowsx.h>

#include <algorithm>

#include "dialogs/file_picker.h"
#include "run/run_report_file.h"
#include "ui/child_windows.h"
#include "ui/detail_window.h"
#include "ui/fonts.h"
#include "win/clipboard.h"
#include "win/dpi.h"
#include "win/error_text.h"
#include "win/message_box.h"
#include "win/text.h"

namespace rarbatch {
namespace {

// Rows that changed are sorted and filtered anew after this many milliseconds, once for many changes.
constexpr UINT kRowChanged = WM_APP + 1;  // wParam: the archive's position
constexpr UINT kWorkEnded = WM_APP + 2;
constexpr UINT_PTR kOrderTimer = 0x7AB1;
constexpr UINT kOrderDelayMs = 200;

constexpr wchar_t kClassName[] = L"rarbatch.Results";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

// Sizes in pixels at 96 DPI, scaled to the window's DPI.
constexpr int kMargin = 8, kGap = 6, kButtonHeight = 24, kLineHeight = 16, kBarHeight = 14, kCheckHeight = 18,
              kCheckWidth = 160;
constexpr int kWidth = 720, kHeight = 440, kMinWidth = 520, kMinHeight = 260, kMarkSize = 16;

// A mark drawn as a filled circle of `colour`, for the states without a system icon of their own.
void AddCircleMark(HIMAGELIST list, int size, COLORREF colour) {
  constexpr COLORREF kTransparent = RGB(255, 0, 255);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
  ReleaseDC(nullptr, screen);
  if (!memory || !bitmap) {
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    return;
  }
  HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
  HBRUSH background = CreateSolidBrush(kTransparent);
  const RECT all{0, 0, size, size};
  FillRect(memory, &all, background);
  DeleteObject(background);
  HBRUSH fill = CreateSolidBrush(colour);
  HGDIOBJ oldBrush = SelectObject(memory, fill);
  HGDIOBJ oldPen = SelectObject(memory, GetStockObject(NULL_PEN));
  const int inset = size / 5;
  Ellipse(memory, inset, inset, size - inset + 1, size - inset + 1);
  SelectObject(memory, oldPen);
  SelectObject(memory, oldBrush);
  DeleteObject(fill);
  SelectObject(memory, oldBitmap);
  DeleteDC(memory);
  ImageList_AddMasked(list, bitmap, kTransparent);
  DeleteObject(bitmap);
}

// A system icon at `size`, or the circle when the system has none.
void AddSystemMark(HIMAGELIST list, int size, const wchar_t* icon, COLORREF fallback) {
  auto handle = static_cast<HICON>(LoadImageW(nullptr, icon, IMAGE_ICON, size, size, 0));
  if (handle && ImageList_AddIcon(list, handle) >= 0) {
    DestroyIcon(handle);
    return;
  }
  if (handle) DestroyIcon(handle);
  AddCircleMark(list, size, fallback);
}

}  // namespace

TableWindow::~TableWindow() { DestroyNow(); }

bool TableWindow::Create(HINSTANCE instance, HWND owner, const Look& look, std::vector<Row> rows,
                         const std::vector<Button>& buttons) {
  owner_ = owner;
  look_ = look;
  buttons_ = buttons;
  paths_.clear();
  paths_.reserve(rows.size());
  for (const Row& row : rows) paths_.push_back(row.Archive);
  std::vector<std::wstring> shownPaths = ArchivesBelowCommonFolder(paths_);
  rows_.clear();
  rows_.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows_.push_back({std::move(shownPaths[i]), std::move(rows[i].State), std::move(rows[i].Words)});
  }
  shown_ = ShownRows(rows_, order_);

  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  WNDCLASSEXW windowClass{};
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  const unsigned dpi = WindowDpi(owner);
  if (!CreateFor(windowClass, 0, look.Title, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, Scale(kWidth, dpi),
                 Scale(kHeight, dpi), owner)) {
    return false;
  }
  if (CreateControls(look, buttons)) return true;
  DestroyNow();
  return false;
}

// The table holds no text of its own: it asks for each cell it draws (LVN_GETDISPINFO), so that
// sorting and filtering reorder positions only.
bool TableWindow::CreateControls(const Look& look, const std::vector<Button>& buttons) {
  HWND table = CreateChild(Handle(), WC_LISTVIEWW, L"",
                           WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_OWNERDATA |
                               LVS_SHAREIMAGELISTS,
                           kTable, WS_EX_CLIENTEDGE);
  HWND filter = CreateChild(Handle(), L"BUTTON", L"只显示需要处理的", WS_TABSTOP | BS_AUTOCHECKBOX, kAttentionOnly);
  HWND bar = CreateChild(Handle(), PROGRESS_CLASSW, L"", 0, kProgress);
  HWND line = CreateChild(Handle(), L"STATIC", look.StatusText, SS_LEFT | SS_NOPREFIX, kStatusLine);
  if (!table || !filter || !bar || !line) return false;
  for (const Button& button : buttons) {
    if (!CreateChild(Handle(), L"BUTTON", button.Caption, WS_TABSTOP | BS_PUSHBUTTON, button.Id)) return false;
  }
  ListView_SetExtendedListViewStyle(table, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_SUBITEMIMAGES);
  if (!CreateColumns(table, look.StateColumn)) return false;
  ListView_SetItemCountEx(table, static_cast<int>(shown_.size()), 0);
  if (!shown_.empty()) ListView_SetItemState(table, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(std::max<std::size_t>(rows_.size(), 1)));
  return true;
}

bool TableWindow::CreateColumns(HWND table, const wchar_t* stateColumn) {
  const wchar_t* headers[] = {L"压缩包", stateColumn, L"说明"};
  for (int column = 0; column < 3; ++column) {
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT | LVCF_WIDTH;
    header.pszText = const_cast<wchar_t*>(headers[column]);
    header.cx = 100;
    if (ListView_InsertColumn(table, column, &header) < 0) return false;
  }
  return true;
}

void TableWindow::ShowAndFocus() {
  ApplyDpi(WindowDpi(Handle()));
  ShowWindow(Handle(), SW_SHOWNORMAL);
  SetFocus(Control(kTable));
}

// Failures red, warnings yellow (the system's own icons), work going on blue, done green, waiting grey.
void TableWindow::MakeStateMarks() {
  const int size = Scale(kMarkSize, dpi_);
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 5, 0);
  if (!list) return;
  AddSystemMark(list, size, IDI_ERROR, RGB(0xD0, 0x20, 0x20));    // StateMark::Failure
  AddSystemMark(list, size, IDI_WARNING, RGB(0xE8, 0xB0, 0x00));  // StateMark::Warning
  AddCircleMark(list, size, RGB(0x20, 0x70, 0xD0));               // StateMark::Busy
  AddCircleMark(list, size, RGB(0x20, 0xA0, 0x40));               // StateMark::Done
  AddCircleMark(list, size, RGB(0xA0, 0xA0, 0xA0));               // StateMark::Waiting
  ListView_SetImageList(Control(kTable), list, LVSIL_SMALL);
  marks_.reset(list);
}

void TableWindow::ApplyDpi(unsigned dpi) {
  dpi_ = dpi;
  if (UniqueFont font = GiveChildrenTheFont(Handle(), dpi)) font_ = std::move(font);
  MakeStateMarks();
  Layout();
}

void TableWindow::Layout() {
  HWND table = Control(kTable);
  if (!table) return;
  RECT client;
  GetClientRect(Handle(), &client);
  const int margin = Scale(kMargin, dpi_), gap = Scale(kGap, dpi_);
  const int buttonHeight = Scale(kButtonHeight, dpi_), checkHeight = Scale(kCheckHeight, dpi_);
  const int width = std::max<int>(0, client.right - 2 * margin);
  const int buttonTop = client.bottom - margin - buttonHeight;
  const int lineTop = buttonTop - gap - Scale(kLineHeight, dpi_);
  const int barTop = lineTop - gap / 2 - Scale(kBarHeight, dpi_);
  const int tableTop = margin + checkHeight + gap / 2;
  const int tableHeight = std::max<int>(0, barTop - gap - tableTop);

  HDWP moves = BeginDeferWindowPos(4 + static_cast<int>(buttons_.size()));
  auto place = [&](HWND control, int x, int y, int w, int h) {
    if (moves) moves = DeferWindowPos(moves, control, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  // The check box only as wide as its words, so that a click beside them does not change it.
  place(Control(kAttentionOnly), margin, margin, std::min(width, Scale(kCheckWidth, dpi_)), checkHeight);
  place(table, margin, tableTop, width, tableHeight);
  place(Control(kProgress), margin, barTop, width, Scale(kBarHeight, dpi_));
  place(Control(kStatusLine), margin, lineTop, width, Scale(kLineHeight, dpi_));
  // Buttons from the right edge leftwards, 关闭 last on the right.
  int right = client.right - margin;
  for (auto it = buttons_.rbegin(); it != buttons_.rend(); ++it) {
    const int w = Scale(it->Width, dpi_);
    place(Control(it->Id), right - w, buttonTop, w, buttonHeight);
    right -= w + gap;
  }
  if (moves) EndDeferWindowPos(moves);
  LayoutMore();
  LayoutColumns(table);
}

// The columns follow the width: the archive takes half, the state a little, the words the rest.
void TableWindow::LayoutColumns(HWND table) {
  RECT inside;
  GetClientRect(table, &inside);
  const int usable = std::max<int>(0, inside.right - GetSystemMetrics(SM_CXVSCROLL));
  const int state = Scale(72 + kMarkSize + 4, dpi_);
  const int archive = std::max<int>(Scale(120, dpi_), usable / 2);
  ListView_SetColumnWidth(table, 0, archive);
  ListView_SetColumnWidth(table, 1, state);
  ListView_SetColumnWidth(table, 2, std::max<int>(Scale(80, dpi_), usable - archive - state));
}

std::size_t TableWindow::ArchiveAt(int position) const {
  if (position < 0 || static_cast<std::size_t>(position) >= shown_.size()) return rows_.size();
  return shown_[static_cast<std::size_t>(position)];
}

std::wstring TableWindow::ArchivePathAt(int position) const {
  const std::size_t archive = ArchiveAt(position);
  return archive < paths_.size() ? paths_[archive] : std::wstring();
}

void TableWindow::SetRow(std::size_t archive, const std::wstring& state, const std::wstring& words) {
  if (archive >= rows_.size()) return;
  TableCells& row = rows_[archive];
  if (row.State == state && row.Words == words) return;
  row.State = state;
  row.Words = words;
  if (!order_.Sorted && !order_.AttentionOnly) {
    ListView_RedrawItems(Control(kTable), static_cast<int>(archive), static_cast<int>(archive));
    return;
  }
  // Sorted or filtered, the row may move: many changes in a short time are ordered once.
  InvalidateRect(Control(kTable), nullptr, FALSE);
  if (!orderStale_ && SetTimer(Handle(), kOrderTimer, kOrderDelayMs, nullptr)) orderStale_ = true;
}

void TableWindow::ApplyOrder() {
  orderStale_ = false;
  KillTimer(Handle(), kOrderTimer);
  HWND table = Control(kTable);
  const std::size_t focused = ArchiveAt(ListView_GetNextItem(table, -1, LVNI_FOCUSED));
  shown_ = ShownRows(rows_, order_);
  ListView_SetItemCountEx(table, static_cast<int>(shown_.size()), LVSICF_NOSCROLL);
  ListView_SetItemState(table, -1, 0, LVIS_FOCUSED | LVIS_SELECTED);
  const auto at = std::find(shown_.begin(), shown_.end(), focused);
  if (at != shown_.end()) {
    const int position = static_cast<int>(at - shown_.begin());
    ListView_SetItemState(table, position, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  } else if (!shown_.empty()) {
    ListView_SetItemState(table, 0, LVIS_FOCUSED, LVIS_FOCUSED);
  }
  InvalidateRect(table, nullptr, FALSE);
}

void TableWindow::OnHeaderClick(int column) {
  if (column < 0 || column > 2) return;
  order_ = AfterHeaderClick(order_, static_cast<TableColumn>(column));
  ShowSortArrow();
  ApplyOrder();
}

// The sorted column's header shows the direction.
void TableWindow::ShowSortArrow() {
  HWND header = ListView_GetHeader(Control(kTable));
  for (int column = 0; column < 3; ++column) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    if (!Header_GetItem(header, column, &item)) continue;
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (order_.Sorted && static_cast<int>(order_.Column) == column) {
      item.fmt |= order_.Descending ? HDF_SORTDOWN : HDF_SORTUP;
    }
    Header_SetItem(header, column, &item);
  }
}

void TableWindow::FillCell(NMLVDISPINFOW& info) const {
  LVITEMW& item = info.item;
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= shown_.size()) return;
  const TableCells& row = rows_[shown_[static_cast<std::size_t>(item.iItem)]];
  if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
    const std::wstring& text = item.iSubItem == 0 ? row.Archive : item.iSubItem == 1 ? row.State : row.Words;
    lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
  }
  if (item.mask & LVIF_IMAGE) {
    item.iImage = item.iSubItem == 1 ? static_cast<int>(MarkOfState(row.State)) : I_IMAGENONE;
  }
}

LRESULT TableWindow::CustomDraw(LPARAM lParam) const {
  auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
  if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  const std::size_t archive = ArchiveAt(static_cast<int>(draw->nmcd.dwItemSpec));
  if (archive < rows_.size() && RowColours(archive, draw->clrText, draw->clrTextBk)) return CDRF_NEWFONT;
  return CDRF_DODEFAULT;
}

LRESULT TableWindow::OnTableNotify(LPARAM lParam) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  switch (header->code) {
    case LVN_GETDISPINFOW:
      FillCell(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
      return 0;
    case NM_CUSTOMDRAW:
      return CustomDraw(lParam);
    case LVN_COLUMNCLICK:
      OnHeaderClick(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
      return 0;
    case LVN_ODFINDITEMW: {  // typing a name's first letters finds its row
      const auto* find = reinterpret_cast<const NMLVFINDITEMW*>(lParam);
      if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find->lvfi.psz) return -1;
      const std::size_t length = wcslen(find->lvfi.psz);
      for (std::size_t n = 0; n < shown_.size(); ++n) {
        const std::size_t position = (static_cast<std::size_t>(std::max(find->iStart, 0)) + n) % shown_.size();
        const std::wstring& name = rows_[shown_[position]].Archive;
        if (CompareStringOrdinal(name.c_str(), static_cast<int>(std::min(length, name.size())), find->lvfi.psz,
                                 static_cast<int>(length), TRUE) == CSTR_EQUAL) {
          return static_cast<LRESULT>(position);
        }
      }
      return -1;
    }
    case NM_DBLCLK:
      ShowDetail(ArchiveAt(reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem));
      return 0;
    case NM_RETURN:
      ShowDetail(ArchiveAt(ListView_GetNextItem(Control(kTable), -1, LVNI_FOCUSED)));
      return 0;
    default:
      return 0;
  }
}

void TableWindow::ShowDetail(std::size_t archive) {
  if (archive >= paths_.size()) return;
  detail_ = std::make_unique<DetailWindow>();
  detail_->Open(Handle(), std::wstring(look_.DetailTitle) + L" - " + paths_[archive], DetailText(archive), dpi_);
}

void TableWindow::PostRowChanged(std::size_t row) {
  if (HWND target = postTarget_.load()) PostMessageW(target, kRowChanged, row, 0);
}

void TableWindow::PostWorkEnded() {
  if (HWND target = postTarget_.load()) PostMessageW(target, kWorkEnded, 0, 0);
}

LRESULT TableWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRowChanged:
      OnRowChanged(static_cast<std::size_t>(wParam));
      return 0;
    case kWorkEnded:
      OnWorkEnded();
      return 0;
    case WM_DESTROY:
      StopListening();
      break;
    case WM_TIMER:
      if (wParam == kOrderTimer) ApplyOrder();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(lParam)->idFrom == kTable) return OnTableNotify(lParam);
      break;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = {Scale(kMinWidth, dpi_), Scale(kMinHeight, dpi_)};
      return 0;
    }
    case WM_DPICHANGED: {
      dpi_ = LOWORD(wParam);
      MoveToSuggestedRect(Handle(), lParam);
      ApplyDpi(LOWORD(wParam));
      return 0;
    }
    case WM_CLOSE:
      if (ConfirmClose() && MayCloseAtOnce()) DestroyWindow(Handle());
      return 0;
    default:
      break;
  }
  return DefaultHandling(message, wParam, lParam);
}

// What the user asked of this window could not be done; the work and its table stay as they are.
void TableWindow::OnFailure(const char* what) noexcept {
  try {
    std::wstring error = FromCodePage(what ? what : "", CP_ACP);
    if (error.empty()) error = L"未知错误";
    ShowMessage(Handle(), L"出现意外错误：" + error + L"\n处理结果保持不变。", MB_ICONERROR);
  } catch (...) {
    MessageBoxW(Handle(), L"出现意外错误：内存不足。\n处理结果保持不变。", L"处理结果", MB_OK | MB_ICONERROR);
  }
}

void TableWindow::OnCommand(int id) {
  switch (id) {
    case kCopy: CopyReport(); break;
    case kSave: SaveReportAs(); break;
    case kClose: SendMessageW(Handle(), WM_CLOSE, 0, 0); break;
    case kAttentionOnly:
      order_.AttentionOnly = Button_GetCheck(Control(kAttentionOnly)) == BST_CHECKED;
      ApplyOrder();
      break;
    case IDOK:  // Enter: the row's detail, when the table has the focus
      if (GetFocus() == Control(kTable)) ShowDetail(ArchiveAt(ListView_GetNextItem(Control(kTable), -1, LVNI_FOCUSED)));
      break;
    case IDCANCEL:  // Esc closes the window once the work is done
      if (MayCloseAtOnce()) DestroyWindow(Handle());
      break;
    default:
      OnButton(id);
      break;
  }
}

void TableWindow::KeepFocusUsable() {
  HWND focus = GetFocus();
  if (focus && !IsWindowEnabled(focus) && IsChild(Handle(), focus)) SetFocus(Control(kTable));
}

std::wstring TableWindow::SaveReport(const std::wstring& path) const {
  const DWORD error = SaveReportText(ReportText(), path);
  if (error == ERROR_NO_UNICODE_TRANSLATION) return L"报告含有无法写成 UTF-8 的字符，未保存：" + path;
  return error == ERROR_SUCCESS ? std::wstring() : DescribeFailure(L"无法保存报告", path, error);
}

void TableWindow::CopyReport() {
  const DWORD error = CopyTextToClipboard(Handle(), ReportText());
  if (error != ERROR_SUCCESS) ShowMessage(Handle(), DescribeFailure(L"无法复制报告", L"", error), MB_ICONWARNING);
}

void TableWindow::SaveReportAs() {
  PickedFile picked = PickSaveFile(Handle(), L"保存处理报告", L"处理结果.txt");
  if (!picked.Error.empty()) ShowMessage(Handle(), picked.Error, MB_ICONWARNING);
  if (!picked.Path) return;
  const std::wstring error = SaveReport(*picked.Path);
  if (!error.empty()) ShowMessage(Handle(), error, MB_ICONWARNING);
}

}  // namespace rarbatch
