// Message boxes owned by the main window and titled like it.
#include "dialogs/message_box.h"

namespace rarbatch {

void ShowMessage(HWND owner, const std::wstring& text, UINT icon) {
  HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  std::wstring title;
  if (top) {
    title.resize(static_cast<std::size_t>(GetWindowTextLengthW(top)) + 1);
    title.resize(static_cast<std::size_t>(GetWindowTextW(top, title.data(), static_cast<int>(title.size()))));
  }
  MessageBoxW(top, text.c_str(), title.empty() ? nullptr : title.c_str(), MB_OK | icon);
}

}  // namespace rarbatch
