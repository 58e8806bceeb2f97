// What files dropped on the archive list bring to it.
#include "lists/dropped_files.h"

#include <utility>

#include "core/paths.h"
#include "lists/folder_import.h"
#include "win/file_ops.h"

namespace rarbatch {
namespace {

constexpr wchar_t kArchivePattern[] = L"*.rar";

// The last step of a path: what the user sees as the file's name.
std::wstring NameOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool IsFolder(const std::wstring& path) { return IsExistingFolder(path); }

void ListArchivesInTree(const std::wstring& folder, std::vector<std::wstring>& archives,
                        std::vector<UnlistedFolder>& unlisted) {
  // The folders still to visit, the next one last: a tree of any depth needs no deeper call stack.
  std::vector<std::wstring> pending{WithTrailingBackslash(folder)};
  std::vector<std::wstring> names;
  std::vector<std::wstring> subfolders;
  while (!pending.empty()) {
    const std::wstring current = std::move(pending.back());
    pending.pop_back();
    DWORD error = ERROR_SUCCESS;
    if (!ListMatchingFilesAndSubfolders(current, kArchivePattern, names, subfolders, error)) {
      unlisted.push_back({current, error});
      continue;
    }
    for (const auto& name : names) archives.push_back(current + name);
    for (auto sub = subfolders.rbegin(); sub != subfolders.rend(); ++sub) {
      pending.push_back(current + *sub + L"\\");
    }
  }
}

DroppedArchives CollectDroppedArchives(const std::vector<std::wstring>& dropped) {
  DroppedArchives result;
  for (const auto& path : dropped) {
    if (IsFolder(path)) {
      ListArchivesInTree(path, result.Archives, result.Unlisted);
    } else if (NameMatchesPattern(NameOf(path), kArchivePattern)) {
      result.Archives.push_back(path);
    } else {
      ++result.NotArchives;
    }
  }
  return result;
}

}  // namespace rarbatch
