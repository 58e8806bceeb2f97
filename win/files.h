// Writing a whole file at once, and reading a file's first bytes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace rarbatch {

// Creates or truncates `path` and writes `bytes` to it. Returns ERROR_SUCCESS, or the system's error
// code of the step that failed.
DWORD WriteWholeFile(const std::wstring& path, const std::string& bytes);

// What ReadFileStart read: Error is ERROR_SUCCESS and Bytes the bytes read, or Error the system's
// error code of the step that failed and Bytes empty.
struct FileStart {
  DWORD Error = ERROR_SUCCESS;
  std::string Bytes;
};

// The first `count` bytes of the file at `path`, or all of it when it is shorter. A full path is
// opened in its extended form, so it may be longer than MAX_PATH. The file stays open to others for
// reading, writing and deleting while it is read.
FileStart ReadFileStart(const std::wstring& path, std::size_t count);

// The program a bare name such as "Rar.exe" starts, found as the command interpreter finds it: in the
// current folder, then in each folder of PATH, with ".exe" added when the name has no extension. A
// name with a folder in it, or one found nowhere, is returned as it is.
std::wstring ResolveProgram(const std::wstring& name);

}  // namespace rarbatch
