// The folder-browse dialog, returning the chosen folder's plain path or why there is none.
#pragma once

#include <windows.h>

#include <string>

namespace rarbatch {

// What became of a folder choice.
enum class FolderPick {
  Chosen,           // Path is the chosen folder
  Cancelled,        // the user cancelled: nothing to say
  PathNotWhole,     // the system gave no path, or one that may be cut short; Path holds what it gave
  EndsInSpace,      // the path begins or ends in a space; Path holds it as the system gave it
};

struct PickedFolder {
  FolderPick Outcome = FolderPick::Cancelled;
  std::wstring Path;
};

// Shows the folder-browse dialog with `prompt` above the tree and returns the chosen file-system
// folder, whole, without a trailing backslash (but a drive root's). Nothing is chosen when its path
// cannot be had whole (any length is taken where the system gives it), or when the path begins or
// ends in a space: without the spaces it would name another folder. The tree opens at `startFolder`
// when it is given and still there, otherwise at the desktop.
PickedFolder BrowseForFolder(HWND owner, const std::wstring& prompt,
                             const std::wstring& startFolder = std::wstring());

}  // namespace rarbatch
