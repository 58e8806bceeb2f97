// The file operations of the program, each making the long form of the path it is given.
#include "win/file_ops.h"

#include "core/paths.h"
#include "win/files.h"

namespace rarbatch {
namespace {

std::uint64_t FromFileTime(const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

FILETIME ToFileTime(std::uint64_t v) { return {static_cast<DWORD>(v & 0xFFFFFFFFu), static_cast<DWORD>(v >> 32)}; }

DWORD Result(BOOL done) { return done ? ERROR_SUCCESS : GetLastError(); }

// The full path without a backslash at its end, except a drive's root ("C:\") keeps it.
std::wstring FullFolderPath(const std::wstring& folder) {
  std::wstring full = FullPathOf(folder);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return full;
}

}  // namespace

std::wstring SystemPath(const std::wstring& path) {
  // A plain full path goes into the extended form as it is, so that a name ending in a space or a
  // dot (which GetFullPathNameW would trim) still names its own file.
  if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;  // already the system's form
  std::wstring extended = ExtendedLengthPath(path);
  if (extended != path) return extended;
  return ExtendedLengthPath(FullPathOf(path));
}

UniqueHandle OpenFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return UniqueHandle(CreateFileW(SystemPath(path).c_str(), access, share, nullptr, disposition, flags, nullptr));
}

UniqueHandle OpenForReading(const std::wstring& path) {
  return OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
}

UniqueHandle OpenForWriting(const std::wstring& path) { return OpenFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS); }

DWORD MoveReplacing(const std::wstring& from, const std::wstring& to) {
  return Result(MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

DWORD CopyFileTo(const std::wstring& from, const std::wstring& to, bool replace) {
  return Result(CopyFileW(SystemPath(from).c_str(), SystemPath(to).c_str(), replace ? FALSE : TRUE));
}

DWORD DeleteFileAt(const std::wstring& path) { return Result(DeleteFileW(SystemPath(path).c_str())); }

DWORD MakeFolder(const std::wstring& folder) { return Result(CreateDirectoryW(SystemPath(folder).c_str(), nullptr)); }

DWORD MakeFolders(const std::wstring& folder) {
  const std::wstring full = FullFolderPath(folder);
  DWORD error = MakeFolder(full);
  if (error == ERROR_ALREADY_EXISTS) return IsExistingFolder(full) ? ERROR_SUCCESS : error;
  if (error != ERROR_PATH_NOT_FOUND) return error;
  const std::size_t slash = full.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash < 3) return error;
  if ((error = MakeFolders(full.substr(0, slash))) != ERROR_SUCCESS) return error;
  error = MakeFolder(full);
  return error == ERROR_ALREADY_EXISTS && IsExistingFolder(full) ? ERROR_SUCCESS : error;
}

std::optional<DWORD> AttributesOf(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes;
}

DWORD SetAttributesOf(const std::wstring& path, DWORD attributes) {
  return Result(SetFileAttributesW(SystemPath(path).c_str(), attributes));
}

bool PathExists(const std::wstring& path) { return AttributesOf(path).has_value(); }

bool IsExistingFile(const std::wstring& path) {
  const std::optional<DWORD> attributes = AttributesOf(path);
  return attributes && !(*attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingFolder(const std::wstring& path) {
  const std::optional<DWORD> attributes = AttributesOf(path);
  return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::uint64_t> SizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::optional<FileTimes> ReadFileTimes(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return FileTimes{FromFileTime(data.ftCreationTime), FromFileTime(data.ftLastWriteTime)};
}

DWORD WriteFileTimes(const std::wstring& path, const FileTimes& times) {
  UniqueHandle file = OpenFile(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               OPEN_EXISTING);
  if (!file) return GetLastError();
  const FILETIME created = ToFileTime(times.Created), modified = ToFileTime(times.Modified);
  return Result(SetFileTime(file.get(), &created, nullptr, times.Modified ? &modified : nullptr));
}

std::vector<std::wstring> FilesMatching(const std::wstring& folder, const std::wstring& pattern) {
  const std::wstring full = WithTrailingBackslash(FullFolderPath(folder));
  std::vector<std::wstring> files;
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileW(ExtendedLengthPath(full + pattern).c_str(), &found));
  if (!find) return files;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(full + found.cFileName);
  } while (FindNextFileW(find.get(), &found));
  return files;
}

std::wstring VolumeRootOf(const std::wstring& path) {
  const std::wstring full = FullPathOf(path);
  std::wstring volume(full.size() + MAX_PATH + 1, L'\0');
  if (!GetVolumePathNameW(full.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) return full.substr(0, 3);
  volume.resize(volume.find(L'\0'));
  return volume;
}

std::optional<std::uint64_t> FreeSpaceOf(const std::wstring& path) {
  ULARGE_INTEGER free{};
  if (!GetDiskFreeSpaceExW(WithTrailingBackslash(VolumeRootOf(path)).c_str(), &free, nullptr, nullptr)) {
    return std::nullopt;
  }
  return free.QuadPart;
}

std::wstring TempFolderPath() {
  std::wstring folder(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    if (length == 0) return {};
    if (length < folder.size()) {
      folder.resize(length);
      return WithTrailingBackslash(folder);
    }
    folder.resize(length + 1);
  }
}

}  // namespace rarbatch
