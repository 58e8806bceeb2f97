// An archive's header, read from its first bytes before the archiver is called on it.
#pragma once

#include <optional>
#include <string>

#include "core/archive_header.h"

namespace rarbatch {

// The header of the archive at `path`, or nothing when the file cannot be read (the archiver then
// says why).
std::optional<ArchiveHeader> ReadHeaderOf(const std::wstring& path);

// Whether the archive at `path` is locked, by its first bytes.
bool IsLockedArchive(const std::wstring& path);

}  // namespace rarbatch
