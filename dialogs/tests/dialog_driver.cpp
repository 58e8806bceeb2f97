// Answers modal dialogs from a second thread, for tests that show the real dialogs.
#include "dialog_driver.h"

#include <utility>

namespace rarbatch::testing {
namespace {

const wchar_t kTestWindowClass[] = L"rarbatch test owner";

struct DialogSearch {
  HWND owner;
  const std::wstring* title;
  HWND found;
};

BOOL CALLBACK CheckTopLevel(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  if (GetWindow(window, GW_OWNER) != search->owner) return TRUE;
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  if (std::wstring(className) != L"#32770") return TRUE;
  if (!search->title->empty() && WindowText(window) != *search->title) return TRUE;
  search->found = window;
  return FALSE;
}

struct TextSearch {
  const std::wstring* text;
  HWND found;
};

BOOL CALLBACK CheckChildText(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TextSearch*>(param);
  if (WindowText(window) == *search->text) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

TestWindow::TestWindow(const wchar_t* caption) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kTestWindowClass;
  RegisterClassW(&windowClass);  // fails harmlessly when already registered
  window_ = CreateWindowExW(0, kTestWindowClass, caption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 500, 400, nullptr, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
}

TestWindow::~TestWindow() {
  if (window_) DestroyWindow(window_);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}

HWND WaitForDialog(HWND owner, const std::wstring& title, DWORD timeoutMs) {
  DialogSearch search{owner, &title, nullptr};
  WaitUntil(
      [&] {
        EnumWindows(CheckTopLevel, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeoutMs);
  return search.found;
}

std::wstring WindowText(HWND window) {
  // WM_GETTEXT rather than GetWindowText, so controls of another thread report their text too.
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT got = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

HWND FindChildWithText(HWND parent, const std::wstring& text) {
  TextSearch search{&text, nullptr};
  EnumChildWindows(parent, CheckChildText, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void PressButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::wstring MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

DialogAnswerer::DialogAnswerer(HWND owner, std::wstring title,
                               std::function<void(HWND dialog)> answer)
    : owner_(owner), title_(std::move(title)), answer_(std::move(answer)) {
  thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

DWORD WINAPI DialogAnswerer::Run(void* self) {
  auto* answerer = static_cast<DialogAnswerer*>(self);
  HWND dialog = WaitForDialog(answerer->owner_, answerer->title_);
  if (!dialog) return 1;
  answerer->answer_(dialog);
  answerer->answered_ = true;
  return 0;
}

DialogAnswerer::~DialogAnswerer() { Answered(); }

bool DialogAnswerer::Answered() {
  if (thread_) {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  return answered_;
}

}  // namespace rarbatch::testing
