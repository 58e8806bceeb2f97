// Files dropped on the main window from the file manager: the control they land on decides what
// becomes of them.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

namespace rarbatch {

// Lets `window` take files dropped on it, also when the program runs elevated and the file manager
// does not: the system would otherwise hold back the messages a drop is made of.
void AcceptDroppedFiles(HWND window);

// What the main window does with WM_DROPFILES, on the control under the drop point:
// - the archive list appends each dropped .rar file, and the .rar files of each dropped folder's
//   whole tree; other files are left out, and one message says how many;
// - the add list appends each dropped file and folder as it is;
// - the archiver's box and the comment file's box take the path of one dropped file; several
//   files, or a folder, change nothing and the user is told why;
// - anywhere else nothing changes.
// A list is filled as an import fills it, up to its limit, with the same message when it is full.
// The drop is always released.
void DropFiles(HWND window, HDROP drop) noexcept;

// Every path a drop brings, whole at any length, in the order of the drop; the drop is not released.
std::vector<std::wstring> DroppedPaths(HDROP drop);

// A drop of exactly one job file (.rbjob), wherever it lands, opens the job: its path, with the drop
// released. Any other drop gives nothing and is left for DropFiles.
std::optional<std::wstring> DroppedJobFile(HDROP drop);

}  // namespace rarbatch
