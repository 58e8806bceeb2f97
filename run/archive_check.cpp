// An archive's header, read from its first bytes before the archiver is called on it.
#include "archive_check.h"

#include "win/files.h"

namespace rarbatch {

std::optional<ArchiveHeader> ReadHeaderOf(const std::wstring& path) {
  const FileStart start = ReadFileStart(path, kArchiveHeaderReadSize);
  if (start.Error != ERROR_SUCCESS) return std::nullopt;
  return ReadArchiveHeader(start.Bytes);
}

bool IsLockedArchive(const std::wstring& path) {
  const std::optional<ArchiveHeader> header = ReadHeaderOf(path);
  return header && header->Locked;
}

}  // namespace rarbatch
