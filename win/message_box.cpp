// The program's message boxes: owned by a top-level window and titled with its caption.
#include "win/message_box.h"

#include "win/text.h"

namespace rarbatch {

int AskUser(HWND owner, const std::wstring& text, UINT style) {
  HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  const std::wstring title = top ? WindowText(top) : std::wstring();
  return MessageBoxW(top, text.c_str(), title.empty() ? nullptr : title.c_str(), style);
}

void ShowMessage(HWND owner, const std::wstring& text, UINT icon) {
  AskUser(owner, text, MB_OK | icon);
}

}  // namespace rarbatch
