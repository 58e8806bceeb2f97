// Closes the message boxes that a list shows while a test runs, and keeps their text.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rarbatch::testing {

// For as long as it lives, presses OK on every message box owned by `owner` and keeps its text, so a
// call that shows a message nobody expected returns (and the test fails on Texts()) instead of
// waiting for a user forever.
class MessageCatcher {
 public:
  explicit MessageCatcher(HWND owner);
  ~MessageCatcher();
  MessageCatcher(const MessageCatcher&) = delete;
  MessageCatcher& operator=(const MessageCatcher&) = delete;

  // Stops watching and returns the text of every box that showed, in order.
  std::vector<std::wstring> Texts();

 private:
  static DWORD WINAPI Run(void* self);

  HWND owner_;
  HANDLE stop_ = nullptr;
  HANDLE thread_ = nullptr;
  std::vector<std::wstring> texts_;
};

}  // namespace rarbatch::testing
