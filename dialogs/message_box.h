// Message boxes that the lists and dialogs show, titled with the window's own caption.
#pragma once

#include <windows.h>

#include <string>

namespace rarbatch {

// Shows `text` in a message box owned by the top-level window of `owner`, titled with that window's
// caption (the program's name), with the given MB_ICON* style and one OK button.
void ShowMessage(HWND owner, const std::wstring& text, UINT icon);

}  // namespace rarbatch
