// The program's message boxes: owned by a top-level window and titled with its caption.
#pragma once

#include <windows.h>

#include <string>

namespace rarbatch {

// Shows `text` in a message box owned by the top-level window of `owner`, titled with that window's
// caption (the program's name), with the given MB_ICON* style and one OK button.
void ShowMessage(HWND owner, const std::wstring& text, UINT icon);

// As ShowMessage, with the given buttons and icon (MB_YESNO | MB_ICONQUESTION...); returns the
// button pressed (IDYES...).
int AskUser(HWND owner, const std::wstring& text, UINT style);

}  // namespace rarbatch
