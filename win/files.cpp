// Writing a whole file at once, reading a file's first bytes, finding a program, walking a folder.
#include "win/files.h"

#include <algorithm>

#include "core/paths.h"
#include "win/file_ops.h"
#include "win/handles.h"

namespace rarbatch {

DWORD WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  UniqueHandle file = OpenForWriting(path);
  if (!file) return GetLastError();
  std::size_t written = 0;
  while (written < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
    DWORD done = 0;
    if (!WriteFile(file.get(), bytes.data() + written, chunk, &done, nullptr)) return GetLastError();
    if (done == 0) return ERROR_WRITE_FAULT;
    written += done;
  }
  return ERROR_SUCCESS;
}

FileStart ReadFileStart(const std::wstring& path, std::size_t count) {
  UniqueHandle file = OpenForReading(path);
  if (!file) return {GetLastError(), {}};
  // Storage for no more than the file holds, however large `count` is.
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return {GetLastError(), {}};
  FileStart start;
  start.Bytes.resize(static_cast<std::size_t>(
      std::min<unsigned long long>(count, static_cast<unsigned long long>(size.QuadPart))));
  std::size_t read = 0;
  while (read < start.Bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(start.Bytes.size() - read, 1u << 30));
    DWORD done = 0;
    if (!ReadFile(file.get(), start.Bytes.data() + read, chunk, &done, nullptr)) return {GetLastError(), {}};
    if (done == 0) break;  // the file was cut meanwhile
    read += done;
  }
  start.Bytes.resize(read);
  return start;
}

}  // namespace rarbatch

namespace rarbatch {

std::wstring ResolveProgram(const std::wstring& name) {
  if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos) return name;
  // A name with an extension is taken as it is; one without gets ".exe", the archiver's.
  const std::wstring file = name.find(L'.') != std::wstring::npos ? name : name + L".exe";
  const auto found = [&](const std::wstring& folder) -> std::wstring {
    const std::wstring path = folder.empty() ? file : folder + L"\\" + file;
    return IsExistingFile(path) ? FullPathOf(path) : std::wstring();
  };
  if (std::wstring here = found(L""); !here.empty()) return here;
  const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  std::wstring paths(size, L'\0');
  paths.resize(GetEnvironmentVariableW(L"PATH", paths.data(), size));
  for (std::size_t start = 0; start <= paths.size();) {
    std::size_t end = paths.find(L';', start);
    if (end == std::wstring::npos) end = paths.size();
    std::wstring folder = paths.substr(start, end - start);
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') folder = folder.substr(1, folder.size() - 2);
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    if (!folder.empty()) {
      if (std::wstring there = found(folder); !there.empty()) return there;
    }
    start = end + 1;
  }
  return name;
}

std::wstring FullPathOf(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return path;
    if (length < full.size()) return full.substr(0, length);
    full.resize(length);
  }
}

namespace {

void WalkBelow(const std::wstring& full, const std::wstring& prefix,
               const std::function<void(const std::wstring&, const WIN32_FIND_DATAW&)>& visit, int depth) {
  if (depth < 0) return;
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileW(SystemPath(WithTrailingBackslash(full) + L"*").c_str(), &found));
  if (!find) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    visit(prefix + name, found);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      WalkBelow(WithTrailingBackslash(full) + name, prefix + name + L"\\", visit, depth - 1);
    }
  } while (FindNextFileW(find.get(), &found));
}

}  // namespace

void WalkFolder(const std::wstring& folder,
                const std::function<void(const std::wstring& below, const WIN32_FIND_DATAW& found)>& visit,
                int depth) {
  std::wstring full = FullPathOf(folder);
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  WalkBelow(full, L"", visit, depth);
}

}  // namespace rarbatch
