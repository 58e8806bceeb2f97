// One table of archiver calls run twice: against the real archiver (the host's, through rar_bridge)
// and against the stand-in, each on the same archive state. The real archiver is the reference: the
// stand-in has to give the same exit code and leave the same archive behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/archive_header.h"
#include "core/utf8.h"
#include "tools/test_support.h"

namespace rarbatch::testing {
namespace {

// The archive a row starts from; the real one is made by the real archiver, the stand-in's is written
// in its text format.
// Reference: a.bin, ad.jpg stored as a reference to it (an identical copy added with -oi), b.txt;
// BrokenReference: the same after a.bin was deleted. Recovery: made with -rr5%. Solid: made with -s.
// Content: banner.bin, a.txt, sub\ad.bin (banner.bin's bytes) and -x.txt, in that order.
// EncryptedEntry: secret.bin (banner.bin's bytes) added under the password, then b.txt without it.
enum class Start {
  Plain, Locked, Volume, EncryptedNames, NotAnArchive, Missing, Reference, BrokenReference, Recovery, Solid,
  Content, EncryptedEntry
};

constexpr const char kPassword[] = "secret";
constexpr const char kNotAnArchive[] = "this is not an archive\r\n";

struct End {
  End(bool exists = true, std::vector<std::wstring> entries = {}, bool locked = false,
      std::wstring comment = L"", bool recovery = false, bool solid = false)
      : exists(exists), entries(std::move(entries)), locked(locked), comment(std::move(comment)),
        recovery(recovery), solid(solid) {}
  bool exists;
  // Sorted; "*\x.txt" stands for a name that ends in "\x.txt" and is not at the root.
  std::vector<std::wstring> entries;
  bool locked;
  std::wstring comment;
  bool recovery;  // it has a recovery record
  bool solid;     // its data is one stream: a delete recompresses it
};

struct Row {
  const char* what;
  Start start;
  // After the program's name; {arc} is the archive's full path, {c} that of c.txt beside it, {-z}
  // the switch that takes c.txt as the comment, and {@list} list.txt (a.txt and zz.txt) as a list
  // file, {@quoted} the same names quoted, {@unbalanced} "a.txt and "b.txt " (each a line), {@add}
  // c.txt's full path quoted; each is quoted.
  const wchar_t* args;
  const char* input;  // piped into standard input; nullptr gives NUL
  DWORD code;
  End end;
  const wchar_t* says = nullptr;  // a line the output holds, spaces before it aside
  // The whole output, byte for byte: the named files of the row's folder one after another ('+'
  // between them); "" for none.
  const wchar_t* prints = nullptr;
};

const std::vector<std::wstring> kAB = {L"a.txt", L"b.txt"};
const std::vector<std::wstring> kB = {L"b.txt"};
const std::vector<std::wstring> kRef = {L"a.bin", L"ad.jpg", L"b.txt"};
const std::vector<std::wstring> kContent = {L"-x.txt", L"a.txt", L"banner.bin", L"sub\\ad.bin"};
const std::vector<std::wstring> kEncryptedEntry = {L"b.txt", L"secret.bin"};

const Row kRows[] = {
    {"d of one name", Start::Plain, L"d {arc} a.txt", nullptr, 0, {true, kB}},
    {"d that removes every entry erases the archive", Start::Plain, L"d {arc} a.txt b.txt", nullptr, 0,
     {false}},
    {"d with several names, none matching", Start::Plain, L"d {arc} zz.txt yy.txt", nullptr, 10,
     {true, kAB}},
    {"d with several names, one matching", Start::Plain, L"d {arc} zz.txt a.txt", nullptr, 0, {true, kB}},
    {"k", Start::Plain, L"k {arc}", nullptr, 0, {true, kAB, true}},
    {"a of an absolute path keeps the path less its root", Start::Plain, L"a {arc} {c}", nullptr, 0,
     {true, {L"*\\c.txt", L"a.txt", L"b.txt"}}},
    {"a -ep1 keeps the last part only", Start::Plain, L"a -ep1 {arc} {c}", nullptr, 0,
     {true, {L"a.txt", L"b.txt", L"c.txt"}}},
    {"a with -k and -z", Start::Plain, L"a -ep1 -k {-z} {arc} {c}", nullptr, 0,
     {true, {L"a.txt", L"b.txt", L"c.txt"}, true, L"cmt"}},
    {"d with -k and -z", Start::Plain, L"d -k {-z} {arc} a.txt", nullptr, 0, {true, kB, true, L"cmt"}},
    {"c with -k", Start::Plain, L"c -k {-z} {arc}", nullptr, 0, {true, kAB, true, L"cmt"}},
    {"a -p without a password, nothing on standard input", Start::Plain, L"a -ep1 -p {arc} {c}",
     nullptr, 255, {true, kAB}},
    {"a with a missing file adds the others, locks, and says 10", Start::Plain,
     L"a -ep1 -k {-z} {arc} {c} missing.txt", nullptr, 10, {true, {L"a.txt", L"b.txt", L"c.txt"}, true, L"cmt"}},
    {"a of missing files only changes nothing, not even the lock", Start::Plain, L"a -ep1 -k {arc} missing.txt",
     nullptr, 10, {true, kAB}},
    {"d that matches nothing sets neither lock nor comment", Start::Plain, L"d -k {-z} {arc} zz.txt", nullptr,
     10, {true, kAB}},
    {"d of the names in a UTF-8 list file, messages in UTF-8", Start::Plain, L"d -scfr -scfl {arc} {@list}",
     nullptr, 0, {true, kB}},
    // A list file's line between quotes is one name, as an argument is; a quote left open, or a
    // name's trailing space inside the quotes, names nothing.
    {"d of quoted names in a list file", Start::Plain, L"d -scfr -scfl {arc} {@quoted}", nullptr, 0, {true, kB}},
    {"d of list lines with an open quote and a quoted trailing space", Start::Plain,
     L"d -scfr -scfl {arc} {@unbalanced}", nullptr, 10, {true, kAB}},
    {"a -ep1 of a quoted path in a list file", Start::Plain, L"a -ep1 -scfr -scfl {arc} {@add}", nullptr, 0,
     {true, {L"a.txt", L"b.txt", L"c.txt"}}},
    {"a -p reads the password from input", Start::Plain, L"a -ep1 -p {arc} {c}", "secret\r\n", 0,
     {true, {L"a.txt", L"b.txt", L"c.txt"}}},
    {"a creates a missing archive", Start::Missing, L"a -ep1 {arc} {c}", nullptr, 0,
     {true, {L"c.txt"}}},

    {"k on a locked archive", Start::Locked, L"k {arc}", nullptr, 4, {true, kAB, true}},
    {"d on a locked archive", Start::Locked, L"d {arc} a.txt", nullptr, 4, {true, kAB, true}},
    {"a on a locked archive", Start::Locked, L"a -ep1 {arc} {c}", nullptr, 4, {true, kAB, true}},
    {"c on a locked archive", Start::Locked, L"c {-z} {arc}", nullptr, 4, {true, kAB, true}},

    {"d on a volume", Start::Volume, L"d {arc} big.bin", nullptr, 4, {true, {L"big.bin"}}},
    {"a on a volume", Start::Volume, L"a -ep1 {arc} {c}", nullptr, 4, {true, {L"big.bin"}}},
    {"c on a volume", Start::Volume, L"c {-z} {arc}", nullptr, 0, {true, {L"big.bin"}, false, L"cmt"}},
    {"k on a volume", Start::Volume, L"k {arc}", nullptr, 0, {true, {L"big.bin"}, true}},

    {"encrypted names without -p, NUL as input", Start::EncryptedNames, L"d {arc} a.txt", nullptr, 255,
     {true, kAB}},
    {"encrypted names without -p, input at its end", Start::EncryptedNames, L"d {arc} a.txt", "", 255,
     {true, kAB}},
    {"encrypted names, a wrong password", Start::EncryptedNames, L"d -pwrong {arc} a.txt", nullptr, 11,
     {true, kAB}},
    {"encrypted names, the right password", Start::EncryptedNames, L"d -psecret {arc} a.txt", nullptr, 0,
     {true, kB}},
    {"encrypted names, -p reads the password from input", Start::EncryptedNames, L"d -p {arc} a.txt",
     "secret\r\n", 0, {true, kB}},

    {"d on a file that is not an archive", Start::NotAnArchive, L"d {arc} a.txt", nullptr, 2, {}},
    {"a on a file that is not an archive", Start::NotAnArchive, L"a -ep1 {arc} {c}", nullptr, 2, {}},
    {"c on a file that is not an archive", Start::NotAnArchive, L"c {-z} {arc}", nullptr, 0, {}},
    {"k on a file that is not an archive", Start::NotAnArchive, L"k {arc}", nullptr, 0, {}},

    {"d on a missing archive", Start::Missing, L"d {arc} a.txt", nullptr, 6, {false}},
    {"c on a missing archive", Start::Missing, L"c {-z} {arc}", nullptr, 10, {false}},
    {"k on a missing archive", Start::Missing, L"k {arc}", nullptr, 10, {false}},

    // The test before the lock, and -tk on every call.
    {"t", Start::Plain, L"t {arc}", nullptr, 0, {true, kAB}},
    {"t on a locked archive", Start::Locked, L"t {arc}", nullptr, 0, {true, kAB, true}},
    {"t on a file that is not an archive", Start::NotAnArchive, L"t {arc}", nullptr, 1, {}},
    {"t on a missing archive", Start::Missing, L"t {arc}", nullptr, 10, {false}},
    {"d with -tk", Start::Plain, L"d -tk {arc} a.txt", nullptr, 0, {true, kB}},

    // A reference is restored by copying its target out of the archive: a delete that takes the
    // target alone succeeds and the test finds nothing wrong, but the reference can no longer be
    // unpacked.
    {"lt names a reference's type and target", Start::Reference, L"lt -c- -p- {arc}", nullptr, 0,
     {true, kRef}, L"Target: a.bin"},
    {"lt says a reference's type", Start::Reference, L"lt -c- -p- -scfr {arc}", nullptr, 0, {true, kRef},
     L"Type: File reference"},
    {"d of a reference's target alone keeps the reference", Start::Reference, L"d {arc} a.bin", nullptr, 0,
     {true, {L"ad.jpg", L"b.txt"}}},
    {"d of a target with its reference", Start::Reference, L"d {arc} a.bin ad.jpg", nullptr, 0, {true, kB}},
    {"x of an archive whose references have their targets", Start::Reference, L"x -o+ {arc}", nullptr, 0,
     {true, kRef}},
    {"t of a reference without its target says nothing is wrong", Start::BrokenReference, L"t {arc}", nullptr, 0,
     {true, {L"ad.jpg", L"b.txt"}}},
    {"x of a reference without its target fails", Start::BrokenReference, L"x -o+ {arc}", nullptr, 6,
     {true, {L"ad.jpg", L"b.txt"}}},
    {"lt of encrypted names with -p-", Start::EncryptedNames, L"lt -c- -p- {arc}", nullptr, 11, {true, kAB}},
    {"lt of encrypted names, -p reads the password from input", Start::EncryptedNames, L"lt -c- -p {arc}",
     "secret\r\n", 0, {true, kAB}, L"Name: a.txt"},
    // A solid archive stays solid through every call that rewrites it.
    {"d keeps a solid archive solid", Start::Solid, L"d {arc} a.txt", nullptr, 0, {true, kB, false, L"", false, true}},
    {"a keeps a solid archive solid", Start::Solid, L"a -ep1 {arc} {c}", nullptr, 0,
     {true, {L"a.txt", L"b.txt", L"c.txt"}, false, L"", false, true}},
    {"c keeps a solid archive solid", Start::Solid, L"c {-z} {arc}", nullptr, 0, {true, kAB, false, L"cmt", false, true}},
    {"k keeps a solid archive solid", Start::Solid, L"k {arc}", nullptr, 0, {true, kAB, true, L"", false, true}},
    {"k with -tk", Start::Plain, L"k -tk {arc}", nullptr, 0, {true, kAB, true}},

    // An archive made with -rr5%: every call that rewrites it drops its recovery record unless the
    // call asks for one; one that changes nothing leaves it.
    {"d drops the recovery record", Start::Recovery, L"d {arc} a.txt", nullptr, 0, {true, kB}},
    {"d -rr makes it anew", Start::Recovery, L"d -rr5% {arc} a.txt", nullptr, 0, {true, kB, false, L"", true}},
    {"a drops the recovery record", Start::Recovery, L"a -ep1 {arc} {c}", nullptr, 0,
     {true, {L"a.txt", L"b.txt", L"c.txt"}}},
    {"a -rr makes it anew", Start::Recovery, L"a -ep1 -rr5% {arc} {c}", nullptr, 0,
     {true, {L"a.txt", L"b.txt", L"c.txt"}, false, L"", true}},
    {"c drops the recovery record", Start::Recovery, L"c {-z} {arc}", nullptr, 0, {true, kAB, false, L"cmt"}},
    {"c -rr makes it anew", Start::Recovery, L"c -rr5% {-z} {arc}", nullptr, 0, {true, kAB, false, L"cmt", true}},
    {"k drops the recovery record", Start::Recovery, L"k {arc}", nullptr, 0, {true, kAB, true}},
    {"k -rr makes it anew", Start::Recovery, L"k -rr5% {arc}", nullptr, 0, {true, kAB, true, L"", true}},
    {"a -k -z -rr on the last change keeps all three", Start::Recovery, L"a -ep1 -k {-z} -rr7% {arc} {c}", nullptr,
     0, {true, {L"a.txt", L"b.txt", L"c.txt"}, true, L"cmt", true}},
    {"d that matches nothing keeps the record", Start::Recovery, L"d {arc} zz.txt", nullptr, 10,
     {true, kAB, false, L"", true}},
    {"t keeps the record", Start::Recovery, L"t {arc}", nullptr, 0, {true, kAB, false, L"", true}},
    {"-rr above 1000 % is taken as 1000 %", Start::Recovery, L"d -rr1001% {arc} a.txt", nullptr, 0,
     {true, kB, false, L"", true}},

    // Deleting by content: the listing's sizes and CRC32s, the bytes of the entries p writes, and the
    // delete of exact paths from a list file.
    {"lt gives each entry's size", Start::Content, L"lt -c- -p- -scfr {arc}", nullptr, 0, {true, kContent},
     L"Size: 3000"},
    {"lt gives each entry's CRC32", Start::Content, L"lt -c- -p- -scfr {arc}", nullptr, 0, {true, kContent},
     L"CRC32: 5907318D"},
    {"lt of an entry under a password says it is encrypted", Start::EncryptedEntry, L"lt -c- -p- -scfr {arc}",
     nullptr, 0, {true, kEncryptedEntry}, L"Flags: encrypted"},
    {"lt of an entry without a password", Start::EncryptedEntry, L"lt -c- -p- -scfr {arc}", nullptr, 0,
     {true, kEncryptedEntry}, L"CRC32: 5D1FF640"},
    {"p writes the named entries in the archive's order", Start::Content, L"p -inul -c- -p- -scfr {arc} a.txt banner.bin",
     nullptr, 0, {true, kContent}, nullptr, L"banner.bin+a.txt"},
    {"p of exact paths in a list file, in the archive's order", Start::Content,
     L"p -inul -c- -p- -scfr -scfl {arc} {@content}", nullptr, 0, {true, kContent}, nullptr, L"a.txt+banner.bin+-x.txt"},
    {"p of a name that matches nothing", Start::Content, L"p -inul -c- -p- -scfr {arc} zz.txt", nullptr, 10,
     {true, kContent}, nullptr, L""},
    {"p of an entry under a password with -p- writes nothing", Start::EncryptedEntry,
     L"p -inul -c- -p- -scfr {arc} secret.bin", nullptr, 11, {true, kEncryptedEntry}, nullptr, L""},
    {"p without the password writes the other entries and says 11", Start::EncryptedEntry,
     L"p -inul -c- -p- -scfr {arc} b.txt secret.bin", nullptr, 11, {true, kEncryptedEntry}, nullptr, L"b.txt"},
    {"p with the password", Start::EncryptedEntry, L"p -inul -c- -psecret -scfr {arc} secret.bin b.txt", nullptr, 0,
     {true, kEncryptedEntry}, nullptr, L"banner.bin+b.txt"},
    {"p -p reads the password from input", Start::EncryptedEntry, L"p -inul -c- -p -scfr {arc} secret.bin",
     "secret\r\n", 0, {true, kEncryptedEntry}, nullptr, L"banner.bin"},
    // A list file's line is a name, never a switch, also when it begins with '-' (quoted or not).
    {"d of exact paths in a list file, one beginning with '-'", Start::Content, L"d -scfr -scfl {arc} {@exact}",
     nullptr, 0, {true, {L"a.txt", L"banner.bin"}}},
    {"d of an unquoted list line beginning with '-'", Start::Content, L"d -scfr -scfl {arc} {@dash}", nullptr, 0,
     {true, {L"a.txt", L"banner.bin", L"sub\\ad.bin"}}},
};

std::wstring Replace(std::wstring text, const std::wstring& what, const std::wstring& with) {
  for (std::size_t at = 0; (at = text.find(what, at)) != std::wstring::npos; at += with.size()) {
    text.replace(at, what.size(), with);
  }
  return text;
}

std::wstring ArchiveName(Start start) { return start == Start::Volume ? L"t.part1.rar" : L"t.rar"; }

struct Call {
  DWORD code = 0xDEAD;
  std::string output;  // standard and error output, in the OEM code page
};

// Runs `exe` in `folder` with `args`, `input` piped in (nullptr: NUL); output goes through a file in
// `spare`, away from the archive's folder.
Call RunIn(const std::wstring& exe, const std::wstring& folder, const std::wstring& args,
           const char* input, const std::wstring& spare) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const std::wstring outPath = spare + L"output.txt";
  HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE in = nullptr, feed = nullptr;
  if (input) {
    CreatePipe(&in, &feed, &inherit, 0);
    SetHandleInformation(feed, HANDLE_FLAG_INHERIT, 0);
    DWORD written = 0;
    WriteFile(feed, input, static_cast<DWORD>(strlen(input)), &written, nullptr);
    CloseHandle(feed);
  } else {
    in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                     nullptr);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = out;
  std::wstring line = L"\"" + exe + L"\" " + args;
  PROCESS_INFORMATION info{};
  Call call;
  // Under Wine a process now and then fails to start at all when many are started one after another;
  // that is no answer of the archiver's, so the start is tried again, and a lasting failure is said.
  BOOL started = FALSE;
  DWORD startError = 0;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    std::wstring attemptLine = line;
    started = CreateProcessW(exe.c_str(), attemptLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                             folder.c_str(), &startup, &info);
    if (!started) startError = GetLastError();
  }
  if (started) {
    CloseHandle(info.hThread);
    if (WaitForExit(info.hProcess)) GetExitCodeProcess(info.hProcess, &call.code);
    CloseHandle(info.hProcess);
  } else {
    ADD_FAILURE() << "the archiver could not be started: error " << startError;
  }
  CloseHandle(in);
  CloseHandle(out);
  call.output = ReadFileBytes(outPath);
  return call;
}

