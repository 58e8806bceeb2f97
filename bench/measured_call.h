// Running one program and measuring it: its exit code, the bytes it wrote, its time, and what became
// of the archive it was given. Linux only: it reads /proc.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/rewrite_support.h"

namespace rarbatch::bench {

enum class Change { Unchanged, Rewritten, InPlace, Removed };

// What tells a rewritten archive (a new file renamed over the old one) from one changed in place. The
// inode number alone does not: the new file can be handed the number the old one just freed. The
// birth time does, where the file system keeps one (ext4 and tmpfs do).
struct FileIdentity {
  std::uint64_t Inode = 0, Size = 0;
  bool HasBirth = false;
  statx_timestamp Birth{}, Modified{};
};

// Nothing when the file is not there.
std::optional<FileIdentity> Identify(const std::filesystem::path& path);

// What became of a file between two looks at it.
Change ChangeBetween(const FileIdentity& before, const std::optional<FileIdentity>& after);

struct MeasuredCall {
  int ExitCode = -1;               // 128 + the signal for a killed process, 127 when exec failed
  ProcessIo Io;                    // read while the process was a zombie
  std::uint64_t OutputBytes = 0;   // what it wrote to its standard output and error
  std::uint64_t BlockBytes = 0;    // ru_oublock of the reaped process, in bytes
  std::uint64_t ArchiveBytes = 0;  // the size of the archive it left, when it wrote a new one
  double Seconds = 0;
  Change ArchiveChange = Change::Unchanged;
};

// Runs `args` (the program's path first) in a session of its own, so that no prompt can reach a
// terminal: standard input from a pipe holding `input` when there is one, else /dev/null; standard
// output and error into `outputPath`. `archive`, when not empty, is looked at before and after; it
// is not held open across the call, since the archiver's unlink would then leave freeing the old
// file to the benchmark. Throws std::runtime_error when the call cannot be made or measured.
MeasuredCall RunMeasured(const std::vector<std::string>& args, const std::string* input,
                         const std::filesystem::path& outputPath,
                         const std::filesystem::path& archive = {});

}  // namespace rarbatch::bench
