// Reading a file's first bytes: a short file, one another handle is writing, a missing one, and one
// deeper than MAX_PATH.
#include "win/files.h"

#include <gtest/gtest.h>

#include "core/paths.h"
#include "tools/test_support.h"
#include "win/file_hash.h"
#include "win/handles.h"

namespace rarbatch {
namespace {

TEST(ReadFileStart, ReadsUpToTheCountOrTheFilesEnd) {
  testing::ScratchFolder folder;
  const std::wstring path = folder.Path() + L"压缩包 1.rar";
  ASSERT_EQ(WriteWholeFile(path, std::string("Rar!\x1A\x07\x01\x00", 8)), static_cast<DWORD>(ERROR_SUCCESS));

  const FileStart whole = ReadFileStart(path, 64 * 1024);
  EXPECT_EQ(whole.Error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(whole.Bytes, std::string("Rar!\x1A\x07\x01\x00", 8));
  EXPECT_EQ(ReadFileStart(path, 4).Bytes, "Rar!");

  // Another program holding the file open for writing (sharing read, write and delete) does not stop
  // the read.
  UniqueHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer);
  EXPECT_EQ(ReadFileStart(path, 4).Bytes, "Rar!");
}

TEST(ReadFileStart, GivesTheSystemsErrorForWhatCannotBeRead) {
  testing::ScratchFolder folder;
  const struct {
    std::wstring Path;
    DWORD Error;
  } cases[] = {
      {folder.Path() + L"没有.rar", ERROR_FILE_NOT_FOUND},
      {folder.Path() + L"没有\\a.rar", ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    const FileStart start = ReadFileStart(c.Path, 16);
    EXPECT_EQ(start.Error, c.Error) << ::testing::PrintToString(c.Path);
    EXPECT_TRUE(start.Bytes.empty());
  }
}

TEST(ReadFileStart, ReadsAFileDeeperThanMaxPath) {
  testing::ScratchFolder folder;
  const std::wstring deep = testing::MakeDeepFolder(folder.Path());
  ASSERT_FALSE(deep.empty()) << "cannot make a folder deeper than MAX_PATH";
  const std::wstring path = deep + L"a.rar";
  ASSERT_GT(path.size(), static_cast<std::size_t>(MAX_PATH));
  ASSERT_EQ(WriteWholeFile(ExtendedLengthPath(path), "Rar!"), static_cast<DWORD>(ERROR_SUCCESS));

  const FileStart start = ReadFileStart(path, 16);
  EXPECT_EQ(start.Error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(start.Bytes, "Rar!");
}

// A bare archiver name is found as the command interpreter finds it: the current folder, then PATH.
TEST(ResolveProgram, FindsABareNameInTheCurrentFolderThenOnThePath) {
  testing::ScratchFolder here, onPath;
  ASSERT_EQ(WriteWholeFile(onPath.Path() + L"Rar.exe", "MZ"), static_cast<DWORD>(ERROR_SUCCESS));
  wchar_t oldPath[32767] = {};
  const DWORD oldLength = GetEnvironmentVariableW(L"PATH", oldPath, 32767);
  const std::wstring folder = onPath.Path().substr(0, onPath.Path().size() - 1);
  SetEnvironmentVariableW(L"PATH", (L"C:\\no such folder;\"" + folder + L"\";" + oldPath).c_str());
  wchar_t oldCurrent[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, oldCurrent);
  SetCurrentDirectoryW(here.Path().c_str());

  EXPECT_EQ(ResolveProgram(L"Rar.exe"), onPath.Path() + L"Rar.exe");
  EXPECT_EQ(ResolveProgram(L"Rar"), onPath.Path() + L"Rar.exe") << "\".exe\" is added to a name without one";
  ASSERT_EQ(WriteWholeFile(here.Path() + L"Rar.exe", "MZ"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ResolveProgram(L"Rar.exe"), here.Path() + L"Rar.exe") << "the current folder comes first";
  EXPECT_EQ(ResolveProgram(L"D:\\tools\\Rar.exe"), L"D:\\tools\\Rar.exe") << "a path is taken as it is";
  EXPECT_EQ(ResolveProgram(L"NoSuch.exe"), L"NoSuch.exe");

  SetCurrentDirectoryW(oldCurrent);
  SetEnvironmentVariableW(L"PATH", oldLength ? oldPath : nullptr);
}

// The system's SHA-256, through CNG: the standard's test vectors, and a file read in several pieces,
// also one deeper than MAX_PATH.
TEST(Sha256, KnownDigestsOfBytesAndFiles) {
  struct Case {
    std::string Input;
    const char* Digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  testing::ScratchFolder dir;
  const std::wstring deep = testing::MakeDeepFolder(dir.Path());
  ASSERT_FALSE(deep.empty());
  for (const Case& c : cases) {
    EXPECT_EQ(Sha256Hex(c.Input), std::optional<std::string>(c.Digest)) << c.Input.size();
    ASSERT_TRUE(testing::WriteFileBytes(deep + L"x.bin", c.Input));
    DWORD error = 1;
    EXPECT_EQ(DigestFile(deep + L"x.bin", &error), (FileDigest{c.Input.size(), c.Digest})) << c.Input.size();
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
  }
  // Three megabytes: read in pieces of one.
  std::string abc;
  for (int i = 0; i < 1000000; ++i) abc += "abc";
  ASSERT_TRUE(testing::WriteFileBytes(dir.Path() + L"abc.bin", abc));
  DWORD error = 0;
  EXPECT_EQ(DigestFile(dir.Path() + L"abc.bin", &error),
            (FileDigest{3000000, "f4096a131e7e6ebfa7a512b5c299e13b065df34d15624ee1202ab394cc4d7e90"}));
  EXPECT_FALSE(DigestFile(dir.Path() + L"missing.bin", &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
}  // namespace rarbatch
