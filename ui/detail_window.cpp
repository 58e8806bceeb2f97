// One archive's calls with their exit codes and output, in a read-only text box.
#include "ui/detail_window.h"

#include "ui/child_windows.h"
#include "ui/fonts.h"
#include "win/dpi.h"

namespace rarbatch {
namespace {

constexpr wchar_t kDetailClassName[] = L"rarbatch.ResultDetail";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr int kMargin = 8, kButtonHeight = 24, kButtonWidth = 80;

}  // namespace

HWND DetailWindow::Open(HWND owner, const std::wstring& title, const std::wstring& text, unsigned dpi) {
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
                      WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
                          ES_AUTOHSCROLL,
                      kTextId, WS_EX_CLIENTEDGE);
  close_ = CreateChild(Handle(), L"BUTTON", L"关闭", WS_TABSTOP | BS_DEFPUSHBUTTON, IDCANCEL);
  ApplyDpi(dpi);
  ShowWindow(Handle(), SW_SHOWNORMAL);
  SetFocus(text_);
  return Handle();
}

LRESULT DetailWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_DPICHANGED: {
      MoveToSuggestedRect(Handle(), lParam);
      ApplyDpi(LOWORD(wParam));
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) DestroyWindow(Handle());
      return 0;
    default:
      return DefaultHandling(message, wParam, lParam);
  }
}

void DetailWindow::ApplyDpi(unsigned dpi) {
  dpi_ = dpi;
  LOGFONTW logFont = DefaultLogFont(dpi);
  UniqueFont font(CreateFontIndirectW(&logFont));
  if (font.get()) {
    for (HWND control : {text_, close_}) {
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    }
    font_ = std::move(font);  // the controls use the new one now; the old one can go
  }
  Layout();
}

void DetailWindow::Layout() {
  if (!text_) return;
  RECT client;
  GetClientRect(Handle(), &client);
  const int margin = Scale(kMargin, dpi_), buttonHeight = Scale(kButtonHeight, dpi_);
  const int buttonWidth = Scale(kButtonWidth, dpi_);
  const int buttonTop = client.bottom - margin - buttonHeight;
  MoveWindow(text_, margin, margin, client.right - 2 * margin, buttonTop - 2 * margin, TRUE);
  MoveWindow(close_, client.right - margin - buttonWidth, buttonTop, buttonWidth, buttonHeight, TRUE);
}

}  // namespace rarbatch
