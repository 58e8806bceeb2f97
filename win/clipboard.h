// Putting text on the clipboard.
#pragma once

#include <windows.h>

#include <string>

namespace rarbatch {

// Puts `text` on the clipboard as Unicode text, for `owner`. The text is copied into memory of its
// own first, so that a failure leaves whatever the clipboard held before. Returns ERROR_SUCCESS or the
// system's error code of the step that failed.
DWORD CopyTextToClipboard(HWND owner, const std::wstring& text);

}  // namespace rarbatch
