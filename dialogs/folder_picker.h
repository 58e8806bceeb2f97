// The folder-browse dialog, returning a plain path.
#pragma once

#include <windows.h>

#include <string>

namespace rarbatch {

// Shows the folder-browse dialog with `prompt` above the tree. Returns the chosen file-system folder
// with leading and trailing spaces removed, or the empty string on cancel or a folder with no path.
// The third argument is accepted and ignored.
std::wstring BrowseForFolder(HWND owner, const std::wstring& prompt,
                             const std::wstring& unused = std::wstring());

}  // namespace rarbatch
