// The DPI a window is drawn at, and sizes and fonts for a DPI. The per-monitor functions are looked
// up at run time, so the program still starts on systems that lack them and then uses the system
// DPI.
#pragma once

#include <windows.h>

namespace rarbatch {

// The DPI of the screen as the system reports it to this process.
unsigned SystemDpi();

// The DPI the window is drawn at.
unsigned WindowDpi(HWND window);

// On WM_DPICHANGED: moves and sizes the window to the rectangle the system suggests (`lParam`).
void MoveToSuggestedRect(HWND window, LPARAM lParam);

// The outer size of a window with `style` whose client area is `client` at `dpi`.
SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, unsigned dpi);

// The system's message font, sized for `dpi`; false when the system gives none.
bool MessageFontForDpi(unsigned dpi, LOGFONTW& font);

}  // namespace rarbatch
