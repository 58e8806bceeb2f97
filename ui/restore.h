// Putting archives back from a run's backups, as the user asks for it: from the results window's
// 还原 button or from the main window's system menu, with a manifest chosen later.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "run/backup.h"

namespace rarbatch {


// Asks before anything is overwritten, then restores every archive the manifest lists and shows
// what became of each. The outcome, or nothing when the user declined.
std::optional<RestoreOutcome> RestoreAfterAsking(HWND owner, const std::wstring& manifest);

// Lets the user pick a manifest (备份清单.txt in a backup folder), then as RestoreAfterAsking.
void PickManifestAndRestore(HWND owner);

// The outcome as a message: at most `rows` archives, those that failed first.
std::wstring RestoreMessage(const RestoreOutcome& outcome, std::size_t rows);

}  // namespace rarbatch
