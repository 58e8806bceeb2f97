// Writing a whole file at once, and reading a file's first bytes.
#include "win/files.h"

#include <algorithm>

#include "core/paths.h"
#include "win/handles.h"

namespace rarbatch {

DWORD WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
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
  UniqueHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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
