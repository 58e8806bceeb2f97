// Whether the disks have room for a run before it starts.
#pragma once

#include <optional>
#include <string>

#include "core/batch_script.h"

namespace rarbatch {

// Whether the disks hold what the run needs (SpaceNeeded): the archiver's new copies beside the
// archives and, with a `backupParent`, the backups. The message naming each volume that falls short,
// or nothing when all have room (a volume whose free space cannot be read is not held against it).
std::optional<std::wstring> FindSpaceProblem(const BatchJob& job, unsigned workers,
                                             const std::wstring& backupParent);

// What a run needs of the disks: the free space at once, over all volumes (SpaceNeeded), and
// FindSpaceProblem's message when a volume falls short.
struct SpaceNeeds {
  std::uint64_t AtOnce = 0;
  std::optional<std::wstring> Problem;
};
SpaceNeeds NeedsOfRun(const BatchJob& job, unsigned workers, const std::wstring& backupParent);

}  // namespace rarbatch
