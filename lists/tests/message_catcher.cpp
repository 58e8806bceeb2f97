// Closes the message boxes that a list shows while a test runs, and keeps their text.
#include "message_catcher.h"

#include "dialogs/tests/dialog_driver.h"

namespace rarbatch::testing {

MessageCatcher::MessageCatcher(HWND owner) : owner_(owner) {
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

MessageCatcher::~MessageCatcher() { Texts(); }

DWORD WINAPI MessageCatcher::Run(void* self) {
  auto* catcher = static_cast<MessageCatcher*>(self);
  while (WaitForSingleObject(catcher->stop_, 20) == WAIT_TIMEOUT) {
    HWND box = WaitForDialog(catcher->owner_, {}, 0);
    if (!box) continue;
    catcher->texts_.push_back(MessageBoxText(box));
    PressButton(box, IDOK);
    // Wait for the box to go, so that it is not counted twice.
    WaitUntil([box] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
  }
  return 0;
}

std::vector<std::wstring> MessageCatcher::Texts() {
  if (thread_) {
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(stop_);
    thread_ = stop_ = nullptr;
  }
  return texts_;
}

}  // namespace rarbatch::testing
