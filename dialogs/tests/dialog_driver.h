// Test helpers that answer the program's modal dialogs and message boxes from a second thread, the
// way a user would: wait for the window (with a deadline), read it, fill it in, press a button.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace rarbatch::testing {

// A plain top-level window with a caption, to own lists and dialogs in tests.
class TestWindow {
 public:
  explicit TestWindow(const wchar_t* caption = L"WINRAR 压缩包批量处理");
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// The first visible dialog-class window of this process owned by `owner` (and, when `title` is not
// empty, with that title), waited for until `timeoutMs` has passed; nullptr if none came.
HWND WaitForDialog(HWND owner, const std::wstring& title = {}, DWORD timeoutMs = 20000);

// Waits until `condition` holds or `timeoutMs` passes; returns whether it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 20000);

std::wstring WindowText(HWND window);

// A descendant of `parent` whose text is exactly `text`, or nullptr.
HWND FindChildWithText(HWND parent, const std::wstring& text);

// Clicks the dialog's button with `id` as the user would (posted, so the dialog handles it in its
// own loop).
void PressButton(HWND dialog, int id);

// The text of a message box.
std::wstring MessageBoxText(HWND box);

// Runs `answer` on its own thread once a dialog owned by `owner` (with `title`, unless empty) shows;
// the dialog itself is shown by the test's thread meanwhile. The destructor waits for the thread.
class DialogAnswerer {
 public:
  DialogAnswerer(HWND owner, std::wstring title, std::function<void(HWND dialog)> answer);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  // Waits for the thread; true when the dialog came and was answered.
  bool Answered();

 private:
  static DWORD WINAPI Run(void* self);

  HWND owner_;
  std::wstring title_;
  std::function<void(HWND dialog)> answer_;
  HANDLE thread_ = nullptr;
  bool answered_ = false;
};

}  // namespace rarbatch::testing
