// The system's text for an error code, in the form the program reports failures in.
#include "win/error_text.h"

#include "core/number_text.h"

namespace rarbatch {

std::wstring SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (length != 0 && buffer) text.assign(buffer, length);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  std::wstring message = L"错误 " + Decimal(code);
  if (!text.empty()) message += L"：" + text;
  return message;
}

std::wstring DescribeFailure(const std::wstring& what, const std::wstring& path, DWORD code) {
  std::wstring message = what;
  if (!path.empty()) message += L"：" + path;
  message += L"\n" + SystemErrorText(code);
  return message;
}

}  // namespace rarbatch
