// Fills a list with the files of one folder that match a pattern.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rarbatch {

// A hidden file list of the window: the pattern it lists and the folder last assigned to it.
struct FileList {
  HWND Window = nullptr;  // hidden, never focusable; created by CreateFileList
  std::wstring Pattern;   // "*.rar" or "*.*"
  std::wstring Path;      // the folder last assigned, ending in a backslash; empty until then
};

// Creates the hidden control that stands for a file list on the window.
HWND CreateFileList(HWND parent, int id, int x, int y, int width, int height);

// The names of the files directly in `folder` (ending in a backslash) whose long names match
// `pattern` without regard to case; normal, read-only and archive files only (no hidden, system or
// folder entries); sorted ascending without regard to case. Returns false, with the system's error
// code in `error`, when the folder cannot be listed. The folder may be longer than MAX_PATH.
bool ListMatchingFiles(const std::wstring& folder, const std::wstring& pattern,
                       std::vector<std::wstring>& names, DWORD& error);

// As ListMatchingFiles, and in the same listing the names of the folder's subfolders, in the same
// order: neither hidden nor system ones, and no links to other folders (junctions, symbolic links),
// which could lead back up the tree.
bool ListMatchingFilesAndSubfolders(const std::wstring& folder, const std::wstring& pattern,
                                    std::vector<std::wstring>& names,
                                    std::vector<std::wstring>& subfolders, DWORD& error);

// Whether the long file name matches the wildcard pattern (`*` any run, `?` one character) without
// regard to case. As on the platform, a pattern ending in ".*" also takes names without a dot, so
// "*.*" takes every name.
bool NameMatchesPattern(const std::wstring& name, const std::wstring& pattern);

// How an import ended: every matching file appended, or why not.
enum class ImportStop { None, CannotList, ListFull, OutOfMemory };

struct ImportResult {
  std::wstring Folder;              // the folder listed, ending in a backslash
  int Appended = 0;                 // items appended to the list
  std::size_t LeftOut = 0;          // matching files not appended (ListFull, OutOfMemory)
  ImportStop Stop = ImportStop::None;
  DWORD Error = ERROR_SUCCESS;      // CannotList: the system's error code
};

// Appends `items` to `target` in one batch, with redrawing suspended: the list is filled to its
// limit and the rest left out. Appended, LeftOut and Stop (None, ListFull or OutOfMemory) say how it
// went; Folder stays empty.
ImportResult AppendBatch(HWND target, const std::vector<std::wstring>& items);

// The import after the folder has been chosen: assigns `folder` (a backslash is added when it does
// not end in one) to `files`, then appends folder + name for each matching file to `target`. A folder
// that cannot be listed changes nothing; an overfull list is filled to the limit and the rest left
// out. Shows nothing: the caller tells the user.
ImportResult ImportFolderFrom(HWND target, FileList& files, const std::wstring& folder);

}  // namespace rarbatch
