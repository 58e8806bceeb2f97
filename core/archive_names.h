// The archiver's rules of names inside an archive: which entries a delete name takes, how delete
// entries split into names, switches and list files, the root name an added file gets, and the
// entries of a bare listing. The preview predicts a job's effect by these rules.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "batch_script.h"

namespace rarbatch {

// Whether the delete name `name` takes the archive entry `entry` (a stored path as the archiver's
// bare listing gives it, "dir\sub\x.txt"). Letter case is ignored; '\' and '/' both separate folders.
// The archiver's rules, as observed on it:
//   - a name with a wildcard ('*', '?') in its name part and none in its folder part takes, at any
//     depth below that folder (the root when there is none), each entry whose own name matches:
//     "*.bak" takes "x.bak" and "dir\x.bak", "dir\*.bak" takes "dir\x.bak" and "dir\sub\y.bak";
//   - a wildcard in the folder part matches the whole path, '*' across folders: "*\x.txt" takes
//     "dir\x.txt" and "dir\sub\x.txt", not the root's "x.txt";
//   - a mask ending in ".*" also takes names without a dot ("*.*" takes every entry), and one ending
//     in a lone '.' takes only names without a dot ("*." takes "README" and folders);
//   - a name without wildcards names one path and, when that is a folder, everything below it:
//     "x.txt" takes only the root's "x.txt", "dir" takes "dir" and "dir\x.txt". A trailing '.' is
//     dropped ("x.txt." takes "x.txt"), and then nothing below it is taken;
//   - a wildcard that matches a folder takes the folder's own entry only, not what is below it;
//   - a name that ends in a separator ("dir\"), and "." alone, take every entry.
// Not modelled: "..", doubled separators and a leading separator (the archiver takes nothing for
// them, and neither does this); names read from a list file ("@list").
bool DeleteNameTakes(const std::wstring& name, const std::wstring& entry);

// The delete entries of a job as the archiver reads them: each entry split by its rules
// (SplitArchiverArguments) into names, switches ("-..."), which the preview does not apply, and
// list files ("@..."), which it does not read.
struct DeleteWords {
  std::vector<std::wstring> Names;
  std::vector<std::wstring> Switches;
  std::vector<std::wstring> ListFiles;
};
DeleteWords SplitDeleteEntries(const std::vector<std::wstring>& entries);

// The name an added file or folder gets at the archive's root, as the program's run adds with -ep1:
// the path's last part ("D:\素材\说明.txt" gives "说明.txt"; "D:\素材\" gives "素材").
std::wstring RootNameOfAdded(const std::wstring& path);

// The entry paths of the archiver's bare listing (lb): one a line, empty lines left out.
std::vector<std::wstring> ParseBareListing(const std::wstring& output);

// The key under which the archiver takes two stored paths as one: lower case, '/' as '\'.
std::wstring FoldStoredPath(const std::wstring& path);

}  // namespace rarbatch
