// What files dropped on the archive list bring to it: .rar files, and the .rar files of whole
// folder trees.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace rarbatch {

// A folder of a dropped tree that could not be listed, with the system's error code.
struct UnlistedFolder {
  std::wstring Folder;  // ending in a backslash
  DWORD Error = ERROR_SUCCESS;
};

// The archives a drop brings, in the order they are to be appended, and what it left out.
struct DroppedArchives {
  std::vector<std::wstring> Archives;
  std::size_t NotArchives = 0;           // dropped files whose names do not end in .rar
  std::vector<UnlistedFolder> Unlisted;  // folders whose archives could not be listed
};

// Whether `path` names a folder that is there; the path may be longer than MAX_PATH.
bool IsFolder(const std::wstring& path);

// The .rar files of `folder` and of all its subfolders, depth first: each folder's files in the
// import's order (ListMatchingFiles with "*.rar"), then its subfolders one by one in the same order.
// Hidden and system files and folders are left out, and so are links to other folders. A folder
// that cannot be listed goes to `unlisted`, and the walk goes on with the rest.
void ListArchivesInTree(const std::wstring& folder, std::vector<std::wstring>& archives,
                        std::vector<UnlistedFolder>& unlisted);

// Each dropped path in turn: a folder brings the .rar files of its tree (ListArchivesInTree), a file
// whose name ends in .rar (in any case) itself, whatever its attributes, and any other file nothing
// but a count.
DroppedArchives CollectDroppedArchives(const std::vector<std::wstring>& dropped);

}  // namespace rarbatch
