// The directory-ending rule and the form that takes a full path at any length.
#include "core/paths.h"

#include <gtest/gtest.h>

namespace rarbatch {
namespace {

TEST(WithTrailingBackslash, AddsOneOnlyWhereMissing) {
  EXPECT_EQ(WithTrailingBackslash(L"C:\\"), L"C:\\");
  EXPECT_EQ(WithTrailingBackslash(L"C:\\Apps\\Tool"), L"C:\\Apps\\Tool\\");
  EXPECT_EQ(WithTrailingBackslash(L"\\\\server\\share\\"), L"\\\\server\\share\\");
}

TEST(ExtendedLengthPath, PrefixesOnlyPlainFullPaths) {
  struct Case {
    const wchar_t* path;
    const wchar_t* extended;
  };
  const Case cases[] = {
      {L"C:\\", L"\\\\?\\C:\\"},
      {L"d:\\归档 2024\\a.rar", L"\\\\?\\d:\\归档 2024\\a.rar"},
      {L"C:\\dir\\sub\\", L"\\\\?\\C:\\dir\\sub\\"},
      {L"C:\\name ends in space \\x.", L"\\\\?\\C:\\name ends in space \\x."},
      {L"\\\\server\\share", L"\\\\?\\UNC\\server\\share"},
      {L"\\\\server\\share\\dir\\", L"\\\\?\\UNC\\server\\share\\dir\\"},
      // Left alone: the system must still tidy these, or they are in a device form already.
      {L"C:\\dir\\..\\other", nullptr},
      {L"C:\\dir\\.\\x", nullptr},
      {L"C:\\dir\\\\x", nullptr},
      {L"C:/dir/x", nullptr},
      {L"C:dir", nullptr},
      {L"C:", nullptr},
      {L"dir\\x.rar", nullptr},
      {L"\\dir\\x.rar", nullptr},
      {L"\\\\server", nullptr},
      {L"\\\\server\\", nullptr},
      {L"\\\\server\\\\share", nullptr},
      {L"\\\\?\\C:\\dir", nullptr},
      {L"\\\\.\\pipe\\x", nullptr},
      {L"\\\\?\\UNC\\server\\share", nullptr},
      {L"", nullptr},
  };
  for (const Case& c : cases) {
    const std::wstring want = c.extended ? c.extended : c.path;
    EXPECT_EQ(ExtendedLengthPath(c.path), want) << ::testing::PrintToString(std::wstring(c.path));
  }
  const std::wstring deep = L"C:\\" + std::wstring(300, L'x');
  EXPECT_EQ(ExtendedLengthPath(deep), L"\\\\?\\" + deep);
}

}  // namespace
}  // namespace rarbatch
