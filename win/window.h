// The base of every window of the program: one window procedure that hands each message to the
// object that created the window, and the message loop that gives every top-level window the
// dialog manager's keyboard handling (Tab, Enter, Esc, access keys).
#pragma once

#include <windows.h>

namespace rarbatch {

class Window {
 public:
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Handle() const { return window_; }
  HWND Control(int id) const { return GetDlgItem(window_, id); }

 protected:
  Window() = default;
  // A derived window destroys its window in its own destructor (DestroyNow), while its handlers
  // still exist; by the time this runs, messages only reach DefWindowProcW.
  virtual ~Window();

  // Registers `windowClass` (its procedure is set here) unless this process already has it, then
  // creates the window with this object receiving its messages. Null on failure.
  HWND CreateFor(WNDCLASSEXW windowClass, DWORD exStyle, const wchar_t* title, DWORD style, int x,
                 int y, int width, int height, HWND owner);

  // Destroys the window now, with this object still handling its last messages.
  void DestroyNow();

  // The window's messages, from WM_CREATE on; what it does not handle goes to DefaultHandling.
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window_, message, wParam, lParam);
  }

  // Called when HandleMessage let an exception out: `what` is its text (empty when it had none). The
  // window reports it in its own words; the message counts as not handled. Must not throw.
  virtual void OnFailure(const char* what) noexcept { (void)what; }

 private:
  // Never lets an exception through the system's code, which cannot carry one.
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

  HWND window_ = nullptr;
};

// Runs the thread's message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

}  // namespace rarbatch