std::wstring TrimEnd(std::wstring s) {
  while (!s.empty() && (s.back() == L'\r' || s.back() == L'\n' || s.back() == L' ')) s.pop_back();
  return s;
}

std::vector<std::wstring> Lines(const std::string& bytes) {
  std::vector<std::wstring> lines;
  std::wstring text(bytes.size(), L'\0');
  text.resize(MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                                  static_cast<int>(text.size())));
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(L'\n', start), text.size());
    lines.push_back(TrimEnd(text.substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

void ExpectEntries(const std::vector<std::wstring>& expected, std::vector<std::wstring> actual) {
  const std::string all = ::testing::PrintToString(actual);
  for (const auto& name : expected) {
    const auto found = std::find_if(actual.begin(), actual.end(), [&](const std::wstring& a) {
      if (!name.starts_with(L"*\\")) return a == name;
      const std::wstring tail = name.substr(1);
      return a.ends_with(tail) && a.size() > tail.size() && !a.starts_with(L"\\");
    });
    EXPECT_NE(found, actual.end()) << ::testing::PrintToString(name) << " is not among " << all;
    if (found != actual.end()) actual.erase(found);
  }
  EXPECT_TRUE(actual.empty()) << "more entries than expected: " << all;
}

// Writes the files every row may use: a.txt, b.txt, the comment c.txt, and big.bin, which does not
// compress (so that a small volume size splits it).
void WriteInputs(const std::wstring& dir) {
  ASSERT_TRUE(WriteFileBytes(dir + L"a.txt", "alpha\r\n"));
  ASSERT_TRUE(WriteFileBytes(dir + L"b.txt", "beta\r\n"));
  ASSERT_TRUE(WriteFileBytes(dir + L"c.txt", "cmt"));
  ASSERT_TRUE(WriteFileBytes(dir + L"list.txt", "a.txt\r\nzz.txt\r\n"));
  ASSERT_TRUE(WriteFileBytes(dir + L"quoted.txt", "\"a.txt\"\r\n\"zz.txt\"\r\n"));
  ASSERT_TRUE(WriteFileBytes(dir + L"unbalanced.txt", "\"a.txt\r\n\"b.txt \"\r\n"));
  const std::string addList = "\"" + ToUtf8(dir).value_or("") + "c.txt\"\r\n";
  ASSERT_TRUE(WriteFileBytes(dir + L"add.txt", addList));
  std::string noise(300000, '\0');
  unsigned state = 12345;
  for (auto& c : noise) state = state * 1103515245u + 12345u, c = static_cast<char>(state >> 23);
  ASSERT_TRUE(WriteFileBytes(dir + L"big.bin", noise));
  // Deleting by content: a banner of 3,000 bytes (CRC32 5907318D), a copy in a folder, and a file whose
  // name begins with '-'; the list files name entries by their exact paths, as the run writes them.
  std::string banner(3000, '\0');
  state = 777;
  for (auto& c : banner) state = state * 1103515245u + 12345u, c = static_cast<char>(state >> 23);
  ASSERT_TRUE(WriteFileBytes(dir + L"banner.bin", banner));
  ASSERT_TRUE(WriteFileBytes(dir + L"secret.bin", banner));
  CreateDirectoryW((dir + L"sub").c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(dir + L"sub\\ad.bin", banner));
  ASSERT_TRUE(WriteFileBytes(dir + L"-x.txt", "dash\r\n"));
  ASSERT_TRUE(WriteFileBytes(dir + L"content.txt", "\"-x.txt\"\r\n\"sub/ad.bin\"\r\n\"a.txt\"\r\n"));
  ASSERT_TRUE(WriteFileBytes(dir + L"exact.txt", "\"sub/ad.bin\"\r\n\"-x.txt\"\r\n"));
  ASSERT_TRUE(WriteFileBytes(dir + L"dash.txt", "-x.txt\r\n"));
}

class Conformance : public ::testing::Test {
 protected:
  // Runs every row: `prepare` makes the start state in the folder, `read` the end state.
  template <typename Prepare, typename Read>
  void RunTable(const std::wstring& rar, Prepare prepare, Read read) {
    for (const Row& row : kRows) {
      SCOPED_TRACE(row.what);
      ScratchFolder dir, spare(L"rarbatch conformance");
      WriteInputs(dir.Path());
      prepare(row.start, dir.Path());
      const std::wstring archive = dir.Path() + ArchiveName(row.start);
      const std::string before = ReadFileBytes(archive);
      std::wstring args = Replace(row.args, L"{arc}", L"\"" + archive + L"\"");
      args = Replace(args, L"{c}", L"\"" + dir.Path() + L"c.txt\"");
      args = Replace(args, L"{-z}", L"\"-z" + dir.Path() + L"c.txt\"");
      for (const wchar_t* list : {L"list", L"quoted", L"unbalanced", L"add", L"content", L"exact", L"dash"}) {
        args = Replace(args, L"{@" + std::wstring(list) + L"}", L"\"@" + dir.Path() + list + L".txt\"");
      }
      const Call call = RunIn(rar, dir.Path(), args, row.input, spare.Path());
      EXPECT_EQ(call.code, row.code) << call.output;
      if (row.says) {
        const std::vector<std::wstring> lines = Lines(call.output);
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) {
          const std::size_t text = line.find_first_not_of(L' ');
          return text != std::wstring::npos && line.substr(text) == row.says;
        })) << call.output;
      }
      if (row.prints) {
        std::string expected;
        for (std::wstring rest = row.prints; !rest.empty();) {
          const std::size_t plus = rest.find(L'+', 1);
          expected += ReadFileBytes(dir.Path() + rest.substr(0, plus));
          rest = plus == std::wstring::npos ? L"" : rest.substr(plus + 1);
        }
        EXPECT_EQ(call.output.size(), expected.size());
        EXPECT_TRUE(call.output == expected) << "the bytes written differ";
      }
      const bool exists = GetFileAttributesW(archive.c_str()) != INVALID_FILE_ATTRIBUTES;
      EXPECT_EQ(exists, row.end.exists);
      if (row.start == Start::NotAnArchive) {
        EXPECT_EQ(ReadFileBytes(archive), before) << "the file changed";
        continue;
      }
      if (!exists || !row.end.exists) continue;
      End end;
      read(row.start, archive, spare.Path(), &end);
      ExpectEntries(row.end.entries, end.entries);
      EXPECT_EQ(end.locked, row.end.locked);
      EXPECT_EQ(TrimEnd(end.comment), row.end.comment);
      EXPECT_EQ(end.recovery, row.end.recovery);
      EXPECT_EQ(end.solid, row.end.solid);
    }
  }
};

