// Stands in for the console archiver in tests: a small model of how it reads its command line,
// what its commands do to an archive, and which exit code it gives.
//
// Command line: the whole line (GetCommandLineW) is split here, not by the C runtime. Spaces and
// tabs separate arguments; a double quote turns quoting on and off; two double quotes in a row give
// one literal double quote, inside quoting or outside it; a backslash is always an ordinary
// character, also right before a double quote. The first word, the program name, is split alike
// and skipped. Before anything can fail, the arguments are appended to args.log beside the exe:
// their count on a line, then each on a line of its own, UTF-8. The log is opened without sharing
// and opened again while another call holds it, so calls running at once never interleave.
//
// Commands; switches start with '-' and may stand anywhere, "--" makes the rest plain arguments:
//   d <archive> [names]  removes the entries whose name matches any of the names ('*', '?',
//       case-blind); when none is left, the archive file is deleted
//   a <archive> [files]  adds each file, or replaces the entry of that name, under the password
//       (empty without -p). A file is stored under its path as given, less a drive and root
//       ("C:\Users\me\x.txt" gives "Users\me\x.txt", ".\x" gives "x"); with -ep1 under its last
//       component alone. A folder (ending in '\' or naming a directory) adds its files recursively,
//       named from the folder's stored name on ("D:\dir" with -ep1 gives "dir\x.txt"); folders get
//       no entry of their own. Files are taken literally, without wildcards; the archive never adds
//       itself.
//   c <archive>  sets the comment (-z<file> is needed: the text of the UTF-8 file, a BOM dropped)
//   k <archive>  locks the archive
//   lb <archive>  writes each entry's name on a line of its own (encrypted names give 255)
//   lt <archive>  the technical listing, as far as the program reads it: a block per entry with its
//       "Name:", "Type:" (File, or File reference), a reference's "Target:", "Size:" and "CRC32:"
//       (a reference's 00000000) lines; an entry added under a password gives "CRC32 MAC:" (a value
//       the password changes) and "Flags: encrypted " instead, as a RAR 5 archive does; encrypted
//       names need their password, as d does
//   p <archive> [names]  writes the bytes of the entries the names match to standard output, in the
//       archive's order whatever the names' order, and nothing else (as with -inul). An entry under a
//       password is written only with that password (-p<pwd>, or -p and the line from standard input);
//       without it (-p- never asks) it is left out and the call ends with 11 once the others are
//       written. 10 when no entry matches
//   x <archive>  unpacks nothing, but answers as the archiver does: 6 when a reference's target is
//       not in the archive (the reference cannot be made), 0 otherwise
//   t <archive>  tests it: 0 for an archive (also a locked one), 1 for a file that is not one, 10
//       when it is missing; it changes nothing
// On a, d and c, -z<file> also sets the comment and -k also locks the archive once the command is
// done. Without names or files *.* is implied: every entry for d, the files of the current folder
// for a. "x.*" also matches "x", so "*.*" matches every name. Switches taken: -p[<pwd>], -z<file>,
// -k, -ep1, -y, -id<x>, -inul, -p- (no password, never asked for), -sc<x>, -c- (no comment shown), -o+ (x overwrites), -tk (the archive keeps its
// modification time), -oi (a file of at least 64 KB identical to one added before it in the same call
// is stored as a reference to it; the archiver stored a 200,000-byte copy so and a 5,000-byte one as a
// file), -rr[N[%]] (a recovery record of N percent, 3 without N, at most 1000), -s (a new archive is
// solid; every rewrite keeps a solid archive solid, as the archiver does). "-p" without a password
// reads it as a line from standard input. Every d, a, c and k that changes the archive writes it anew:
// it keeps a recovery record only when the call asks for one, as the archiver does.
//
// Archive kinds (fake_archive.h): a locked one refuses every command (4, also k). A volume of a set
// refuses d and a (4); c and k work on it. One with encrypted names needs its password (-p, or the
// line from standard input): without one 255, a wrong one 11. A file that is not an archive gives 2
// for d and a, while c and k leave it as it is and exit 0.
//
// Exit codes: 0 done; 2 the archive file is not an archive (d, a), or c without -z (it would ask on
// the console); 4 locked, or d or a on a volume; 5 the archive cannot be written; 6 d on a missing
// archive, or a comment file that cannot be read; 7 unknown command or switch, or no archive; 9 the
// archive cannot be created; 10 c or k on a missing archive, a file to add is missing, nothing is
// found to add, or d matches none of its names; 11 a wrong password for encrypted names; 255 a
// password was needed and standard input gave none. A failing call changes nothing; an archive
// that a failing a created is removed again.
//
// Archive file: a small UTF-8 text of entries, comment and lock flag, as fake_archive.h gives it.
//
// Output: the archive on standard output ("压缩包 <archive>"), then on a failure its exit code on error
// output ("退出代码 <code>"), each a line in the OEM code page.
//
// Test controls. While working, a call holds "<archive>.busy" (created new, deleted on close);
// when that is there already, another call works on the same archive at once, and the archive is
// appended as a line to overlaps.log beside the exe. A number in "<archive>.exitcode" makes the
// call exit with it, changing nothing. A call that finds RARBATCH_PASSWORD in its environment appends
// that name to environment.log beside the exe. RARBATCH_FAKE_RAR_BANNER=none gives no banner when started
// without arguments, =wait never ends then. RARBATCH_FAKE_RAR_DELAY_MS makes each call sleep that many
// milliseconds while it holds the archive, which it opens without sharing, after waiting for any
// other call to let go of it. RARBATCH_FAKE_RAR_HOLD names a file: while that file is there (for at
// most five minutes), each call waits at the same point, so a test can act while a call is surely
// under way and then let it go.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "fake_archive.h"

