// Writing a whole file at once.
#include "win/files.h"

#include <algorithm>

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

}  // namespace rarbatch
