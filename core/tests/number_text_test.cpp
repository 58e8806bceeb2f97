#include "core/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace rarbatch {
namespace {

template <typename T>
void ExpectAsToWstring(T value) {
  EXPECT_EQ(Decimal(value), std::to_wstring(value)) << "value " << value;
}

TEST(NumberText, DecimalWritesWhatToWstringWrites) {
  for (int value : {0, 1, -1, 9, 10, -10, 32767, 65535}) ExpectAsToWstring(value);
  ExpectAsToWstring(std::numeric_limits<int>::min());
  ExpectAsToWstring(std::numeric_limits<int>::max());
  ExpectAsToWstring(std::numeric_limits<long long>::min());
  ExpectAsToWstring(std::numeric_limits<long long>::max());
  ExpectAsToWstring(std::numeric_limits<unsigned long long>::max());
  ExpectAsToWstring(std::numeric_limits<unsigned long>::max());  // DWORD, an error code
  ExpectAsToWstring(std::numeric_limits<std::size_t>::max());
  ExpectAsToWstring(static_cast<unsigned short>(2026));  // a SYSTEMTIME field
  ExpectAsToWstring(64ull * 1024 * 1024);
}

TEST(NumberText, PaddedDigitsFillWithZerosAndNeverCut) {
  EXPECT_EQ(PaddedDigits(0, 4), L"0000");
  EXPECT_EQ(PaddedDigits(7, 2), L"07");
  EXPECT_EQ(PaddedDigits(2026, 4), L"2026");
  EXPECT_EQ(PaddedDigits(123456, 4), L"123456");
  EXPECT_EQ(PaddedDigits(0, 0), L"0");
  EXPECT_EQ(PaddedDigits(std::numeric_limits<std::uint64_t>::max(), 1), L"18446744073709551615");
}

TEST(NumberText, PaddedHexDigitsAreUpperCase) {
  EXPECT_EQ(PaddedDigits(0x2, 4, 16), L"0002");
  EXPECT_EQ(PaddedDigits(0xABCD, 4, 16), L"ABCD");
  EXPECT_EQ(PaddedDigits(0x3001f, 4, 16), L"3001F");
  EXPECT_EQ(PaddedDigits(std::numeric_limits<std::uint64_t>::max(), 4, 16), L"FFFFFFFFFFFFFFFF");
}

}  // namespace
TEST(SizeText, KilobytesRoundedUpBelowAMegabyteThenMegabytes) {
  EXPECT_EQ(SizeText(0), L"0 KB");
  EXPECT_EQ(SizeText(1), L"1 KB") << "a byte to rewrite is not nothing";
  EXPECT_EQ(SizeText(1024 * 1024 - 1), L"1024 KB");
  EXPECT_EQ(SizeText(1024 * 1024), L"1.0 MB");
  EXPECT_EQ(MegabytesText(1024 * 1024 * 5 / 2), L"2.5 MB");
  EXPECT_EQ(MegabytesText(~std::uint64_t{0}), L"17592186044416.0 MB") << "no overflow at the top";
}

}  // namespace rarbatch
