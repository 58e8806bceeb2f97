// Helpers for the windows that lay out their controls in code (the results and detail windows).
#pragma once

#include <windows.h>

namespace rarbatch {

// `pixels` at 96 DPI, at `dpi`.
inline int Scale(int pixels, unsigned dpi) { return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

// A visible child control of `parent` with identifier `id`; its place is set by the caller's layout.
inline HWND CreateChild(HWND parent, const wchar_t* windowClass, const wchar_t* text, DWORD style, int id,
                        DWORD exStyle = 0) {
  return CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
}

}  // namespace rarbatch