namespace {

enum ExitCode { kBanner = -1, kDone = 0, kWarning = 1, kFatal = 2, kLocked = 4, kWriteError = 5, kOpenError = 6,
                kWrongOption = 7, kCreateError = 9, kNoFiles = 10, kBadPassword = 11,
                kUserBreak = 255 };

struct Handle {
  HANDLE h;
  ~Handle() { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); }
  explicit operator bool() const { return h != INVALID_HANDLE_VALUE; }
};

using rarbatch::fake::FakeArchive;
using rarbatch::fake::FakeEntry;

std::string ToUtf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                 static_cast<int>(out.size()), nullptr, nullptr));
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  std::wstring out(text.size(), L'\0');
  out.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                 static_cast<int>(out.size())));
  return out;
}

std::wstring Upper(std::wstring s) {
  if (!s.empty()) CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

std::vector<std::wstring> SplitCommandLine(const wchar_t* p) {
  std::vector<std::wstring> args;
  for (;;) {
    while (*p == L' ' || *p == L'\t') ++p;
    if (*p == L'\0') break;
    std::wstring arg;
    for (bool quoted = false; *p != L'\0' && (quoted || (*p != L' ' && *p != L'\t')); ++p) {
      if (*p != L'"') arg.push_back(*p);
      else if (p[1] == L'"') arg.push_back(*p++);
      else quoted = !quoted;
    }
    args.push_back(arg);
  }
  if (!args.empty()) args.erase(args.begin());
  return args;
}

// Opens without sharing; while another call holds the file, tries again for up to a minute.
HANDLE OpenAlone(const std::wstring& path, DWORD access, DWORD disposition) {
  for (int tries = 0;; ++tries) {
    HANDLE h = CreateFileW(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION || tries == 6000) {
      return h;
    }
    Sleep(10);
  }
}

bool Append(const std::wstring& path, const std::string& bytes) {
  Handle file{OpenAlone(path, FILE_APPEND_DATA, OPEN_ALWAYS)};
  DWORD written = 0;
  return file &&
         WriteFile(file.h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool ReadAll(HANDLE file, std::string* bytes) {
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
    if (got == 0) return true;
    bytes->append(buffer, got);
  }
  return false;
}

bool ReadText(const std::wstring& path, std::string* bytes) {
  Handle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)};
  return file && ReadAll(file.h, bytes);
}

bool Parse(const std::string& bytes, FakeArchive* archive) {
  const auto text = rarbatch::fake::FakeArchiveText(bytes);
  return text && rarbatch::fake::ParseFakeArchive(FromUtf8(std::string(*text)), archive);
}

std::string Serialize(const FakeArchive& archive) {
  return rarbatch::fake::FakeArchiveHeader(archive) + ToUtf8(rarbatch::fake::FormatFakeArchive(archive));
}

