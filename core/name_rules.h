// Rules on file names that need no system: wildcard matching of long names, and the import's order.
#pragma once

#include <string>
#include <vector>

namespace rarbatch {

// Whether a long file name matches a wildcard pattern (`*` any run, `?` one character). Both are
// already folded to one letter case by the caller. As on the platform, a pattern ending in ".*" also
// takes names without a dot, so "*.*" takes every name.
bool MatchesWildcard(const std::wstring& foldedName, const std::wstring& foldedPattern);

// A name with its locale sort key (bytes compared as unsigned, as sort keys are meant to be).
struct KeyedName {
  std::string Key;
  std::wstring Name;
};

// The import's order: by sort key, and names whose keys are equal (the same name but for letter
// case) by their exact characters, so that the order never depends on the order of enumeration.
bool SortsBefore(const KeyedName& a, const KeyedName& b);

// Sorts `names` by SortsBefore.
void SortByKeys(std::vector<KeyedName>& names);

}  // namespace rarbatch
