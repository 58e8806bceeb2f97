// The program's own small files (job files, settings): read whole with a size limit, and written so
// that a failure midway never leaves a half-written file in place of a good one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace rarbatch {

// What ReadSmallFile read: Error is ERROR_SUCCESS and Bytes the file; or TooLarge with Size set (the
// file was not read); or Error the system's error code.
struct SmallFile {
  DWORD Error = ERROR_SUCCESS;
  bool TooLarge = false;
  std::uint64_t Size = 0;
  std::string Bytes;
};

// The whole file at `path`, unless it is larger than `maxBytes`: its size is looked at first.
SmallFile ReadSmallFile(const std::wstring& path, std::uint64_t maxBytes);

// Writes `bytes` to a new file beside `path`, then moves it over `path` (MoveFileEx, replacing), so
// `path` holds either the old file or the whole new one. ERROR_SUCCESS, or the system's error code;
// on failure the new file is removed.
DWORD ReplaceFileContents(const std::wstring& path, const std::string& bytes);

}  // namespace rarbatch
