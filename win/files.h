// Writing a whole file at once, reading a file's first bytes, full paths, finding a program and
// walking a folder. Paths are taken as file_ops.h takes them: any spelling, any length.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

namespace rarbatch {

// The full path of `path` (GetFullPathNameW at any length); `path` itself when it has none.
std::wstring FullPathOf(const std::wstring& path);

// Creates or truncates `path` and writes `bytes` to it. Returns ERROR_SUCCESS, or the system's error
// code of the step that failed.
DWORD WriteWholeFile(const std::wstring& path, const std::string& bytes);

// What ReadFileStart read: Error is ERROR_SUCCESS and Bytes the bytes read, or Error the system's
// error code of the step that failed and Bytes empty.
struct FileStart {
  DWORD Error = ERROR_SUCCESS;
  std::string Bytes;
};

// The first `count` bytes of the file at `path`, or all of it when it is shorter. The file stays open to others for
// reading, writing and deleting while it is read.
FileStart ReadFileStart(const std::wstring& path, std::size_t count);

// The program a bare name such as "Rar.exe" starts, found as the command interpreter finds it: in the
// current folder, then in each folder of PATH, with ".exe" added when the name has no extension. A
// name with a folder in it, or one found nowhere, is returned as it is.
std::wstring ResolveProgram(const std::wstring& name);

// Calls `visit` for every folder and file below `folder` (any spelling: relative, with '/', a UNC
// path, past MAX_PATH), depth first, with its path below `folder` ("sub\x.txt") and what the
// system says of it. Folders that are links are listed but not entered, so a loop of links ends;
// at most `depth` levels are entered.
void WalkFolder(const std::wstring& folder,
                const std::function<void(const std::wstring& below, const WIN32_FIND_DATAW& found)>& visit,
                int depth = 64);

}  // namespace rarbatch