// Whether an upper-cased name matches an upper-cased mask; '/' and '\' are the same separator.
bool Matches(const wchar_t* mask, const wchar_t* name) {
  const auto same = [](wchar_t a, wchar_t b) { return a == b || (a == L'/' && b == L'\\') || (a == L'\\' && b == L'/'); };
  for (;; ++mask, ++name) {
    if (*mask == L'*') {
      do {
        if (Matches(mask + 1, name)) return true;
      } while (*name++ != L'\0');
      return false;
    }
    if (*name == L'\0') return *mask == L'\0' || std::wstring_view(mask) == L".*";
    if (*mask != L'?' && !same(*mask, *name)) return false;
  }
}

// The files under `folder` (empty or ending in '\'), each named `prefix` + its path from there.
void FindFiles(const std::wstring& folder, const std::wstring& prefix, bool recurse,
               std::vector<std::wstring>* paths, std::vector<std::wstring>* names) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      paths->push_back(folder + name);
      names->push_back(prefix + name);
    } else if (recurse && name != L"." && name != L"..") {
      FindFiles(folder + name + L"\\", prefix + name + L"\\", true, paths, names);
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[32768];
  const DWORD length = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
  return Upper(std::wstring(full, length < 32768 ? length : 0));
}

// The name a file (or folder) given as `path` is stored under: its path less drive, root and "."
// steps, or with -ep1 its last component alone.
std::wstring StoredName(std::wstring path, bool lastOnly) {
  if (path.starts_with(LR"(\\?\)")) path.erase(0, 4);
  if (lastOnly) return path.substr(path.find_last_of(L"\\/:") + 1);
  if (path.size() >= 2 && path[1] == L':') path.erase(0, 2);
  for (;;) {
    if (path.starts_with(L'\\') || path.starts_with(L'/')) path.erase(0, 1);
    else if (path.starts_with(L".\\") || path.starts_with(L"./")) path.erase(0, 2);
    else break;
  }
  return path;
}

// The smallest identical file -oi stores as a reference.
constexpr std::size_t kSmallestReference = 64 * 1024;

// What an add did: the files found are added, and a missing one is only counted, as the archiver
// does (it adds the others and then exits with 10).
struct AddOutcome {
  std::size_t Added = 0;
  bool Missing = false;
};

// Adds the files named, or those of the current folder.
AddOutcome AddFiles(const std::vector<std::wstring>& files, const std::wstring& password, bool lastOnly,
                    bool identicalAsReferences, const std::wstring& archivePath, FakeArchive* archive) {
  AddOutcome outcome;
  std::vector<std::wstring> paths, names;
  if (files.empty()) FindFiles(L"", L"", false, &paths, &names);
  for (const auto& file : files) {
    const DWORD attributes = GetFileAttributesW(file.c_str());
    const bool asFolder = file.ends_with(L'\\') || file.ends_with(L'/');
    const bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (attributes == INVALID_FILE_ATTRIBUTES || (asFolder && !isFolder)) {
      outcome.Missing = true;
      continue;
    }
    std::wstring trimmed = file;
    while (trimmed.ends_with(L'\\') || trimmed.ends_with(L'/')) trimmed.pop_back();
    const std::wstring name = StoredName(trimmed, lastOnly);
    if (!isFolder) paths.push_back(file), names.push_back(name);
    else FindFiles(trimmed + L"\\", name.empty() ? name : name + L"\\", true, &paths, &names);
  }
  // The archive and its busy marker never go into the archive.
  const std::wstring self = FullPath(archivePath);
  std::vector<std::pair<std::string, std::wstring>> stored;  // with -oi: the contents stored as files
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::wstring full = FullPath(paths[i]);
    if (full == self || full == self + L".BUSY") continue;
    ++outcome.Added;
    FakeEntry added{names[i], password};
    std::string content;
    ReadText(paths[i], &content);
    added.Data = content;
    if (identicalAsReferences && content.size() >= kSmallestReference) {
      const auto twin = std::find_if(stored.begin(), stored.end(), [&](const auto& s) { return s.first == content; });
      if (twin != stored.end()) added.Target = twin->second;
      else stored.emplace_back(std::move(content), names[i]);
    }
    auto& entries = archive->Entries;
    const auto same = std::find_if(entries.begin(), entries.end(), [&](const FakeEntry& e) {
      return Upper(e.Name) == Upper(names[i]);
    });
    if (same != entries.end()) *same = added;
    else entries.push_back(added);
  }
  return outcome;
}

