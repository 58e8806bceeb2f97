// Rules on file names that need no system: wildcard matching of long names, and the import's order.
#include "core/name_rules.h"

#include <algorithm>

namespace rarbatch {
namespace {

// `*` and `?` wildcard match, with backtracking to the last star.
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

}  // namespace

bool MatchesWildcard(const std::wstring& foldedName, const std::wstring& foldedPattern) {
  if (WildcardMatch(foldedName, foldedPattern)) return true;
  const std::size_t size = foldedPattern.size();
  if (size >= 2 && foldedPattern.compare(size - 2, 2, L".*") == 0 &&
      foldedName.find(L'.') == std::wstring::npos) {
    return WildcardMatch(foldedName, foldedPattern.substr(0, size - 2));
  }
  return false;
}

bool SortsBefore(const KeyedName& a, const KeyedName& b) {
  // std::string compares its bytes as unsigned.
  const int order = a.Key.compare(b.Key);
  return order != 0 ? order < 0 : a.Name < b.Name;
}

void SortByKeys(std::vector<KeyedName>& names) { std::sort(names.begin(), names.end(), SortsBefore); }

}  // namespace rarbatch
