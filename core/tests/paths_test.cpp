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
  const std::wstring deep = L"d:\\归档 2024\\" + std::wstring(300, L'x') + L"\\trail \\";
  const std::pair<std::wstring, std::wstring> changed[] = {
      {L"C:\\", L"\\\\?\\C:\\"},
      {deep, L"\\\\?\\" + deep},
      {L"\\\\server\\share\\dir", L"\\\\?\\UNC\\server\\share\\dir"},
  };
  for (const auto& [path, extended] : changed) EXPECT_EQ(ExtendedLengthPath(path), extended);
  // The system must still tidy these, or they are in a device form already.
  for (const wchar_t* path : {L"C:\\dir\\..\\other", L"C:\\dir\\.\\x", L"C:\\dir\\\\x", L"C:/dir/x",
                              L"C:dir", L"dir\\x.rar", L"\\dir\\x.rar", L"\\\\server", L"\\\\server\\\\share",
                              L"\\\\?\\C:\\dir", L"\\\\.\\pipe\\x", L""}) {
    EXPECT_EQ(ExtendedLengthPath(path), path) << ::testing::PrintToString(std::wstring(path));
  }
}

}  // namespace
}  // namespace rarbatch
