// The base of every window of the program, and the message loop.
#include "win/window.h"

#include <exception>

namespace rarbatch {

Window::~Window() {
  if (!window_) return;
  // The derived part is gone: detach first so that no message reaches it.
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
  window_ = nullptr;
}

HWND Window::CreateFor(WNDCLASSEXW windowClass, DWORD exStyle, const wchar_t* title, DWORD style,
                       int x, int y, int width, int height, HWND owner) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (!GetClassInfoExW(windowClass.hInstance, windowClass.lpszClassName, &existing)) {
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Window::Procedure;
    if (!RegisterClassExW(&windowClass)) return nullptr;
  }
  return CreateWindowExW(exStyle, windowClass.lpszClassName, title, style, x, y, width, height, owner,
                         nullptr, windowClass.hInstance, this);
}

void Window::DestroyNow() {
  if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (const std::exception& failure) {
    self->OnFailure(failure.what());
  } catch (...) {
    self->OnFailure("");
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int RunMessageLoop() {
  MSG message;
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 1;
    // Tab, Enter, Esc and access keys for whichever top-level window the message belongs to.
    HWND top = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (top && IsDialogMessageW(top, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace rarbatch
