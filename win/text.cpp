// Text in and out of Windows: a window's text, and wide text to and from a code page.
#include "win/text.h"

namespace rarbatch {

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

std::optional<std::string> ToCodePage(const std::wstring& text, UINT codePage) {
  if (text.empty()) return std::string();
  // UTF-8 and UTF-7 take no best-fit flag and no default-character check; they lose nothing but
  // lone surrogates, which the strict flag refuses.
  const bool unicode = codePage == CP_UTF8 || codePage == CP_UTF7;
  const DWORD flags = unicode ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* lossy = unicode ? nullptr : &usedDefault;
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, lossy);
  if (size <= 0 || usedDefault) return std::nullopt;
  std::string out(static_cast<std::size_t>(size), '\0');
  if (WideCharToMultiByte(codePage, flags, text.data(), length, out.data(), size, nullptr, lossy) !=
          size ||
      usedDefault) {
    return std::nullopt;
  }
  return out;
}

bool IsEncodable(const std::wstring& text, UINT codePage) {
  return ToCodePage(text, codePage).has_value();
}

std::wstring FromCodePage(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), length, out.data(), size);
  return out;
}

}  // namespace rarbatch
