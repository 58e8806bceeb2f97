// A call's list file: named in the temporary folder, written in UTF-8, refused for names without a
// UTF-8 form, and gone when the call is done with it.
#include "run/list_file.h"

#include <gtest/gtest.h>

#include "tools/test_support.h"
#include "win/file_ops.h"
#include "win/files.h"

namespace rarbatch {
namespace {

TEST(ListFile, IsWrittenInUtf8AndGoesWithItsObject) {
  const std::wstring path = ListFilePath(7);
  EXPECT_EQ(path, TempFolderPath() + L"rarbatch " + std::to_wstring(GetCurrentProcessId()) + L"-7.lst");
  CallResult call;
  call.ListFile = path;
  call.ListText = L"广告.url\r\nsub\\说明 .txt\r\n";
  {
    std::optional<TempFile> file = WriteListFile(call);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Path(), path);
    EXPECT_EQ(ReadFileStart(path, 1024).Bytes, "\xE5\xB9\xBF\xE5\x91\x8A.url\r\nsub\\\xE8\xAF\xB4\xE6\x98\x8E .txt\r\n");
  }
  EXPECT_FALSE(PathExists(path));

  // A name with no UTF-8 form (a lone surrogate) is refused rather than written as nothing, and no
  // empty file is left behind in its place.
  call.ListText = std::wstring(L"a.url\r\n") + wchar_t(0xD800) + L".url\r\n";
  EXPECT_FALSE(WriteListFile(call));
  EXPECT_FALSE(PathExists(path));

  call.ListFile.clear();
  call.ListText = L"a.url\r\n";
  EXPECT_FALSE(WriteListFile(call)) << "a call without a list file";
}

TEST(ListFile, AFolderThatCannotHoldItIsAFailure) {
  testing::ScratchFolder scratch;
  CallResult call;
  call.ListFile = scratch.Path() + L"没有\\a.lst";
  call.ListText = L"a.url\r\n";
  EXPECT_FALSE(WriteListFile(call));
}

}  // namespace
}  // namespace rarbatch