TEST_F(Conformance, RealArchiverThroughTheBridge) {
  if (GetFileAttributesW(L"Z:\\usr\\bin\\rar") == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  }
  ScratchFolder tools(L"rarbatch bridge");
  const std::wstring rar = tools.Path() + L"Rar.exe";
  ASSERT_TRUE(CopyFileW((ExecutableFolder() + L"rar_bridge.exe").c_str(), rar.c_str(), FALSE));

  // Each start state is made once by the real archiver and copied for every row.
  ScratchFolder masters(L"rarbatch masters");
  WriteInputs(masters.Path());
  const auto make = [&](const std::wstring& args) {
    const Call call = RunIn(rar, masters.Path(), args, nullptr, tools.Path());
    ASSERT_EQ(call.code, 0u) << ::testing::PrintToString(args) << call.output;
  };
  make(L"a -idq plain.rar a.txt b.txt");
  make(L"a -idq locked.rar a.txt b.txt");
  make(L"k -idq locked.rar");
  make(L"a -idq -hpsecret encrypted.rar a.txt b.txt");
  make(L"a -idq -v100k volume.rar big.bin");
  for (const wchar_t* copy : {L"a.bin", L"ad.jpg"}) {
    ASSERT_TRUE(CopyFileW((masters.Path() + L"big.bin").c_str(), (masters.Path() + copy).c_str(), FALSE));
  }
  make(L"a -idq -oi reference.rar a.bin ad.jpg b.txt");
  ASSERT_TRUE(CopyFileW((masters.Path() + L"reference.rar").c_str(), (masters.Path() + L"broken.rar").c_str(), FALSE));
  make(L"d -idq broken.rar a.bin");
  make(L"a -idq -rr5% recovery.rar a.txt b.txt");
  make(L"a -idq -s solid.rar a.txt b.txt");
  make(L"a -idq content.rar -- banner.bin a.txt sub/ad.bin -x.txt");
  make(L"a -idq -psecret entry.rar secret.bin");
  make(L"a -idq entry.rar b.txt");
  ASSERT_NE(GetFileAttributesW((masters.Path() + L"volume.part2.rar").c_str()), INVALID_FILE_ATTRIBUTES);
  const std::map<Start, std::wstring> master = {
      {Start::Plain, L"plain.rar"}, {Start::Locked, L"locked.rar"},
      {Start::EncryptedNames, L"encrypted.rar"}, {Start::Volume, L"volume.part"},
      {Start::Reference, L"reference.rar"}, {Start::BrokenReference, L"broken.rar"},
      {Start::Recovery, L"recovery.rar"}, {Start::Solid, L"solid.rar"}, {Start::Content, L"content.rar"},
      {Start::EncryptedEntry, L"entry.rar"}};

  const auto prepare = [&](Start start, const std::wstring& dir) {
    if (start == Start::Missing) return;
    if (start == Start::NotAnArchive) {
      ASSERT_TRUE(WriteFileBytes(dir + L"t.rar", kNotAnArchive));
    } else if (start == Start::Volume) {
      for (const wchar_t* part : {L"1", L"2", L"3"}) {
        ASSERT_TRUE(CopyFileW((masters.Path() + L"volume.part" + part + L".rar").c_str(),
                              (dir + L"t.part" + part + L".rar").c_str(), FALSE));
      }
    } else {
      ASSERT_TRUE(CopyFileW((masters.Path() + master.at(start)).c_str(), (dir + L"t.rar").c_str(), FALSE));
    }
  };
  const auto read = [&](Start start, const std::wstring& archive, const std::wstring& spare, End* end) {
    const std::wstring password = start == Start::EncryptedNames ? L"-psecret " : L"";
    const std::wstring quoted = L"\"" + archive + L"\"";
    const Call list = RunIn(rar, spare, L"lt " + password + quoted, nullptr, spare);
    ASSERT_EQ(list.code, 0u) << list.output;
    for (const auto& line : Lines(list.output)) {
      const std::size_t name = line.find(L"Name: ");
      if (name != std::wstring::npos) end->entries.push_back(Replace(line.substr(name + 6), L"/", L"\\"));
      if (line.starts_with(L"Details: ")) {
        end->locked = line.find(L", lock") != std::wstring::npos;
        end->recovery = line.find(L"recovery record") != std::wstring::npos;
        end->solid = line.find(L", solid") != std::wstring::npos;
      }
    }
    const std::wstring commentFile = spare + L"comment.txt";
    const Call comment =
        RunIn(rar, spare, L"cw -y " + password + quoted + L" \"" + commentFile + L"\"", nullptr, spare);
    ASSERT_EQ(comment.code, 0u) << comment.output;
    end->comment = FromUtf8(ReadFileBytes(commentFile));
  };
  RunTable(rar, prepare, read);
}