// The name one line of a list file gives, as the real archiver reads it: a line between double
// quotes is the text between them ("" for one quote), spaces and all; any other line is taken as it
// stands less its trailing spaces, so a line that opens a quote and never closes it names nothing
// that exists.
std::wstring ListFileName(std::wstring line) {
  if (line.size() >= 2 && line.front() == L'"' && line.back() == L'"') {
    std::wstring name;
    for (std::size_t i = 1; i + 1 < line.size(); ++i) {
      name.push_back(line[i]);
      if (line[i] == L'"' && line[i + 1] == L'"') ++i;
    }
    return name;
  }
  while (!line.empty() && line.back() == L' ') line.pop_back();
  return line;
}

// The names in a list file, a line each, read as UTF-8 or in the ANSI code page.
bool ReadListFile(const std::wstring& path, bool utf8, std::vector<std::wstring>* names) {
  std::string bytes;
  if (!ReadText(path, &bytes)) return false;
  if (utf8 && bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
  std::wstring text(bytes.size(), L'\0');
  text.resize(MultiByteToWideChar(utf8 ? CP_UTF8 : CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                  text.data(), static_cast<int>(text.size())));
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    if (end > start) names->push_back(ListFileName(text.substr(start, end - start)));
    start = end + 1;
  }
  return true;
}

// Messages in UTF-8 (-scfr, or -scf for everything) instead of the OEM code page.
bool gUtf8Output = false;

// The first line of what is piped into standard input, CR LF dropped; false when nothing comes (a
// console or NUL, or the end of input at once).
bool ReadInputLine(std::wstring* line) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return false;
  const DWORD type = GetFileType(input);
  if (type != FILE_TYPE_PIPE && type != FILE_TYPE_DISK) return false;
  std::string bytes;
  if (!ReadAll(input, &bytes) && bytes.empty()) return false;
  if (bytes.empty()) return false;
  bytes = bytes.substr(0, bytes.find_first_of("\r\n"));
  line->assign(bytes.size(), L'\0');
  line->resize(MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                   line->data(), static_cast<int>(line->size())));
  return true;
}

std::wstring ExecutableFolder() {
  wchar_t self[32768];
  const std::wstring path(self, GetModuleFileNameW(nullptr, self, 32768));
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

// Does the work of one call; `path` receives the archive named.
// Set by lb: the entries, one a line, written instead of the usual closing line.
std::optional<std::wstring> gListing;

// lb: each entry's name on a line of its own; an archive with encrypted names gives 255, a locked
// one and a volume are listed as any other.
int ListBare(const std::wstring& path) {
  Handle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr)};
  if (!file) return kOpenError;
  std::string bytes;
  FakeArchive archive;
  if (!ReadAll(file.h, &bytes) || !Parse(bytes, &archive)) return kFatal;
  if (archive.EncryptedNames) return kUserBreak;
  std::wstring text;
  for (const FakeEntry& entry : archive.Entries) text += entry.Name + L"\r\n";
  gListing = text;
  return kDone;
}

// The archive for lt and x, which only read it: its names need their password, as for d.
int ReadForListing(const std::wstring& path, bool hasPassword, std::wstring password, FakeArchive* archive) {
  Handle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr)};
  if (!file) return kOpenError;
  std::string bytes;
  if (!ReadAll(file.h, &bytes) || !Parse(bytes, archive)) return kFatal;
  if (!archive->EncryptedNames) return kDone;
  if (hasPassword && password.empty() && !ReadInputLine(&password)) return kUserBreak;
  if (!hasPassword && !ReadInputLine(&password)) return kUserBreak;
  return password == archive->NamesPassword ? kDone : kBadPassword;
}

std::wstring CrcText(std::uint32_t crc) {
  wchar_t text[9];
  swprintf(text, 9, L"%08X", crc);
  return text;
}

