// What the run asks of the archives' files: which list entries are one file, where their backups
// go, whether a file is there, what the archiver left beside it, and a call's list file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/archiver_calls.h"

namespace rarbatch {

// For each archive, the number of its file: list entries that name the same file (by volume and file
// index, so that every spelling of one file counts; by full path where it does not exist yet) share
// one number.
std::vector<std::size_t> SameFileGroups(const std::vector<std::wstring>& archives);

// The common root of the archives' full paths, below which their backups keep their places.
std::wstring BackupRoot(const std::vector<std::wstring>& archives);

bool FileExists(const std::wstring& path);

// The archiver's temporary files ("__rar_*") in the archive's folder, by name, for a call that was
// ended while it wrote one.
std::wstring TemporaryFilesBeside(const std::wstring& archive);

// The path of the run's list file number `number`, in the temporary folder, named after the program
// and its process so that runs of several programs never share one.
std::wstring ListFilePath(unsigned number);

// Writes a call's list file in UTF-8; false when it cannot.
bool WriteListFile(const CallResult& call);

}  // namespace rarbatch
