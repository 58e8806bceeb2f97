// Whole numbers as text for the program's messages, reports and file names. Written with
// std::to_chars rather than the C library's formatted printing, which std::to_wstring goes through
// and which brings its whole wide printf (some 12 KB) into each program.
#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>

namespace rarbatch {

// `value` in decimal, as std::to_wstring writes it ("-12", "0", "18446744073709551615").
template <std::integral T>
std::wstring Decimal(T value) {
  char digits[24];  // the longest is a 64-bit minimum: a sign and 19 digits
  char* const end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return std::wstring(digits + 0, end);
}

// `value` in base 10 or 16 (upper-case letters), with leading zeros up to `width` digits: as
// printf's "%0*u" and "%0*X" write it.
std::wstring PaddedDigits(std::uint64_t value, std::size_t width, int base = 10);

// Bytes as megabytes (of 1,048,576 bytes) with one decimal, rounded: "12.3 MB".
std::wstring MegabytesText(std::uint64_t bytes);

// A size as people read it: kilobytes, rounded up, below a megabyte ("0 KB", "1 KB", "512 KB"), and
// MegabytesText from there on.
std::wstring SizeText(std::uint64_t bytes);

}  // namespace rarbatch
