// The file operations of the program, each taking a path as the user or a list spells it.
//
// Every function here takes a plain path: relative to the current folder, with '/' or '\', a drive
// path, a UNC path, of any length. It makes the long form itself, always the same way: the full path
// (GetFullPathNameW, which also turns '/' into '\' and settles "." and ".."), then its extended form
// ("\\?\C:\..." or "\\?\UNC\server\share\..."), which the system takes as it stands at any length.
// No caller lengthens a path itself. A plain full path (a drive or a server and share, backslashes
// only, no "." or ".." step) is put in the extended form without GetFullPathNameW, so a name that ends
// in a space or a dot keeps it. A path already in the extended form, or a device path, is used as it
// is.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win/handles.h"

namespace rarbatch {

// The form of `path` that is handed to the system: the extended form of its full path.
std::wstring SystemPath(const std::wstring& path);

// Opens `path` with CreateFileW. `access`, `share`, `disposition` and `flags` are CreateFileW's;
// an empty handle on failure, with the system's error in GetLastError().
UniqueHandle OpenFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags = FILE_ATTRIBUTE_NORMAL);
// An existing file for reading, while others may read, write or delete it.
UniqueHandle OpenForReading(const std::wstring& path);
// A new or emptied file for writing, shared with no one.
UniqueHandle OpenForWriting(const std::wstring& path);

// Each returns ERROR_SUCCESS or the system's error code.
// Moves `from` to `to`, replacing a file there, and only returns once the move is on the disk.
DWORD MoveReplacing(const std::wstring& from, const std::wstring& to);
// Copies `from` to `to`; a file at `to` is replaced only when `replace` is given.
DWORD CopyFileTo(const std::wstring& from, const std::wstring& to, bool replace);
DWORD DeleteFileAt(const std::wstring& path);
// Creates `folder`, and every missing folder above it. A folder that is there already is no failure.
DWORD MakeFolders(const std::wstring& folder);
// Creates the one folder `folder`: ERROR_ALREADY_EXISTS when something is there.
DWORD MakeFolder(const std::wstring& folder);

// The attributes of the file or folder at `path`; nothing when it is not there or cannot be read.
std::optional<DWORD> AttributesOf(const std::wstring& path);
DWORD SetAttributesOf(const std::wstring& path, DWORD attributes);
bool PathExists(const std::wstring& path);
bool IsExistingFile(const std::wstring& path);    // there, and not a folder
bool IsExistingFolder(const std::wstring& path);
// The size of the file at `path`; nothing when it cannot be read.
std::optional<std::uint64_t> SizeOf(const std::wstring& path);

// A file's creation and modification times as FILETIME values.
struct FileTimes {
  std::uint64_t Created = 0, Modified = 0;
};
std::optional<FileTimes> ReadFileTimes(const std::wstring& path);
// Sets the creation time alone (Modified 0) or both; ERROR_SUCCESS or the system's error code.
DWORD WriteFileTimes(const std::wstring& path, const FileTimes& times);

// The full paths of the files (not folders) in one folder whose names match `pattern` ("__rar_*"),
// as the system matches it.
std::vector<std::wstring> FilesMatching(const std::wstring& folder, const std::wstring& pattern);

// The root of the volume that holds `path` ("C:\", "\\server\share\", or a mounted folder), as the
// user would read it; the first three characters of the full path when the system does not say.
std::wstring VolumeRootOf(const std::wstring& path);
// The bytes free to this user on the volume that holds `path`; nothing when they cannot be read.
std::optional<std::uint64_t> FreeSpaceOf(const std::wstring& path);

// The user's folder for temporary files (GetTempPathW, at any length), with a backslash at its end.
std::wstring TempFolderPath();

}  // namespace rarbatch
