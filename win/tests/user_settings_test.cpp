// Settings per user and finding the archiver, with the registry and folders set up by the test. The
// registry entries go under HKEY_CURRENT_USER, in a key of the test's own: the search reads the same
// key under HKEY_LOCAL_MACHINE too, but a test may not be able to write there.
#include "win/user_settings.h"

#include <gtest/gtest.h>

#include "tools/test_support.h"
#include "win/files.h"
#include "win/saved_files.h"

namespace rarbatch {
namespace {

constexpr DWORD kOk = ERROR_SUCCESS;

// Sets an environment variable while the object lives.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t old[32768];
    const DWORD length = GetEnvironmentVariableW(name, old, 32768);
    had_ = length > 0 && length < 32768;
    if (had_) old_.assign(old, length);
    SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

 private:
  const wchar_t* name_;
  bool had_ = false;
  std::wstring old_;
};

// A registry key of the test's own under HKEY_CURRENT_USER, deleted with all it holds at the end.
class TestRegistryKey {
 public:
  TestRegistryKey() : path_(L"Software\\rarbatch-test-" + std::to_wstring(GetCurrentProcessId()) + L"\\WinRAR") {}
  ~TestRegistryKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.substr(0, path_.rfind(L'\\')).c_str());
  }
  bool Set(const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
      return false;
    }
    const LONG set = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
  }
  const wchar_t* Path() const { return path_.c_str(); }

 private:
  std::wstring path_;
};

TEST(UserSettings, SavedSettingsComeBackAndDamagedFilesAreIgnored) {
  testing::ScratchFolder folder;
  const ScopedEnvironment appData(L"APPDATA", folder.Path() + L"漫游");
  ASSERT_TRUE(CreateDirectoryW((folder.Path() + L"漫游").c_str(), nullptr));
  const std::wstring path = SettingsFilePath();
  EXPECT_EQ(path, folder.Path() + L"漫游\\rarbatch\\settings.ini");

  // Nothing yet: no settings, no failure.
  EXPECT_EQ(LoadSettings(path), Settings{});
  const Settings saved{L"C:\\工具 & 100%\\Rar.exe", L"D:\\归档 😀", L"E:\\ภาษาไทย\\"};
  ASSERT_EQ(SaveSettings(path, saved), kOk);  // makes the rarbatch folder
  EXPECT_EQ(LoadSettings(path), saved);
  // Replacing leaves no temporary file beside it.
  ASSERT_EQ(SaveSettings(path, Settings{L"x", L"", L""}), kOk);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder.Path() + L"漫游\\rarbatch\\*.new").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);

  const std::string damaged[] = {std::string(2 * 1024 * 1024, '\xFF'), std::string("\0\0\0\0", 4),
                                 "[Shell]\nCommand=2\n", "\xFF\xFE[\0r\0"};
  for (const std::string& bytes : damaged) {
    ASSERT_EQ(WriteWholeFile(path, bytes), kOk);
    EXPECT_EQ(LoadSettings(path), Settings{});
  }
  // A folder where the file should be is no settings either.
  DeleteFileW(path.c_str());
  ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
  EXPECT_EQ(LoadSettings(path), Settings{});
  EXPECT_NE(SaveSettings(path, saved), kOk);
  RemoveDirectoryW(path.c_str());
}

TEST(FindArchiver, TakesTheFirstPlaceThatHoldsRarExe) {
  testing::ScratchFolder folder;
  const std::wstring root = folder.Path();
  for (const wchar_t* sub : {L"last", L"exe64", L"exe32", L"no rar", L"pf64", L"pf64\\WinRAR", L"pf",
                             L"pf\\WinRAR", L"pf86", L"pf86\\WinRAR"}) {
    ASSERT_TRUE(CreateDirectoryW((root + sub).c_str(), nullptr));
  }
  for (const wchar_t* rar : {L"last\\Rar.exe", L"exe64\\Rar.exe", L"exe32\\Rar.exe", L"pf64\\WinRAR\\Rar.exe",
                             L"pf\\WinRAR\\Rar.exe", L"pf86\\WinRAR\\Rar.exe"}) {
    ASSERT_EQ(WriteWholeFile(root + rar, "MZ"), kOk);
  }
  const ScopedEnvironment pf64(L"ProgramW6432", root + L"pf64");
  const ScopedEnvironment pf(L"ProgramFiles", root + L"pf");
  const ScopedEnvironment pf86(L"ProgramFiles(x86)", root + L"pf86");
  TestRegistryKey key;
  ASSERT_TRUE(key.Set(L"exe64", root + L"exe64\\WinRAR.exe"));
  ASSERT_TRUE(key.Set(L"exe32", root + L"exe32\\WinRAR.exe"));

  // Each step removes the place found before: the next one in order is found.
  EXPECT_EQ(FindArchiver(root + L"last\\Rar.exe", key.Path()), root + L"last\\Rar.exe");
  EXPECT_EQ(FindArchiver(root + L"gone\\Rar.exe", key.Path()), root + L"exe64\\Rar.exe");
  ASSERT_TRUE(key.Set(L"exe64", root + L"no rar\\WinRAR.exe"));
  EXPECT_EQ(FindArchiver(L"", key.Path()), root + L"exe32\\Rar.exe");
  ASSERT_TRUE(key.Set(L"exe32", L"WinRAR.exe"));  // no folder: nothing beside it
  EXPECT_EQ(FindArchiver(L"", key.Path()), root + L"pf64\\WinRAR\\Rar.exe");
  ASSERT_TRUE(DeleteFileW((root + L"pf64\\WinRAR\\Rar.exe").c_str()));
  EXPECT_EQ(FindArchiver(L"", key.Path()), root + L"pf\\WinRAR\\Rar.exe");
  ASSERT_TRUE(DeleteFileW((root + L"pf\\WinRAR\\Rar.exe").c_str()));
  EXPECT_EQ(FindArchiver(L"", key.Path()), root + L"pf86\\WinRAR\\Rar.exe");
  ASSERT_TRUE(DeleteFileW((root + L"pf86\\WinRAR\\Rar.exe").c_str()));
  // A folder named Rar.exe is no archiver; then nothing is found.
  ASSERT_TRUE(CreateDirectoryW((root + L"pf86\\WinRAR\\Rar.exe").c_str(), nullptr));
  EXPECT_EQ(FindArchiver(root + L"gone\\Rar.exe", key.Path()), L"");

  const auto candidates = ArchiverCandidates(root + L"PF\\WinRAR\\rar.EXE", key.Path());
  ASSERT_FALSE(candidates.empty());
  EXPECT_EQ(candidates.front(), root + L"PF\\WinRAR\\rar.EXE");
  EXPECT_EQ(std::count_if(candidates.begin(), candidates.end(),
                          [&](const std::wstring& c) { return c == root + L"pf\\WinRAR\\Rar.exe"; }),
            0);  // the same path in another case is not looked at twice
}

}  // namespace
}  // namespace rarbatch
