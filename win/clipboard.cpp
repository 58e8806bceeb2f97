// Putting text on the clipboard.
#include "win/clipboard.h"

#include <algorithm>

namespace rarbatch {

DWORD CopyTextToClipboard(HWND owner, const std::wstring& text) {
  // Memory first: should it fail, the clipboard has not been emptied.
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  if (!memory) return GetLastError();
  void* target = GlobalLock(memory);
  if (!target) {
    const DWORD error = GetLastError();
    GlobalFree(memory);
    return error;
  }
  std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(target));
  GlobalUnlock(memory);
  if (!OpenClipboard(owner)) {
    const DWORD error = GetLastError();
    GlobalFree(memory);
    return error;
  }
  EmptyClipboard();
  const bool handedOver = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  const DWORD error = handedOver ? ERROR_SUCCESS : GetLastError();
  if (!handedOver) GlobalFree(memory);  // the clipboard owns it only once it took it
  CloseClipboard();
  return error;
}

}  // namespace rarbatch
