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
//   d <archive> [names]  removes the entries whose name matches a name ('*', '?', case-blind)
//   a [-p<pwd>] <archive> [files]  adds each file, or replaces the entry of that name, under the
//       password (empty without -p). Entries are stored without paths: a file is named by its last
//       path component. A folder (ending in '\' or naming a directory) adds its files recursively,
//       named from the folder on ("D:\dir" gives "dir\x.txt"); folders get no entry of their own.
//       Files are taken literally, without wildcards; the archive never adds itself.
//   c -z<file> <archive>  sets the comment to the text of the UTF-8 file (a BOM is dropped)
//   k <archive>  locks the archive
// Without names or files *.* is implied: every entry for d, the files of the current folder for
// a. "x.*" also matches "x", so "*.*" matches every name.
//
// Exit codes: 0 done; 2 the archive file is not in the format below, or the archiver would stop
// to ask on the console ("-p" without a password, c without -z) where no one answers; 4 d, a or c
// on a locked archive (k on a locked archive has nothing to do: 0); 5 the archive cannot be
// written; 6 d, c or k on a missing archive, or a comment file that cannot be read; 7 unknown
// command or switch, or no archive; 9 the archive cannot be created; 10 a file to add is missing,
// nothing is found to add, or d matches no entry. A failing call changes nothing; an archive that
// a failing a created is removed again.
//
// Archive file: a small UTF-8 text of entries, comment and lock flag, as fake_archive.h gives it.
//
// Output: the archive on standard output ("压缩包 <archive>"), then on a failure its exit code on error
// output ("退出代码 <code>"), each a line in the OEM code page.
//
// Test controls. While working, a call holds "<archive>.busy" (created new, deleted on close);
// when that is there already, another call works on the same archive at once, and the archive is
// appended as a line to overlaps.log beside the exe. A number in "<archive>.exitcode" makes the
// call exit with it, changing nothing. RARBATCH_FAKE_RAR_DELAY_MS makes each call sleep that many
// milliseconds while it holds the archive, which it opens without sharing, after waiting for any
// other call to let go of it.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "fake_archive.h"

namespace {

enum ExitCode { kDone = 0, kFatal = 2, kLocked = 4, kWriteError = 5, kOpenError = 6,
                kWrongOption = 7, kCreateError = 9, kNoFiles = 10 };

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
  return rarbatch::fake::ParseFakeArchive(FromUtf8(bytes), archive);
}

std::string Serialize(const FakeArchive& archive) {
  return ToUtf8(rarbatch::fake::FormatFakeArchive(archive));
}

