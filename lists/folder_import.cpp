// Fills the archive list or the add list with the files of one folder that match a pattern.
#include "lists/folder_import.h"

#include <algorithm>
#include <string_view>

#include "core/name_rules.h"
#include "core/paths.h"
#include "lists/item_list.h"
#include "win/file_identity.h"
#include "win/file_ops.h"
#include "win/handles.h"

namespace rarbatch {
namespace {

// File names are matched in the file system's own letter case rule.
std::wstring ToUpper(const std::wstring& text) { return FoldedName(text); }

bool IsListedFile(DWORD attributes) {
  // The file list's default filter: ordinary, read-only and archive files; never folders, hidden
  // or system files.
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

// Ascending without regard to case, as a sorted list box orders its items; ties broken by the exact
// characters so that the order never depends on the order of enumeration.
bool NameBefore(const std::wstring& a, const std::wstring& b) {
  const int order = CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, a.c_str(),
                                    static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                    nullptr, nullptr, 0);
  if (order == CSTR_LESS_THAN) return true;
  if (order == CSTR_GREATER_THAN) return false;
  return a < b;
}

// The locale's sort key of `name` without regard to case: comparing two keys byte by byte orders
// the names as CompareStringEx does with the same flags. Empty when the system cannot make one.
std::string SortKey(const std::wstring& name) {
  const int length = static_cast<int>(name.size());
  const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
  const int bytes = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, name.c_str(), length, nullptr, 0,
                                  nullptr, nullptr, 0);
  if (bytes <= 0) return {};
  std::string key(static_cast<std::size_t>(bytes), '\0');
  // With LCMAP_SORTKEY the destination is a byte buffer, counted in bytes.
  const int made = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, name.c_str(), length,
                                 reinterpret_cast<LPWSTR>(key.data()), bytes, nullptr, nullptr, 0);
  if (made <= 0) return {};
  key.resize(static_cast<std::size_t>(made));
  return key;
}

// Sorts with NameBefore's order. A large folder makes one sort key per name and compares keys,
// which is far cheaper than asking the locale on every comparison; should any key fail, it falls
// back to comparing the names themselves.
void SortNames(std::vector<std::wstring>& names) {
  std::vector<KeyedName> keyed;
  keyed.reserve(names.size());
  for (auto& name : names) {
    std::string key = SortKey(name);
    if (key.empty()) {
      std::sort(names.begin(), names.end(), NameBefore);
      return;
    }
    keyed.push_back({std::move(key), name});
  }
  SortByKeys(keyed);
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = std::move(keyed[i].Name);
}

// A folder entry that stands for another folder (a junction or a symbolic link). Wine shows a
// link of the Unix side as a reparse point without a tag.
bool IsFolderLink(const WIN32_FIND_DATAW& found) {
  if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return found.dwReserved0 == 0 || IsReparseTagNameSurrogate(found.dwReserved0);
}

bool IsListedSubfolder(const WIN32_FIND_DATAW& found) {
  if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return false;
  const std::wstring_view name = found.cFileName;
  return name != L"." && name != L".." && !IsFolderLink(found);
}

// Lists the matching files of `folder`, and its subfolders when `subfolders` is given, in one
// enumeration. The system is given the folder in its extended form, so that a folder longer than
// MAX_PATH, or one whose name ends in a space or a dot, is listed as it is named.
bool ListFolder(const std::wstring& folder, const std::wstring& pattern,
                std::vector<std::wstring>& names, std::vector<std::wstring>* subfolders,
                DWORD& error) {
  names.clear();
  if (subfolders) subfolders->clear();
  error = ERROR_SUCCESS;
  const bool takesAll = pattern == L"*" || pattern == L"*.*";
  const std::wstring upperPattern = ToUpper(pattern);
  const std::wstring system = SystemPath(folder);

  // Every entry is read and its long name tested here: the platform's own pattern search also
  // matches 8.3 short names, so "*.rar" would take "x.rarx".
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileExW((system + L"*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) {
    error = GetLastError();
    // An empty drive root has not even "." and "..": that is an empty folder, not a failure.
    if (error == ERROR_FILE_NOT_FOUND && IsExistingFolder(folder)) {
      error = ERROR_SUCCESS;
      return true;
    }
    return false;
  }
  do {
    if (subfolders && IsListedSubfolder(found)) {
      subfolders->emplace_back(found.cFileName);
      continue;
    }
    if (!IsListedFile(found.dwFileAttributes)) continue;
    if (takesAll || MatchesWildcard(ToUpper(found.cFileName), upperPattern)) {
      names.emplace_back(found.cFileName);
    }
  } while (FindNextFileW(find.get(), &found));
  const DWORD last = GetLastError();
  if (last != ERROR_NO_MORE_FILES) {
    error = last;
    names.clear();
    if (subfolders) subfolders->clear();
    return false;
  }
  SortNames(names);
  if (subfolders) SortNames(*subfolders);
  return true;
}

}  // namespace

HWND CreateFileList(HWND parent, int id, int x, int y, int width, int height) {
  // Never visible and never focusable: it only stands for the file list on the window and shows,
  // as its text, the folder last assigned to it.
  return CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_DISABLED, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                         nullptr);
}

bool NameMatchesPattern(const std::wstring& name, const std::wstring& pattern) {
  return MatchesWildcard(ToUpper(name), ToUpper(pattern));
}

bool ListMatchingFiles(const std::wstring& folder, const std::wstring& pattern,
                       std::vector<std::wstring>& names, DWORD& error) {
  return ListFolder(folder, pattern, names, nullptr, error);
}

bool ListMatchingFilesAndSubfolders(const std::wstring& folder, const std::wstring& pattern,
                                    std::vector<std::wstring>& names,
                                    std::vector<std::wstring>& subfolders, DWORD& error) {
  return ListFolder(folder, pattern, names, &subfolders, error);
}

ImportResult AppendBatch(HWND target, const std::vector<std::wstring>& items) {
  ImportResult result;
  const std::size_t room = static_cast<std::size_t>(std::max(0, kMaxListItems - Count(target)));
  result.Appended = AppendMany(target, items);
  result.LeftOut = items.size() - static_cast<std::size_t>(result.Appended);
  if (static_cast<std::size_t>(result.Appended) < std::min(items.size(), room)) {
    // The list stopped short of its limit: the system had no memory for more items.
    result.Stop = ImportStop::OutOfMemory;
  } else if (result.LeftOut > 0) {
    result.Stop = ImportStop::ListFull;
  }
  return result;
}

ImportResult ImportFolderFrom(HWND target, FileList& files, const std::wstring& folder) {
  const std::wstring d = WithTrailingBackslash(folder);
  std::vector<std::wstring> names;
  DWORD error = ERROR_SUCCESS;
  if (!ListMatchingFiles(d, files.Pattern, names, error)) {
    ImportResult failed;
    failed.Folder = d;
    failed.Stop = ImportStop::CannotList;
    failed.Error = error;
    return failed;
  }
  files.Path = d;
  if (files.Window) SetWindowTextW(files.Window, d.c_str());

  std::vector<std::wstring> items;
  items.reserve(names.size());
  for (const auto& name : names) items.push_back(d + name);
  ImportResult result = AppendBatch(target, items);
  result.Folder = d;
  return result;
}

}  // namespace rarbatch
