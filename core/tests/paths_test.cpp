// The directory-ending rule.
#include "core/paths.h"

#include <gtest/gtest.h>

namespace rarbatch {
namespace {

TEST(WithTrailingBackslash, AddsOneOnlyWhereMissing) {
  EXPECT_EQ(WithTrailingBackslash(L"C:\\"), L"C:\\");
  EXPECT_EQ(WithTrailingBackslash(L"C:\\Apps\\Tool"), L"C:\\Apps\\Tool\\");
  EXPECT_EQ(WithTrailingBackslash(L"\\\\server\\share\\"), L"\\\\server\\share\\");
}

}  // namespace
}  // namespace rarbatch
