// Putting archives back from a run's backups, as the user asks for it: from the results window's
// 还原 button or from the main window's system menu, with a manifest chosen later.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "run/backup.h"

namespace rarbatch {

// What else is at work on the archives (a script, a run, a preview), asked before something starts
// on them: the reason in words that end with `action` ("还原", "重试"), or nothing when nothing is.
using BusyCheck = std::function<std::optional<std::wstring>(const wchar_t* action)>;

// Asks before anything is overwritten, then restores every archive the manifest lists and shows
// what became of each. The outcome, or nothing when the user declined or `busy` refused, which it
// is asked before the question and again after it (other windows stay usable while it is shown).
std::optional<RestoreOutcome> RestoreAfterAsking(HWND owner, const std::wstring& manifest,
                                                 const BusyCheck& busy = {});

// Lets the user pick a manifest (备份清单.txt in a backup folder), then as RestoreAfterAsking.
void PickManifestAndRestore(HWND owner, const BusyCheck& busy = {});

// The outcome as a message: at most `rows` archives, those that failed first.
std::wstring RestoreMessage(const RestoreOutcome& outcome, std::size_t rows);

}  // namespace rarbatch
