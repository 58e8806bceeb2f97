// An archive file's marks put back on the file that replaced it: with a stand-in file system that has
// streams (Wine keeps none), and on this machine's own for the attributes.
#include "win/file_marks.h"

#include <gtest/gtest.h>

#include <map>

#include "tools/test_support.h"
#include "win/file_ops.h"

namespace rarbatch {
namespace {

// Files with attributes and named streams, kept in memory. Like the system, it refuses to write a
// stream of a read-only file, so the order of putting back shows.
class StreamFiles final : public MarkAccess {
 public:
  struct File {
    DWORD Attributes = FILE_ATTRIBUTE_ARCHIVE;
    std::map<std::wstring, std::string> Streams;
  };
  std::map<std::wstring, File> Files;
  DWORD RefuseAttributes = ERROR_SUCCESS;  // set: every change of attributes fails so

  std::optional<DWORD> Attributes(const std::wstring& path) override {
    const auto file = Files.find(path);
    if (file == Files.end()) return std::nullopt;
    return file->second.Attributes;
  }
  DWORD SetAttributes(const std::wstring& path, DWORD attributes) override {
    if (RefuseAttributes != ERROR_SUCCESS) return RefuseAttributes;
    Files.at(path).Attributes = attributes;
    return ERROR_SUCCESS;
  }
  std::optional<std::string> ReadStream(const std::wstring& path, const wchar_t* stream, DWORD* error) override {
    const File& file = Files.at(path);
    const auto found = file.Streams.find(stream);
    if (found == file.Streams.end()) {
      *error = ERROR_FILE_NOT_FOUND;
      return std::nullopt;
    }
    return found->second;
  }
  DWORD WriteStream(const std::wstring& path, const wchar_t* stream, const std::string& bytes) override {
    File& file = Files.at(path);
    if (file.Attributes & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    file.Streams[stream] = bytes;
    return ERROR_SUCCESS;
  }
};

constexpr char kZone[] = "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://example.org/a.rar\r\n";

TEST(FileMarks, WhatTheArchiveCarriedIsPutBackOnTheFileThatReplacedIt) {
  StreamFiles files;
  const std::wstring archive = L"D:\\漫画\\卷一.rar";
  files.Files[archive] = {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE,
                          {{kZoneStreamName, kZone}}};
  const std::optional<FileMarks> before = ReadFileMarks(archive, files);
  ASSERT_TRUE(before);
  EXPECT_EQ(before->Zone, std::string(kZone));

  // The archiver's new file: the archive attribute of a new file, no stream.
  files.Files[archive] = {FILE_ATTRIBUTE_ARCHIVE, {}};
  EXPECT_EQ(PutFileMarksBack(archive, *before, files), L"");
  const StreamFiles::File& after = files.Files[archive];
  EXPECT_EQ(after.Attributes, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE)
      << "read-only is set after the stream, which a read-only file would refuse";
  EXPECT_EQ(after.Streams.at(kZoneStreamName), kZone);

  // Nothing to do on a file that already carries it all; nothing taken from one that carries more.
  files.Files[archive].Attributes |= FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  files.RefuseAttributes = ERROR_ACCESS_DENIED;  // would fail, were it tried
  EXPECT_EQ(PutFileMarksBack(archive, *before, files), L"");
  EXPECT_TRUE(files.Files[archive].Attributes & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
}

TEST(FileMarks, WhatCannotBePutBackIsSaid) {
  StreamFiles files;
  const std::wstring archive = L"D:\\a.rar";
  files.Files[archive] = {FILE_ATTRIBUTE_HIDDEN, {{kZoneStreamName, kZone}}};
  const FileMarks before = *ReadFileMarks(archive, files);

  // A new file left read-only by someone else takes no stream; the attributes fail too.
  files.Files[archive] = {FILE_ATTRIBUTE_READONLY, {}};
  files.RefuseAttributes = ERROR_ACCESS_DENIED;
  const std::wstring failed = PutFileMarksBack(archive, before, files);
  EXPECT_NE(failed.find(L"无法恢复下载标记"), std::wstring::npos);
  EXPECT_NE(failed.find(L"无法恢复文件属性"), std::wstring::npos);

  files.Files.erase(archive);
  EXPECT_FALSE(ReadFileMarks(archive, files)) << "a file that is gone has nothing to read";
  EXPECT_NE(PutFileMarksBack(archive, before, files), L"");
}

// The system's own file system: attributes are read and put back on a file replaced by another, at a
// path longer than MAX_PATH. (Wine keeps no named streams, so the stream is only read as missing.)
TEST(FileMarks, TheSystemsAttributesSurviveAReplacement) {
  testing::ScratchFolder folder;
  std::wstring deep = folder.Path();
  while (deep.size() < MAX_PATH + 20) deep += L"很长的文件夹名称\\";
  ASSERT_EQ(MakeFolders(deep), static_cast<DWORD>(ERROR_SUCCESS));
  const std::wstring archive = deep + L"a.rar", replacement = deep + L"new.tmp";
  ASSERT_TRUE(testing::WriteFileBytes(archive, "Rar!old"));
  ASSERT_EQ(SetAttributesOf(archive, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE), static_cast<DWORD>(ERROR_SUCCESS));
  const std::optional<FileMarks> before = ReadFileMarks(archive);
  ASSERT_TRUE(before);
  EXPECT_FALSE(before->Zone);

  ASSERT_TRUE(testing::WriteFileBytes(replacement, "Rar!new"));
  ASSERT_EQ(SetAttributesOf(replacement, FILE_ATTRIBUTE_NORMAL), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(MoveReplacing(replacement, archive), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(PutFileMarksBack(archive, *before), L"");
  const std::optional<DWORD> after = AttributesOf(archive);
  ASSERT_TRUE(after);
  EXPECT_TRUE(*after & FILE_ATTRIBUTE_HIDDEN);
  SetAttributesOf(archive, FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace rarbatch
