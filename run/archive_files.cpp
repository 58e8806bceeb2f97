// What the run asks of the archives' files.
#include "archive_files.h"

#include <algorithm>
#include <numeric>

#include "win/file_identity.h"
#include "win/file_ops.h"
#include "win/files.h"

namespace rarbatch {

std::vector<std::size_t> SameFileGroups(const std::vector<std::wstring>& archives) {
  std::vector<std::wstring> keys;
  keys.reserve(archives.size());
  for (const auto& archive : archives) keys.push_back(SameFileKey(archive));
  std::vector<std::size_t> order(archives.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  std::vector<std::size_t> groups(archives.size());
  std::size_t group = 0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k > 0 && keys[order[k - 1]] != keys[order[k]]) ++group;
    groups[order[k]] = group;
  }
  return groups;
}

std::wstring TemporaryFilesBeside(const std::wstring& archive) {
  const std::wstring full = FullPathOf(archive);
  std::wstring names;
  for (const std::wstring& path : FilesMatching(full.substr(0, full.find_last_of(L'\\') + 1), L"__rar_*")) {
    if (!names.empty()) names += L"、";
    names += path;
  }
  return names;
}

}  // namespace rarbatch
