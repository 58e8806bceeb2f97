// The baseline for the start-up benchmark: a program that shows a window with the same controls as
// rarbatch's (the same table, classes, captions, places at the system's DPI and the same manifest),
// with no font, handler or logic of its own, and waits.
#include <windows.h>
#include <commctrl.h>

#include "ui/layout.h"

namespace {

LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

struct KindClass {
  const wchar_t* Class;
  DWORD Style;
};

KindClass ClassOf(rarbatch::ControlKind kind) {
  using rarbatch::ControlKind;
  switch (kind) {
    case ControlKind::Frame: return {L"Button", BS_GROUPBOX};
    case ControlKind::TextBox: return {L"Edit", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP};
    case ControlKind::Button: return {L"Button", BS_PUSHBUTTON | WS_TABSTOP};
    case ControlKind::List: return {L"ListBox", WS_BORDER | WS_VSCROLL | LBS_NOTIFY | WS_TABSTOP};
    case ControlKind::Label:
    case ControlKind::Link: return {L"Static", SS_LEFT | SS_NOTIFY};
    case ControlKind::CheckBox: return {L"Button", BS_AUTOCHECKBOX | WS_TABSTOP};
    case ControlKind::FileList: return {L"ListBox", 0};
  }
  return {L"Static", 0};
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = BareWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"bare_window";
  RegisterClassW(&windowClass);
  HDC screen = GetDC(nullptr);
  const unsigned dpi = static_cast<unsigned>(GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  RECT size{0, 0, rarbatch::TwipsToPixels(rarbatch::kClientWidthTwips, dpi),
            rarbatch::TwipsToPixels(rarbatch::kClientHeightTwips, dpi)};
  AdjustWindowRectEx(&size, WS_OVERLAPPEDWINDOW, FALSE, 0);
  HWND window = CreateWindowExW(0, L"bare_window", L"bare", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, size.right - size.left, size.bottom - size.top, nullptr,
                                nullptr, instance, nullptr);
  for (const rarbatch::ControlRow& row : rarbatch::kControls) {
    const KindClass kind = ClassOf(row.Kind);
    const rarbatch::PixelRect at = rarbatch::ControlRect(row, dpi);
    const DWORD visible = row.Kind == rarbatch::ControlKind::FileList ? 0 : WS_VISIBLE;
    CreateWindowExW(0, kind.Class, row.Caption, WS_CHILD | visible | kind.Style, at.X, at.Y, at.Width,
                    at.Height, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.Id)), instance,
                    nullptr);
  }
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
