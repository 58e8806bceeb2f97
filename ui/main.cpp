// The program's entry point: one window on a COM apartment thread, and its message loop.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "main_window.h"
#include "win/error_text.h"
#include "win/handles.h"
#include "win/user_settings.h"
#include "win/window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  rarbatch::ComApartment apartment;  // the folder picker's, for the whole run
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  rarbatch::MainWindow::Options options;
  options.SettingsFile = rarbatch::SettingsFilePath();
  options.LookForArchiver = true;
  rarbatch::MainWindow window(options);
  HWND handle = window.Create(instance);
  if (!handle) {
    const std::wstring message = rarbatch::DescribeFailure(L"无法创建主窗口", L"", GetLastError());
    MessageBoxW(nullptr, message.c_str(), rarbatch::kAppTitle, MB_OK | MB_ICONERROR);
    return 1;
  }
  ShowWindow(handle, showCommand);
  UpdateWindow(handle);
  // rarbatch.exe job.rbjob: the job opens in the window (the shell's Open on a job file does this).
  int count = 0;
  if (LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
    if (count >= 2) window.OpenJobFile(arguments[1]);
    LocalFree(arguments);
  }
  return rarbatch::RunMessageLoop();
}
