// The program's entry point: one window on a COM apartment thread, and its message loop.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "main_window.h"

namespace {

// The folder picker needs a single-threaded COM apartment on the window's thread.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  ComApartment apartment;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
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
  return rarbatch::RunMessageLoop(handle);
}
