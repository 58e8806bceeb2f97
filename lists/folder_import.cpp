// Fills the archive list or the add list with the files of one folder that match a pattern.
#include "lists/folder_import.h"

#include <algorithm>

#include "core/paths.h"
#include "dialogs/folder_picker.h"
#include "dialogs/message_box.h"
#include "lists/item_list.h"
#include "run/win_util.h"

namespace rarbatch {
namespace {

// Owns a FindFirstFileExW search.
class FindHandle {
 public:
  explicit FindHandle(HANDLE h) : h_(h) {}
  ~FindHandle() {
    if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

std::wstring ToUpper(const std::wstring& text) {
  if (text.empty()) return text;
  std::wstring upper(text.size(), L'\0');
  const int done = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(),
                                 static_cast<int>(text.size()), upper.data(),
                                 static_cast<int>(upper.size()), nullptr, nullptr, 0);
  return done == static_cast<int>(text.size()) ? upper : text;
}

// `*` and `?` wildcard match of already upper-cased strings, with backtracking to the last star.
bool WildcardMatch(const std::wstring& name, const std::wstring& pattern) {
  std::size_t n = 0, p = 0;
  std::size_t starP = std::wstring::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::wstring::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

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

}  // namespace

HWND CreateFileList(HWND parent, int id, int x, int y, int width, int height) {
  // Never visible and never focusable: it only stands for the file list on the window and shows,
  // as its text, the folder last assigned to it.
  return CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_DISABLED, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                         nullptr);
}

bool NameMatchesPattern(const std::wstring& name, const std::wstring& pattern) {
  const std::wstring upperName = ToUpper(name);
  const std::wstring upperPattern = ToUpper(pattern);
  if (WildcardMatch(upperName, upperPattern)) return true;
  if (upperPattern.size() >= 2 && upperPattern.compare(upperPattern.size() - 2, 2, L".*") == 0 &&
      upperName.find(L'.') == std::wstring::npos) {
    return WildcardMatch(upperName, upperPattern.substr(0, upperPattern.size() - 2));
  }
  return false;
}

bool ListMatchingFiles(const std::wstring& folder, const std::wstring& pattern,
                       std::vector<std::wstring>& names, DWORD& error) {
  names.clear();
  error = ERROR_SUCCESS;
  const bool takesAll = pattern == L"*" || pattern == L"*.*";

  // Every entry is read and its long name tested here: the platform's own pattern search also
  // matches 8.3 short names, so "*.rar" would take "x.rarx".
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find.valid()) {
    error = GetLastError();
    // An empty drive root has not even "." and "..": that is an empty folder, not a failure.
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (error == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      error = ERROR_SUCCESS;
      return true;
    }
    return false;
  }
  do {
    if (!IsListedFile(found.dwFileAttributes)) continue;
    if (takesAll || NameMatchesPattern(found.cFileName, pattern)) names.emplace_back(found.cFileName);
  } while (FindNextFileW(find.get(), &found));
  const DWORD last = GetLastError();
  if (last != ERROR_NO_MORE_FILES) {
    error = last;
    names.clear();
    return false;
  }
  std::sort(names.begin(), names.end(), NameBefore);
  return true;
}

int ImportFolderFrom(HWND target, FileList& files, const std::wstring& folder) {
  const std::wstring d = WithTrailingBackslash(folder);
  std::vector<std::wstring> names;
  DWORD error = ERROR_SUCCESS;
  if (!ListMatchingFiles(d, files.Pattern, names, error)) {
    ShowMessage(target, DescribeFailure(L"无法列出文件夹中的文件", d, error), MB_ICONWARNING);
    return 0;
  }
  files.Path = d;
  if (files.Window) SetWindowTextW(files.Window, d.c_str());

  std::vector<std::wstring> items;
  items.reserve(names.size());
  for (const auto& name : names) items.push_back(d + name);
  const int appended = AppendMany(target, items);
  const std::size_t leftOut = items.size() - static_cast<std::size_t>(appended);
  if (leftOut > 0) {
    ShowMessage(target,
                L"列表已满：一个列表最多只能容纳 " + std::to_wstring(kMaxListItems) + L" 项。\n已添加 " +
                    std::to_wstring(appended) + L" 个文件，另有 " + std::to_wstring(leftOut) +
                    L" 个文件未添加。",
                MB_ICONWARNING);
  }
  return appended;
}

void ImportFolder(HWND owner, HWND target, FileList& files, const std::wstring& prompt) {
  const std::wstring folder = BrowseForFolder(owner, prompt, std::wstring());
  if (folder.empty()) return;
  ImportFolderFrom(target, files, folder);
}

}  // namespace rarbatch
