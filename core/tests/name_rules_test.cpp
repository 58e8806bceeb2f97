// Wildcard matching of long names, and the import's order by sort keys.
#include "core/name_rules.h"

#include <gtest/gtest.h>

namespace rarbatch {
namespace {

TEST(MatchesWildcard, StarsQuestionMarksAndTheDotStarRule) {
  const struct {
    const wchar_t* name;
    const wchar_t* pattern;
    bool matches;
  } cases[] = {
      {L"A.RAR", L"*.RAR", true},     {L"A.PART1.RAR", L"*.RAR", true}, {L".RAR", L"*.RAR", true},
      {L"X.RARX", L"*.RAR", false},   {L"RAR", L"*.RAR", false},        {L"A.RAR.BAK", L"*.RAR", false},
      {L"AB.RAR", L"?.RAR", false},   {L"AB.RAR", L"A*B*.R?R", true},  {L"ABBB", L"A*B", true},
      {L"README", L"*.*", true},      {L"NOEXT", L"N*.*", true},        {L"OTHER", L"N*.*", false},
      {L"A.B", L"*", true},           {L"", L"*", true},                {L"", L"?", false},
      {L"压缩 包.RAR", L"压*.RAR", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchesWildcard(c.name, c.pattern), c.matches) << c.name << " against " << c.pattern;
  }
}

TEST(SortByKeys, OrdersByKeyThenByExactCharacters) {
  // Keys compare as unsigned bytes; equal keys (names differing only in case) fall back to the name.
  std::vector<KeyedName> names = {
      {"\xF0", L"z"}, {"b", L"b"}, {"a", L"a"}, {"a", L"A"}, {"\x10", L"0"},
  };
  SortByKeys(names);
  std::vector<std::wstring> order;
  for (const auto& n : names) order.push_back(n.Name);
  EXPECT_EQ(order, (std::vector<std::wstring>{L"0", L"A", L"a", L"b", L"z"}));
}

}  // namespace
}  // namespace rarbatch