// lt: a block per entry, its lines indented so that the colons line up, as the archiver writes them.
int ListTechnical(const std::wstring& path, bool hasPassword, const std::wstring& password) {
  FakeArchive archive;
  if (const int code = ReadForListing(path, hasPassword, password, &archive); code != kDone) return code;
  std::wstring text = L"\r\nArchive: " + path + L"\r\nDetails: RAR 5\r\n\r\n";
  for (const FakeEntry& entry : archive.Entries) {
    text += L"        Name: " + entry.Name + L"\r\n";
    if (entry.Target.empty()) {
      text += L"        Type: File\r\n";
    } else {
      text += L"        Type: File reference\r\n      Target: " + entry.Target + L"\r\n";
    }
    text += L"        Size: " + std::to_wstring(entry.Data.size()) + L"\r\n";
    const std::uint32_t crc = entry.Target.empty() ? rarbatch::fake::DataCrc32(entry.Data) : 0;
    if (entry.Password.empty()) {
      text += L"       CRC32: " + CrcText(crc) + L"\r\n";
    } else {
      // Changed by the password, so that it tells nothing of the bytes without it.
      const std::uint32_t mac = rarbatch::fake::DataCrc32(ToUtf8(entry.Password) + entry.Data) ^ 0x5A5A5A5Au;
      text += L"   CRC32 MAC: " + CrcText(mac) + L"\r\n       Flags: encrypted \r\n";
    }
    text += L"\r\n";
  }
  gListing = text;
  return kDone;
}

// Set by p: the bytes written to standard output as they are.
std::optional<std::string> gBytes;

// p: the matching entries' bytes in the archive's order. `password` is nothing with -p-; "-p" alone
// reads it from standard input when an entry needs it.
int PrintEntries(const std::wstring& path, const std::vector<std::wstring>& names, bool hasPassword,
                 std::optional<std::wstring> password) {
  FakeArchive archive;
  if (const int code = ReadForListing(path, hasPassword, password.value_or(L"-"), &archive); code != kDone) {
    return code;
  }
  // Names that are encrypted opened with the password: it opens their entries too.
  if (archive.EncryptedNames) password = archive.NamesPassword;
  bool matched = false, refused = false, asked = false;
  std::string out;
  for (const FakeEntry& entry : archive.Entries) {
    const bool named = std::any_of(names.begin(), names.end(), [&](const std::wstring& n) {
      return Matches(Upper(n).c_str(), Upper(entry.Name).c_str());
    });
    if (!named) continue;
    matched = true;
    if (!entry.Password.empty()) {
      if (password && password->empty() && !asked) {
        asked = true;
        if (!ReadInputLine(&*password)) password.reset();
      }
      if (!password || *password != entry.Password) {
        refused = true;
        continue;
      }
    }
    out += entry.Data;
  }
  gBytes = out;
  return !matched ? kNoFiles : refused ? kBadPassword : kDone;
}

// x: 6 when a reference's target is not in the archive, as the archiver cannot make that file.
int ExtractCheck(const std::wstring& path, bool hasPassword, const std::wstring& password) {
  FakeArchive archive;
  if (const int code = ReadForListing(path, hasPassword, password, &archive); code != kDone) return code;
  for (const FakeEntry& entry : archive.Entries) {
    if (entry.Target.empty()) continue;
    const bool there = std::any_of(archive.Entries.begin(), archive.Entries.end(),
                                   [&](const FakeEntry& e) { return Upper(e.Name) == Upper(entry.Target); });
    if (!there) return kOpenError;
  }
  return kDone;
}

