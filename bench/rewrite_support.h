// The pieces of the rewrite benchmark that need no archiver: reading a process's I/O counters, what
// the command interpreter hands the archiver from a script line, and the archive listings compared
// at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rarbatch::bench {

// The counters of /proc/<pid>/io that the benchmark reports.
struct ProcessIo {
  std::uint64_t Wchar = 0;        // bytes handed to write() and its kin, whatever the target
  std::uint64_t WriteBytes = 0;   // bytes of page cache the process dirtied, in whole pages
  std::uint64_t CancelledWriteBytes = 0;
};

// The counters in the text of a /proc/<pid>/io file; nothing when a counter is missing.
std::optional<ProcessIo> ParseProcessIo(const std::string& text);

// The command line the command interpreter starts from one line of a batch file, for the lines the
// script writes: "%%" gives "%", and outside double quotes "^" makes the next character plain. The
// line end is dropped. (The script doubles every '%', so no variable is ever expanded.)
std::wstring InterpretScriptLine(const std::wstring& line);

// Entry names as `rar lb` prints them, one a line, sorted, with each entry whose base name is one of
// `addedBaseNames` replaced by that base name: the script stores an added file under its path, the
// program at the archive's root, and the two are the same file.
std::vector<std::string> ComparableEntries(const std::string& bareListing,
                                           const std::vector<std::string>& addedBaseNames);

// The entries of a `rar lb` listing whose base name is one of `addedBaseNames`, as stored.
std::vector<std::string> AddedEntries(const std::string& bareListing,
                                      const std::vector<std::string>& addedBaseNames);

// What `rar l` says of an archive: its comment, whether it is locked, how many entries are encrypted.
struct ArchiveListing {
  std::string Comment;
  bool Locked = false;
  int EncryptedEntries = 0;
};
ArchiveListing ParseArchiveListing(const std::string& listing);

// "1,234,567".
std::string WithThousands(std::uint64_t n);

// The UTF-8 form of a wide string (UTF-32 here).
std::string ToUtf8(const std::wstring& s);

}  // namespace rarbatch::bench