// How large a record each percent gives, measured on the real archiver, and that the percent the
// program asks for on a change gives back at least the record the archive had. The stand-in keeps
// only the percent, so this runs on the real archiver alone.
TEST(RecoveryRecordSize, RealArchiver) {
  if (GetFileAttributesW(L"Z:\\usr\\bin\\rar") == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  }
  ScratchFolder tools(L"rarbatch bridge"), dir;
  const std::wstring rar = tools.Path() + L"Rar.exe";
  ASSERT_TRUE(CopyFileW((ExecutableFolder() + L"rar_bridge.exe").c_str(), rar.c_str(), FALSE));
  WriteInputs(dir.Path());
  const auto run = [&](const std::wstring& args) {
    const Call call = RunIn(rar, dir.Path(), args, nullptr, tools.Path());
    EXPECT_EQ(call.code, 0u) << ::testing::PrintToString(args) << call.output;
  };
  // The record's size as the program reads it: from its place in the main header to the file's end.
  const auto record = [&](const std::wstring& name, std::uint64_t* data) {
    const std::string bytes = ReadFileBytes(dir.Path() + name);
    const ArchiveHeader header = ReadArchiveHeader(bytes);
    EXPECT_TRUE(header.RecoveryRecord) << ::testing::PrintToString(name);
    if (data) *data = header.RecoveryOffset;
    return RecoveryRecordSize(header, bytes.size());
  };
  // 300,000 bytes that do not compress: N percent gives 6,348 N bytes (2.1 N percent of the data; for
  // 2,000,000 bytes it is 1.17 N percent), never less than N percent.
  for (const unsigned percent : {1u, 3u, 5u, 10u, 50u}) {
    SCOPED_TRACE(percent);
    const std::wstring name = L"r" + std::to_wstring(percent) + L".rar";
    run(L"a -idq -rr" + std::to_wstring(percent) + L"% " + name + L" big.bin");
    std::uint64_t data = 0;
    const std::uint64_t size = record(name, &data);
    EXPECT_GE(size * 100, data * percent);
    EXPECT_LE(size * 100, data * percent * 25 / 10 + 100 * 2048);
  }
  // Small data has a floor far above the percent: 13 bytes at 1 % give a record of 239 bytes.
  run(L"a -idq -rr1% small.rar a.txt b.txt");
  EXPECT_GE(record(L"small.rar", nullptr), 200u);
  EXPECT_LE(record(L"small.rar", nullptr), 400u);

  // The percent the program asks for gives back at least the old record after a delete, an add, a
  // comment and a lock.
  run(L"a -idq -rr3% keep.rar big.bin a.txt");
  std::uint64_t data = 0;
  const std::uint64_t before = record(L"keep.rar", &data);
  ArchiveHeader header = ReadArchiveHeader(ReadFileBytes(dir.Path() + L"keep.rar"));
  const unsigned percent = RecoveryPercentToKeep(header, data + before);
  EXPECT_GT(percent, 3u) << "the record is larger than the 3 % asked for";
  run(L"d -idq keep.rar a.txt");
  run(L"a -idq -ep1 keep.rar b.txt");
  run(L"c -idq -zc.txt keep.rar");
  run(L"k -idq -rr" + std::to_wstring(percent) + L"% keep.rar");
  EXPECT_GE(record(L"keep.rar", nullptr), before);
}

