// Owners for the Windows handles the program holds, and the system's text for an error code.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace rarbatch {

// Owns a kernel handle (file, process, thread) and closes it once.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void reset() {
    if (h_) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

// The system's message text for a Win32 error code, without the trailing line break.
std::wstring SystemErrorText(DWORD code);

// "<what>：<path>\n<system text>", the form in which the program reports a failed platform call.
std::wstring DescribeFailure(const std::wstring& what, const std::wstring& path, DWORD code);

}  // namespace rarbatch