int Run(std::wstring& path) {
  const std::vector<std::wstring> args = SplitCommandLine(GetCommandLineW());
  const std::wstring here = ExecutableFolder();
  if (args.empty()) return kBanner;
  std::string record = std::to_string(args.size()) + "\n";
  for (const auto& arg : args) record += ToUtf8(arg) + "\n";
  if (!Append(here + L"args.log", record)) return kFatal;
  // A password the caller left in the environment reaches every program it starts: noted by name.
  if (GetEnvironmentVariableW(L"RARBATCH_PASSWORD", nullptr, 0) > 0) Append(here + L"environment.log", "RARBATCH_PASSWORD\n");

  std::wstring command, password, commentFile;
  std::vector<std::wstring> names, lists;
  bool switches = true, hasPassword = false, lock = false, lastOnly = false, utf8Lists = false;
  bool keepTime = false, identical = false, solid = false, noPassword = false;
  unsigned recovery = 0;
  for (const auto& arg : args) {
    if (switches && arg == L"--") {
      switches = false;
    } else if (switches && arg.starts_with(L'-')) {
      const std::wstring lower = Upper(arg);
      // -p- never asks; kept as the password "-", which opens nothing.
      if (lower.starts_with(L"-P")) password = arg.substr(2), hasPassword = true, noPassword = lower == L"-P-";
      else if (lower.starts_with(L"-Z")) commentFile = arg.substr(2);
      else if (lower == L"-K") lock = true;
      else if (lower == L"-EP1") lastOnly = true;
      else if (lower == L"-TK") keepTime = true;
      else if (lower == L"-OI") identical = true;
      else if (lower == L"-S") solid = true;
      else if (lower.starts_with(L"-RR")) {
        const unsigned n = static_cast<unsigned>(std::wcstoul(lower.c_str() + 3, nullptr, 10));
        recovery = n == 0 ? 3 : std::min(n, 1000u);
      }
      else if (lower.starts_with(L"-SC") && lower.size() >= 4) {
        // -sc<charset>[objects]: F is UTF-8; objects L list files, R redirected messages, none all.
        const std::wstring objects = lower.substr(4);
        const bool utf8 = lower[3] == L'F';
        if (objects.empty() || objects.find(L'L') != std::wstring::npos) utf8Lists = utf8;
        if (objects.empty() || objects.find(L'R') != std::wstring::npos) gUtf8Output = utf8;
      } else if (lower != L"-Y" && lower != L"-C-" && lower != L"-INUL" && lower != L"-O+" && !lower.starts_with(L"-ID")) {
        return kWrongOption;
      }
    } else if (command.empty()) command = Upper(arg);
    else if (path.empty()) path = arg;
    else if (switches && arg.starts_with(L'@') && arg.size() > 1) lists.push_back(arg.substr(1));
    else names.push_back(arg);
  }
  for (const auto& list : lists) {
    if (!ReadListFile(list, utf8Lists, &names)) return kOpenError;
  }
  if ((command != L"D" && command != L"A" && command != L"C" && command != L"K" && command != L"LB" &&
       command != L"LT" && command != L"X" && command != L"T" && command != L"P") ||
      path.empty()) {
    return kWrongOption;
  }
  if (command == L"LB") return ListBare(path);
  if (command == L"LT") return ListTechnical(path, hasPassword, password);
  if (command == L"X") return ExtractCheck(path, hasPassword, password);
  if (command == L"P") {
    if (names.empty()) names.push_back(L"*.*");
    return PrintEntries(path, names, hasPassword,
                        noPassword ? std::nullopt : std::optional<std::wstring>(hasPassword ? password : L""));
  }
  if (command == L"C" && commentFile.empty()) return kFatal;
  // "-p" alone: the password is the first line of standard input, if anything is piped in.
  const bool passwordGiven = !hasPassword || !password.empty() || ReadInputLine(&password);
  if (!passwordGiven) return kUserBreak;

  Handle busy{CreateFileW((path + L".busy").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr)};
  if (!busy && GetFileAttributesW((path + L".busy").c_str()) != INVALID_FILE_ATTRIBUTES) {
    Append(here + L"overlaps.log", ToUtf8(path) + "\n");
  }
  std::string forcedText;
  ReadText(path + L".exitcode", &forcedText);
  char* end = nullptr;
  const long forced = std::strtol(forcedText.c_str(), &end, 10);
  const bool isForced = end != forcedText.c_str();  // a file without a number is ignored

  const bool adding = command == L"A";
  Handle file{isForced ? INVALID_HANDLE_VALUE
                       : OpenAlone(path, GENERIC_READ | GENERIC_WRITE | DELETE,
                                   adding ? OPEN_ALWAYS : OPEN_EXISTING)};
  const bool created = adding && file && GetLastError() != ERROR_ALREADY_EXISTS;
  wchar_t delay[16];
  const DWORD delayLength = GetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_DELAY_MS", delay, 16);
  if (delayLength > 0 && delayLength < 16) Sleep(wcstoul(delay, nullptr, 10));
  wchar_t hold[MAX_PATH];
  const DWORD holdLength = GetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_HOLD", hold, MAX_PATH);
  if (holdLength > 0 && holdLength < MAX_PATH) {
    for (int waited = 0; waited < 300000 && GetFileAttributesW(hold) != INVALID_FILE_ATTRIBUTES; waited += 20) {
      Sleep(20);
    }
  }
  if (isForced) return static_cast<int>(forced);
  if (!file) return adding ? kCreateError : command == L"D" ? kOpenError : kNoFiles;
  const auto finish = [&](int code) {
    FILE_DISPOSITION_INFO remove{TRUE};
    if (code != kDone && created) {
      SetFileInformationByHandle(file.h, FileDispositionInfo, &remove, sizeof remove);
    }
    return code;
  };

  FakeArchive archive;
  std::string bytes;
  if (!ReadAll(file.h, &bytes)) return finish(kOpenError);
  // An archive that this add has just created is empty; any other file must be an archive.
  if (!(created && bytes.empty()) && !Parse(bytes, &archive)) {
    return finish(command == L"D" || adding ? kFatal : command == L"T" ? kWarning : kDone);
  }
  // A new archive is solid when made with -s; an existing one keeps what it is.
  if (created && bytes.empty()) archive.Solid = solid;
  if (archive.EncryptedNames) {
    if (!hasPassword && !ReadInputLine(&password)) return finish(kUserBreak);
    if (password != archive.NamesPassword) return finish(kBadPassword);
  }
  if (command == L"T") return kDone;
  if (archive.Locked) return finish(kLocked);
  if (archive.Volume && (command == L"D" || adding)) return finish(kLocked);
  std::wstring comment;
  if (!commentFile.empty()) {
    std::string text;
    if (!ReadText(commentFile, &text)) return finish(kOpenError);
    comment = FromUtf8(text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text);
  }
  if (command == L"D") {
    if (names.empty()) names.push_back(L"*.*");
    const std::size_t before = archive.Entries.size();
    std::erase_if(archive.Entries, [&](const FakeEntry& e) {
      return std::any_of(names.begin(), names.end(), [&](const std::wstring& n) {
        return Matches(Upper(n).c_str(), Upper(e.Name).c_str());
      });
    });
    if (archive.Entries.size() == before) return finish(kNoFiles);
    if (archive.Entries.empty()) {  // the archiver erases an archive it emptied
      FILE_DISPOSITION_INFO remove{TRUE};
      return SetFileInformationByHandle(file.h, FileDispositionInfo, &remove, sizeof remove)
                 ? kDone : kWriteError;
    }
  }
  bool missed = false;
  if (adding) {
    const AddOutcome added = AddFiles(names, password, lastOnly, identical, path, &archive);
    if (added.Added == 0) return finish(kNoFiles);
    missed = added.Missing;
  }
  if (command == L"K" || lock) archive.Locked = true;
  if (!commentFile.empty() && command != L"K") archive.Comment = comment;
  archive.RecoveryPercent = recovery;

  FILETIME modified{};
  if (keepTime) GetFileTime(file.h, nullptr, nullptr, &modified);
  const std::string out = Serialize(archive);
  DWORD written = 0;
  if (SetFilePointer(file.h, 0, nullptr, FILE_BEGIN) != 0 ||
      !WriteFile(file.h, out.data(), static_cast<DWORD>(out.size()), &written, nullptr) ||
      written != out.size() || !SetEndOfFile(file.h)) {
    return finish(kWriteError);
  }
  if (keepTime) SetFileTime(file.h, nullptr, nullptr, &modified);
  return missed ? kNoFiles : kDone;
}

