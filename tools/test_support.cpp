// Helpers for tests that run real scripts.
#include "test_support.h"

#include <atomic>

namespace rarbatch::testing {

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

ScratchFolder::ScratchFolder() {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  path_.assign(temp, length);
  if (path_.empty() || path_.back() != L'\\') path_ += L'\\';
  path_ += L"rarbatch 测试 " + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + L"\\";
  CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((path_ + L"*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      SetFileAttributesW((path_ + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW((path_ + name).c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(path_.c_str());
}

std::wstring ExecutableFolder() {
  wchar_t self[32768];
  const DWORD length = GetModuleFileNameW(nullptr, self, 32768);
  std::wstring path(self, length);
  path.resize(path.find_last_of(L'\\') + 1);
  return path;
}

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

std::vector<std::vector<std::wstring>> ReadRecordedCalls(const std::wstring& folder) {
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
    calls.push_back(std::move(args));
  }
  return calls;
}

bool WaitForExit(HANDLE process, DWORD timeoutMs) {
  return WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
}

}  // namespace rarbatch::testing
