// The archiver's own splitting rules, quoting for them, and which delete entries name nothing.
#include "core/archiver_args.h"

#include <gtest/gtest.h>

namespace rarbatch {
namespace {

using Words = std::vector<std::wstring>;

TEST(SplitArchiverArguments, FollowsTheArchiversRulesNotTheCRuntimes) {
  const struct {
    const wchar_t* text;
    Words want;
  } cases[] = {
      {L"a  b\tc ", {L"a", L"b", L"c"}},
      {L"\"old file.txt\" x", {L"old file.txt", L"x"}},
      {L"\"dir\\\" x.txt", {L"dir\\", L"x.txt"}},  // a backslash never escapes a quote
      {L"\"-pmy pass\\\"", {L"-pmy pass\\"}},
      {L"D:\\a\\\\ \"E:\\\\\"", {L"D:\\a\\\\", L"E:\\\\"}},
      {L"\"a\"\"b\" c\"\"d", {L"a\"b", L"c\"d"}},  // doubled quotes inside and outside quoting
      {L"\"-pa\"\"b&c\"", {L"-pa\"b&c"}},
      {L"x\"y z\"w", {L"xy zw"}},
      {L"\"\"\"\"", {L"\"\""}},
      {L"\" \"", {L" "}},
      {L"   ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitArchiverArguments(c.text), c.want) << c.text;
}

TEST(QuoteArchiverArgument, EveryArgumentComesBackWhole) {
  const std::wstring arguments[] = {L"\"\"a",     L"plain",      L"two words", L"trailing\\",
                                    L"\\\\srv\\", L"\"",         L"a\"\"b",    L"-p\"x\\\" y",
                                    L"\t%&^!",   L"压缩 包\\\""};
  std::wstring line;
  Words want;
  for (const auto& argument : arguments) {
    EXPECT_EQ(SplitArchiverArguments(QuoteArchiverArgument(argument)), Words{argument}) << argument;
    line += QuoteArchiverArgument(argument) + L" ";
    want.push_back(argument);
  }
  EXPECT_EQ(SplitArchiverArguments(line), want) << "side by side on one line";
  EXPECT_EQ(QuoteArchiverArgument(L"D:\\x\\"), L"\"D:\\x\\\"");
}

TEST(NamesSomethingToDelete, OnlyEntriesWithANameCount) {
  for (const wchar_t* entry : {L"", L"   ", L"\t", L"-r", L"-r -x", L"\"-r\"", L"- --"}) {
    EXPECT_FALSE(NamesSomethingToDelete(entry)) << "[" << entry << "]";
  }
  for (const wchar_t* entry : {L"a", L" -r *.bak", L"@list.txt", L"\" \"", L"\"\"", L"x\"-r\""}) {
    EXPECT_TRUE(NamesSomethingToDelete(entry)) << "[" << entry << "]";
  }
}

}  // namespace
}  // namespace rarbatch
