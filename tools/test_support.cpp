// Helpers for tests that run real scripts.
#include "test_support.h"

#include "core/paths.h"
#include "win/handles.h"
#include "win/program_folder.h"
#include "win/text.h"

#include <algorithm>
#include <atomic>

namespace rarbatch::testing {

std::wstring FromUtf8(const std::string& text) { return FromCodePage(text, CP_UTF8); }

ScratchFolder::ScratchFolder(const std::wstring& label) {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  path_.assign(temp, length);
  if (path_.empty() || path_.back() != L'\\') path_ += L'\\';
  path_ += label + L" " + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + L"\\";
  CreateDirectoryW(path_.c_str(), nullptr);
}

namespace {

// Removes `folder` (ending in a backslash) with its files and subfolders, also those deeper than
// MAX_PATH or named with a trailing space.
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileW((ExtendedLengthPath(folder) + L"*").c_str(), &found));
  if (find) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(folder + name + L"\\");
        continue;
      }
      const std::wstring file = ExtendedLengthPath(folder + name);
      SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(file.c_str());
    } while (FindNextFileW(find.get(), &found));
    find.reset();
  }
  SetFileAttributesW(ExtendedLengthPath(folder).c_str(), FILE_ATTRIBUTE_DIRECTORY);
  RemoveDirectoryW(ExtendedLengthPath(folder).c_str());
}

}  // namespace

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::wstring ExecutableFolder() { return ProgramFolder(); }

FakeArchiverDelay::FakeArchiverDelay(unsigned milliseconds) {
  SetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_DELAY_MS", std::to_wstring(milliseconds).c_str());
}

FakeArchiverDelay::~FakeArchiverDelay() { SetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_DELAY_MS", nullptr); }

FakeArchiverHold::FakeArchiverHold() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  gate_ = std::wstring(temp) + L"rarbatch hold " + std::to_wstring(GetCurrentProcessId()) + L".gate";
  UniqueHandle gate(CreateFileW(gate_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  SetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_HOLD", gate_.c_str());
}

FakeArchiverHold::~FakeArchiverHold() {
  Release();
  SetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_HOLD", nullptr);
}

void FakeArchiverHold::Release() { DeleteFileW(gate_.c_str()); }

std::wstring InstallFakeRar(const std::wstring& folder) {
  const std::wstring target = folder + L"Rar.exe";
  CopyFileW((ExecutableFolder() + L"fake_rar.exe").c_str(), target.c_str(), FALSE);
  return target;
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

std::vector<std::vector<std::wstring>> ReadRecordedCalls(const std::wstring& folder, bool withListings) {
  const std::string log = ReadFileBytes(folder + L"args.log");
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < log.size()) {
    const std::size_t end = log.find('\n', start);
    if (end == std::string::npos) break;
    lines.push_back(log.substr(start, end - start));
    start = end + 1;
  }
  std::vector<std::vector<std::wstring>> calls;
  for (std::size_t i = 0; i < lines.size();) {
    const std::size_t count = std::stoul(lines[i++]);
    std::vector<std::wstring> args;
    for (std::size_t k = 0; k < count && i < lines.size(); ++k) args.push_back(FromUtf8(lines[i++]));
    const bool listing = !args.empty() && (args[0] == L"lt" || args[0] == L"LT" || args[0] == L"p" || args[0] == L"P");
    if (withListings || !listing) calls.push_back(std::move(args));
  }
  return calls;
}

FakeArchive ReadFakeArchive(const std::wstring& path) {
  FakeArchive archive;
  archive.Exists = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::string bytes = ReadFileBytes(path);
  if (const auto text = fake::FakeArchiveText(bytes)) fake::ParseFakeArchive(FromUtf8(std::string(*text)), &archive);
  return archive;
}

std::wstring StoredWithoutRoot(const std::wstring& absolutePath) {
  const std::size_t root = absolutePath.find_first_not_of(L"\\/", 2);
  return root == std::wstring::npos ? L"" : absolutePath.substr(root);
}

bool WriteFakeArchive(const std::wstring& path, const FakeArchive& archive) {
  return WriteFileBytes(path, fake::FakeArchiveHeader(archive) +
                                 ToCodePage(fake::FormatFakeArchive(archive), CP_UTF8).value_or(""));
}

bool ForceExitCode(const std::wstring& archivePath, int code) {
  return WriteFileBytes(archivePath + L".exitcode", std::to_string(code));
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool MakeFolder(const std::wstring& path, DWORD attributes) {
  const std::wstring system = ExtendedLengthPath(path);
  return CreateDirectoryW(system.c_str(), nullptr) &&
         (attributes == 0 || SetFileAttributesW(system.c_str(), attributes));
}

bool MakeEmptyFile(const std::wstring& path, DWORD attributes) {
  const std::wstring system = ExtendedLengthPath(path);
  UniqueHandle file(CreateFileW(system.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  return file && (attributes == 0 || SetFileAttributesW(system.c_str(), attributes));
}

std::wstring MakeDeepFolder(const std::wstring& base, std::size_t beyond) {
  std::wstring path = base + L"深";
  if (!MakeFolder(path)) return {};
  for (int step = 0; path.size() < MAX_PATH + beyond; ++step) {
    path += L"\\" + std::to_wstring(step) + L" 层 " + std::wstring(32, L'x');
    if (!MakeFolder(path)) return {};
  }
  return path + L"\\";
}

bool StartProcess(std::wstring commandLine, bool inheritHandles, DWORD flags, const wchar_t* currentFolder,
                  STARTUPINFOW& startup, PROCESS_INFORMATION& process) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (attempt) Sleep(500);
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, inheritHandles, flags, nullptr, currentFolder,
                       &startup, &process)) {
      return true;
    }
  }
  return false;
}

bool WaitForExit(HANDLE process, DWORD timeoutMs) {
  return WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
}

}  // namespace rarbatch::testing