TEST_F(Conformance, StandIn) {
  const auto prepare = [](Start start, const std::wstring& dir) {
    const std::wstring archive = dir + ArchiveName(start);
    FakeArchive fake;
    fake.Entries = {{L"a.txt", L""}, {L"b.txt", L""}};
    switch (start) {
      case Start::Missing: return;
      case Start::NotAnArchive: ASSERT_TRUE(WriteFileBytes(archive, kNotAnArchive)); return;
      case Start::Plain: break;
      case Start::Locked: fake.Locked = true; break;
      case Start::EncryptedNames: fake.EncryptedNames = true, fake.NamesPassword = L"secret"; break;
      case Start::Volume: fake.Volume = true, fake.Entries = {{L"big.bin", L""}}; break;
      case Start::Reference: fake.Entries = {{L"a.bin", L""}, {L"ad.jpg", L"", L"a.bin"}, {L"b.txt", L""}}; break;
      case Start::BrokenReference: fake.Entries = {{L"ad.jpg", L"", L"a.bin"}, {L"b.txt", L""}}; break;
      case Start::Recovery: fake.RecoveryPercent = 5; break;
      case Start::Solid: fake.Solid = true; break;
      case Start::Content: {
        const std::string banner = ReadFileBytes(dir + L"banner.bin");
        fake.Entries = {{L"banner.bin", L"", L"", banner}, {L"a.txt", L"", L"", "alpha\r\n"},
                        {L"sub\\ad.bin", L"", L"", banner}, {L"-x.txt", L"", L"", "dash\r\n"}};
        break;
      }
      case Start::EncryptedEntry:
        fake.Entries = {{L"secret.bin", L"secret", L"", ReadFileBytes(dir + L"banner.bin")},
                        {L"b.txt", L"", L"", "beta\r\n"}};
        break;
    }
    ASSERT_TRUE(WriteFakeArchive(archive, fake));
  };
  const auto read = [](Start, const std::wstring& archive, const std::wstring&, End* end) {
    const FakeArchive fake = ReadFakeArchive(archive);
    for (const auto& e : fake.Entries) end->entries.push_back(e.Name);
    end->locked = fake.Locked;
    end->comment = fake.Comment;
    end->recovery = fake.RecoveryPercent > 0;
    end->solid = fake.Solid;
  };
  ScratchFolder tools(L"rarbatch stand-in");
  RunTable(InstallFakeRar(tools.Path()), prepare, read);
}

}  // namespace
}  // namespace rarbatch::testing