// Whether an upper-cased name matches an upper-cased mask.
bool Matches(const wchar_t* mask, const wchar_t* name) {
  for (;; ++mask, ++name) {
    if (*mask == L'*') {
      do {
        if (Matches(mask + 1, name)) return true;
      } while (*name++ != L'\0');
      return false;
    }
    if (*name == L'\0') return *mask == L'\0' || std::wstring_view(mask) == L".*";
    if (*mask != L'?' && *mask != *name) return false;
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

// Adds the files named, or those of the current folder; false when one is missing or none is found.
bool AddFiles(const std::vector<std::wstring>& files, const std::wstring& password,
              const std::wstring& archivePath, FakeArchive* archive) {
  std::vector<std::wstring> paths, names;
  if (files.empty()) FindFiles(L"", L"", false, &paths, &names);
  for (const auto& file : files) {
    const DWORD attributes = GetFileAttributesW(file.c_str());
    const bool asFolder = file.ends_with(L'\\') || file.ends_with(L'/');
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    const bool isFolder = attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (asFolder && !isFolder) return false;
    std::wstring trimmed = file;
    while (trimmed.ends_with(L'\\') || trimmed.ends_with(L'/')) trimmed.pop_back();
    const std::wstring name = trimmed.substr(trimmed.find_last_of(L"\\/:") + 1);
    if (!isFolder) paths.push_back(file), names.push_back(name);
    else FindFiles(trimmed + L"\\", name.empty() ? name : name + L"\\", true, &paths, &names);
  }
  // The archive and its busy marker never go into the archive.
  const std::wstring self = FullPath(archivePath);
  std::size_t added = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::wstring full = FullPath(paths[i]);
    if (full == self || full == self + L".BUSY") continue;
    ++added;
    auto& entries = archive->Entries;
    const auto same = std::find_if(entries.begin(), entries.end(), [&](const FakeEntry& e) {
      return Upper(e.Name) == Upper(names[i]);
    });
    if (same != entries.end()) *same = {names[i], password};
    else entries.push_back({names[i], password});
  }
  return added > 0;
}

std::wstring ExecutableFolder() {
  wchar_t self[32768];
  const std::wstring path(self, GetModuleFileNameW(nullptr, self, 32768));
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

// Does the work of one call; `path` receives the archive named.
int Run(std::wstring& path) {
  const std::vector<std::wstring> args = SplitCommandLine(GetCommandLineW());
  const std::wstring here = ExecutableFolder();
  std::string record = std::to_string(args.size()) + "\n";
  for (const auto& arg : args) record += ToUtf8(arg) + "\n";
  if (!Append(here + L"args.log", record)) return kFatal;

  std::wstring command, password, commentFile;
  std::vector<std::wstring> names;
  bool switches = true, hasPassword = false;
  for (const auto& arg : args) {
    if (switches && arg == L"--") {
      switches = false;
    } else if (switches && arg.starts_with(L'-')) {
      const wchar_t kind = static_cast<wchar_t>(towlower(arg.size() > 1 ? arg[1] : L'-'));
      if (kind == L'p') password = arg.substr(2), hasPassword = true;
      else if (kind == L'z') commentFile = arg.substr(2);
      else return kWrongOption;
    } else if (command.empty()) command = Upper(arg);
    else if (path.empty()) path = arg;
    else names.push_back(arg);
  }
  if ((command != L"D" && command != L"A" && command != L"C" && command != L"K") || path.empty()) {
    return kWrongOption;
  }
  if ((hasPassword && password.empty()) || (command == L"C" && commentFile.empty())) return kFatal;

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
                       : OpenAlone(path, GENERIC_READ | GENERIC_WRITE | (adding ? DELETE : 0),
                                   adding ? OPEN_ALWAYS : OPEN_EXISTING)};
  const bool created = adding && file && GetLastError() != ERROR_ALREADY_EXISTS;
  wchar_t delay[16];
  const DWORD delayLength = GetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_DELAY_MS", delay, 16);
  if (delayLength > 0 && delayLength < 16) Sleep(wcstoul(delay, nullptr, 10));
  if (isForced) return static_cast<int>(forced);
  if (!file) return adding ? kCreateError : kOpenError;
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
  if (!Parse(bytes, &archive)) return finish(kFatal);
  if (archive.Locked) return finish(command == L"K" ? kDone : kLocked);
  if (command == L"D") {
    if (names.empty()) names.push_back(L"*.*");
    const std::size_t before = archive.Entries.size();
    std::erase_if(archive.Entries, [&](const FakeEntry& e) {
      return std::any_of(names.begin(), names.end(), [&](const std::wstring& n) {
        return Matches(Upper(n).c_str(), Upper(e.Name).c_str());
      });
    });
    if (archive.Entries.size() == before) return finish(kNoFiles);
  } else if (adding) {
    if (!AddFiles(names, password, path, &archive)) return finish(kNoFiles);
  } else if (command == L"K") {
    archive.Locked = true;
  } else {
    std::string text;
    if (!ReadText(commentFile, &text)) return finish(kOpenError);
    archive.Comment = FromUtf8(text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text);
  }

  const std::string out = Serialize(archive);
  DWORD written = 0;
  if (SetFilePointer(file.h, 0, nullptr, FILE_BEGIN) != 0 ||
      !WriteFile(file.h, out.data(), static_cast<DWORD>(out.size()), &written, nullptr) ||
      written != out.size() || !SetEndOfFile(file.h)) {
    return finish(kWriteError);
  }
  return kDone;
}

// Writes `text` to a standard handle in the OEM code page, as a console program does.
void Print(DWORD which, const std::wstring& text) {
  std::string bytes(text.size() * 4, '\0');
  bytes.resize(WideCharToMultiByte(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()),
                                   bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr));
  DWORD written = 0;
  WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int wmain(int, wchar_t**) {
  std::wstring path;
  const int code = Run(path);
  Print(STD_OUTPUT_HANDLE, L"压缩包 " + path + L"\r\n");
  if (code != kDone) Print(STD_ERROR_HANDLE, L"退出代码 " + std::to_wstring(code) + L"\r\n");
  return code;
}
