// The archiver's rules of taking entries by delete names.
#include "core/archive_names.h"

#include <gtest/gtest.h>

namespace rarbatch {
namespace {

// An archive with nested folders, names with and without dots, and a folder whose name has a dot.
const std::vector<std::wstring> kCorpus = {
    L"Dir2",       L"Dir2\\a.b.c",    L"Dir2\\noext",    L"README",        L"X.TXT.bak",    L"a.txt",
    L"a.txt\\q.dat", L"dir",          L"dir\\noext",     L"dir\\sub",      L"dir\\sub\\Y.Bak",
    L"dir\\sub\\x.txt", L"dir\\sub\\z.bak", L"dir\\x.bak", L"dir\\x.txt",  L"noext",        L"x.bak",
    L"x.txt",
};

std::vector<std::wstring> Taken(const std::wstring& name) {
  std::vector<std::wstring> taken;
  for (const auto& entry : kCorpus) {
    if (DeleteNameTakes(name, entry)) taken.push_back(entry);
  }
  return taken;
}

// Each row was run on the console archiver (rar 7.01): `rar d` with the name on a copy of an archive
// holding kCorpus, and the entries `rar lb` listed before and not after. "ALL" is every entry (the
// archiver then deleted the archive file).
TEST(DeleteNameTakes, AsTheArchiverDeletes) {
  using V = std::vector<std::wstring>;
  const V all = kCorpus;
  const struct {
    const wchar_t* name;
    V taken;
  } cases[] = {
      // A wildcard in the name part: at any depth below the folder part.
      {L"x.?ak", {L"dir\\x.bak", L"x.bak"}},
      {L"dir\\sub\\*", {L"dir\\sub\\Y.Bak", L"dir\\sub\\x.txt", L"dir\\sub\\z.bak"}},
      {L"dir/sub/*", {L"dir\\sub\\Y.Bak", L"dir\\sub\\x.txt", L"dir\\sub\\z.bak"}},
      {L"*.txt", {L"a.txt", L"dir\\sub\\x.txt", L"dir\\x.txt", L"x.txt"}},
      {L"x?txt", {L"dir\\sub\\x.txt", L"dir\\x.txt", L"x.txt"}},
      {L"*.tx", {}},
      {L"[x].txt", {}},
      // A wildcard matching a folder takes the folder's entry, not what is below it.
      {L"dir\\s*", {L"dir\\sub"}},
      {L"di?", {L"dir"}},
      // The dot rules: ".*" also takes names without a dot, a lone "." only those.
      {L"*.*", all},
      {L"README.*", {L"README"}},
      {L"*.", {L"Dir2", L"Dir2\\noext", L"README", L"dir", L"dir\\noext", L"dir\\sub", L"noext"}},
      {L"no*.", {L"Dir2\\noext", L"dir\\noext", L"noext"}},
      {L"dir\\*.", {L"dir\\noext", L"dir\\sub"}},
      {L"Dir2\\*.*", {L"Dir2\\a.b.c", L"Dir2\\noext"}},
      {L"*", all},
      {L"*?", all},
      // A wildcard in the folder part: the whole path, '*' across folders.
      {L"*\\x.txt", {L"dir\\sub\\x.txt", L"dir\\x.txt"}},
      {L"d*\\x.txt", {L"dir\\sub\\x.txt", L"dir\\x.txt"}},
      {L"?ir\\x.txt", {L"dir\\x.txt"}},
      {L"*\\noext", {L"Dir2\\noext", L"dir\\noext"}},
      {L"*\\noext.*", {L"Dir2\\noext", L"dir\\noext"}},
      {L"*\\sub", {L"dir\\sub"}},
      {L"*\\x.?ak", {L"dir\\x.bak"}},
      {L"dir\\*\\x.txt", {L"dir\\sub\\x.txt"}},
      {L"*\\*",
       {L"Dir2\\a.b.c", L"Dir2\\noext", L"a.txt\\q.dat", L"dir\\noext", L"dir\\sub", L"dir\\sub\\Y.Bak",
        L"dir\\sub\\x.txt", L"dir\\sub\\z.bak", L"dir\\x.bak", L"dir\\x.txt"}},
      // No wildcard: one path, and everything below it when it is a folder.
      {L"x.txt", {L"x.txt"}},
      {L"noext", {L"noext"}},
      {L"dir\\x.txt", {L"dir\\x.txt"}},
      {L"dir\\sub\\x.txt", {L"dir\\sub\\x.txt"}},
      {L"dir", {L"dir", L"dir\\noext", L"dir\\sub", L"dir\\sub\\Y.Bak", L"dir\\sub\\x.txt",
                L"dir\\sub\\z.bak", L"dir\\x.bak", L"dir\\x.txt"}},
      {L"dir\\sub", {L"dir\\sub", L"dir\\sub\\Y.Bak", L"dir\\sub\\x.txt", L"dir\\sub\\z.bak"}},
      {L"a.txt", {L"a.txt", L"a.txt\\q.dat"}},
      {L"sub", {}},
      {L"dir\\x", {}},
      {L"nothing.z", {}},
      // A trailing dot is dropped, and then nothing below is taken.
      {L"x.txt.", {L"x.txt"}},
      {L"noext.", {L"noext"}},
      {L"dir.", {L"dir"}},
      // Forms the archiver takes nothing for.
      {L".\\x.txt", {}},
      {L"\\x.txt", {}},
      {L"dir\\sub\\..\\x.txt", {}},
      {L"dir\\\\x.txt", {}},
      // A name ending in a separator, and "." alone, take every entry.
      {L"dir\\", all},
      {L"dir\\sub\\", all},
      {L"nonexist\\", all},
      {L"*\\", all},
      {L".", all},
  };
  for (const auto& c : cases) EXPECT_EQ(Taken(c.name), c.taken) << c.name;
}

// The archiver on Windows ignores letter case. The host archiver the tests run (Linux) compares it,
// so here its runs gave the same entries less those differing in case only ("dir\*.bak" took
// "dir\sub\z.bak" and "dir\x.bak", not "dir\sub\Y.Bak"); the rows add those back.
TEST(DeleteNameTakes, IgnoresLetterCase) {
  using V = std::vector<std::wstring>;
  const struct {
    const wchar_t* name;
    V taken;
  } cases[] = {
      {L"X.TXT", {L"x.txt"}},
      {L"DIR\\X.TXT", {L"dir\\x.txt"}},
      {L"*.BAK", {L"X.TXT.bak", L"dir\\sub\\Y.Bak", L"dir\\sub\\z.bak", L"dir\\x.bak", L"x.bak"}},
      {L"dir2", {L"Dir2", L"Dir2\\a.b.c", L"Dir2\\noext"}},
      {L"dir\\*.bak", {L"dir\\sub\\Y.Bak", L"dir\\sub\\z.bak", L"dir\\x.bak"}},
      {L"d*\\*.bak", {L"dir\\sub\\Y.Bak", L"dir\\sub\\z.bak", L"dir\\x.bak"}},
      {L"?ir\\*.bak", {L"dir\\sub\\Y.Bak", L"dir\\sub\\z.bak", L"dir\\x.bak"}},
      {L"x*", {L"X.TXT.bak", L"dir\\sub\\x.txt", L"dir\\x.bak", L"dir\\x.txt", L"x.bak", L"x.txt"}},
      {L"d*\\*.", {L"Dir2\\noext", L"dir\\noext", L"dir\\sub"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Taken(c.name), c.taken) << c.name;
}

TEST(SplitDeleteEntries, NamesSwitchesAndListFiles) {
  const DeleteWords words = SplitDeleteEntries({L"*.bak \"a b.txt\"", L"-r x.txt", L"@list.txt", L"dir\\"});
  EXPECT_EQ(words.Names, (std::vector<std::wstring>{L"*.bak", L"a b.txt", L"x.txt", L"dir\\"}));
  EXPECT_EQ(words.Switches, (std::vector<std::wstring>{L"-r"}));
  EXPECT_EQ(words.ListFiles, (std::vector<std::wstring>{L"@list.txt"}));
}

TEST(RootNameOfAdded, LastPartOfThePath) {
  const struct {
    const wchar_t* path;
    const wchar_t* name;
  } cases[] = {
      {L"D:\\素材\\说明.txt", L"说明.txt"}, {L"D:\\素材\\", L"素材"}, {L"D:\\素材", L"素材"},
      {L"x.txt", L"x.txt"},                {L"D:x.txt", L"x.txt"},   {L"\\\\server\\share\\a", L"a"},
  };
  for (const auto& c : cases) EXPECT_EQ(RootNameOfAdded(c.path), c.name) << c.path;
}

}  // namespace
}  // namespace rarbatch
