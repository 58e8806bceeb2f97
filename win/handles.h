// Owners for the Windows handles and allocations the program holds: each is released exactly once,
// on every path out of the code that took it.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <memory>
#include <utility>

namespace rarbatch {

// Owns a handle and releases it once with Traits::Close, unless it is Traits::Invalid().
template <typename Traits>
class UniqueOwner {
 public:
  using Type = typename Traits::Type;

  UniqueOwner() = default;
  explicit UniqueOwner(Type value) : value_(value) {}
  UniqueOwner(UniqueOwner&& other) noexcept : value_(std::exchange(other.value_, Traits::Invalid())) {}
  UniqueOwner& operator=(UniqueOwner&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, Traits::Invalid()));
    return *this;
  }
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;
  ~UniqueOwner() { reset(); }

  Type get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Invalid(); }
  void reset(Type value = Traits::Invalid()) {
    if (value_ != Traits::Invalid()) Traits::Close(value_);
    value_ = value;
  }
  // Gives up ownership without releasing.
  Type release() { return std::exchange(value_, Traits::Invalid()); }

 private:
  Type value_ = Traits::Invalid();
};

struct KernelHandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
template <typename T>
struct GdiObjectTraits {
  using Type = T;
  static T Invalid() { return nullptr; }
  static void Close(T object) { DeleteObject(object); }
};

// A kernel handle (file, process, thread, event, pipe). Creation functions that fail with
// INVALID_HANDLE_VALUE are stored as empty, so one test of the owner covers both conventions.
class UniqueHandle : public UniqueOwner<KernelHandleTraits> {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : UniqueOwner(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
};

// A search started with FindFirstFileExW.
using FindHandle = UniqueOwner<FindHandleTraits>;

// A GDI object such as a font or a brush, deleted with DeleteObject.
template <typename T>
using UniqueGdiObject = UniqueOwner<GdiObjectTraits<T>>;
using UniqueFont = UniqueGdiObject<HFONT>;

// The device context of a window (or of the screen, for a null window), taken with GetDC.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Memory that the shell or COM allocated for the caller, freed with CoTaskMemFree.
struct CoTaskMemFreer {
  void operator()(void* memory) const { CoTaskMemFree(memory); }
};
template <typename T>
using CoTaskMemPtr = std::unique_ptr<T, CoTaskMemFreer>;

// A single-threaded COM apartment on the calling thread, for as long as the object lives. The entry
// point holds one for the whole run on the user-interface thread; the folder picker holds one more
// around each dialog, which only adds a reference then (or initialises COM for a caller that has
// not) and never changes an apartment that is already set.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};

}  // namespace rarbatch