// Writes `text` to a standard handle in the OEM code page, as a console program does, or in UTF-8.
void Print(DWORD which, const std::wstring& text) {
  std::string bytes(text.size() * 4, '\0');
  bytes.resize(WideCharToMultiByte(gUtf8Output ? CP_UTF8 : CP_OEMCP, 0, text.data(), static_cast<int>(text.size()),
                                   bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr));
  DWORD written = 0;
  WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int wmain(int, wchar_t**) {
  std::wstring path;
  const int code = Run(path);
  if (code == kBanner) {  // no arguments: the banner and the usage, as the archiver writes them
    // RARBATCH_FAKE_RAR_BANNER: "none" writes no banner, "wait" never ends (as a window program).
    wchar_t banner[8] = {};
    GetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_BANNER", banner, 8);
    if (std::wstring(banner) == L"wait") Sleep(INFINITE);
    if (std::wstring(banner) == L"none") return kDone;
    Print(STD_OUTPUT_HANDLE, L"\r\nRAR 7.01   stand-in for the tests\r\n\r\nUsage:     rar <command> -<switch 1> -<switch N> <archive> <files...>\r\n");
    return kDone;
  }
  if (gBytes) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), gBytes->data(), static_cast<DWORD>(gBytes->size()), &written, nullptr);
    return code;
  }
  if (gListing) {
    Print(STD_OUTPUT_HANDLE, *gListing);
    return code;
  }
  Print(STD_OUTPUT_HANDLE, L"压缩包 " + path + L"\r\n");
  if (code != kDone) Print(STD_ERROR_HANDLE, L"退出代码 " + std::to_wstring(code) + L"\r\n");
  return code;
}
