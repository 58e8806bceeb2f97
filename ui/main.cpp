// The program's entry point: one window on a COM apartment thread, and its message loop.
#include <windows.h>
#include <commctrl.h>

#include "main_window.h"
#include "win/error_text.h"
#include "win/handles.h"
#include "win/window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  rarbatch::ComApartment apartment;  // the folder picker's, for the whole run
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  rarbatch::MainWindow window;
  HWND handle = window.Create(instance);
  if (!handle) {
    const std::wstring message = rarbatch::DescribeFailure(L"无法创建主窗口", L"", GetLastError());
    MessageBoxW(nullptr, message.c_str(), rarbatch::kAppTitle, MB_OK | MB_ICONERROR);
    return 1;
  }
  ShowWindow(handle, showCommand);
  UpdateWindow(handle);
  return rarbatch::RunMessageLoop();
}
