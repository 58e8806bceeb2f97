// What the run asks of the archives' files beyond the steps themselves: which list entries are one
// file, and what the archiver left beside an archive when it was ended.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rarbatch {

// For each archive, the number of its file: list entries that name the same file (by volume and file
// index, so that every spelling of one file counts; by full path where it does not exist yet) share
// one number.
std::vector<std::size_t> SameFileGroups(const std::vector<std::wstring>& archives);

// The archiver's temporary files ("__rar_*") in the archive's folder, by name, for a call that was
// ended while it wrote one.
std::wstring TemporaryFilesBeside(const std::wstring& archive);

}  // namespace rarbatch
