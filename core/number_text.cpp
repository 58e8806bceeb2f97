#include "core/number_text.h"

namespace rarbatch {

std::wstring PaddedDigits(std::uint64_t value, std::size_t width, int base) {
  char digits[64];
  const char* end = std::to_chars(digits, digits + sizeof digits, value, base).ptr;
  std::wstring text;
  const std::size_t count = static_cast<std::size_t>(end - digits);
  if (count < width) text.assign(width - count, L'0');
  for (const char* c = digits; c != end; ++c) text += (*c >= 'a' && *c <= 'z') ? wchar_t(*c - 'a' + 'A') : wchar_t(*c);
  return text;
}

std::wstring SizeText(std::uint64_t bytes) {
  if (bytes < 1024 * 1024) return Decimal((bytes + 1023) / 1024) + L" KB";
  return MegabytesText(bytes);
}

std::wstring MegabytesText(std::uint64_t bytes) {
  const std::uint64_t tenths = (bytes / 1024 * 10 + 512) / 1024;
  return Decimal(tenths / 10) + L"." + Decimal(tenths % 10) + L" MB";
}

}  // namespace rarbatch
