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

}  // namespace rarbatch
