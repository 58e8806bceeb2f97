// Helpers for tests that run real scripts.
#include "test_support.h"

#include <algorithm>
#include <atomic>

namespace rarbatch::testing {

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

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

// Removes `folder` (ending in a backslash) with its files and subfolders.
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(folder + name + L"\\");
        continue;
      }
      SetFileAttributesW((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW((folder + name).c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

std::string ToUtf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                 static_cast<int>(out.size()), nullptr, nullptr));
  return out;
}

// The archive file writes a backslash, tab, LF and CR as \\, \t, \n and \r.
std::wstring Escape(const std::wstring& s) {
  std::wstring out;
  for (wchar_t c : s) {
    const wchar_t* code = c == L'\\' ? L"\\\\" : c == L'\t' ? L"\\t"
                        : c == L'\n' ? L"\\n" : c == L'\r' ? L"\\r" : nullptr;
    code ? out.append(code) : out.append(1, c);
  }
  return out;
}

std::wstring Unescape(const std::wstring& s) {
  std::wstring out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != L'\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const wchar_t c = s[++i];
    out += c == L't' ? L'\t' : c == L'n' ? L'\n' : c == L'r' ? L'\r' : c;
  }
  return out;
}

}  // namespace

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

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

FakeArchive ReadFakeArchive(const std::wstring& path) {
  FakeArchive archive;
  archive.Exists = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::wstring text = FromUtf8(ReadFileBytes(path));
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(L'\n', start), text.size());
    const std::wstring line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t tab = line.find(L'\t');
    if (line == L"locked") {
      archive.Locked = true;
    } else if (line.starts_with(L"comment ")) {
      archive.Comment = Unescape(line.substr(8));
    } else if (line.starts_with(L"entry ") && tab != std::wstring::npos) {
      archive.Entries.push_back({Unescape(line.substr(6, tab - 6)), Unescape(line.substr(tab + 1))});
    }
  }
  return archive;
}

bool WriteFakeArchive(const std::wstring& path, const FakeArchive& archive) {
  std::wstring text = L"fake archive\n";
  if (archive.Locked) text += L"locked\n";
  if (!archive.Comment.empty()) text += L"comment " + Escape(archive.Comment) + L"\n";
  for (const auto& e : archive.Entries) {
    text += L"entry " + Escape(e.Name) + L"\t" + Escape(e.Password) + L"\n";
  }
  return WriteFileBytes(path, ToUtf8(text));
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

bool WaitForExit(HANDLE process, DWORD timeoutMs) {
  return WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
}

}  // namespace rarbatch::testing
