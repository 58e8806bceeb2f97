// The rules of the run's backups, free of the system: where each archive's copy goes, the manifest
// that lists the copies, and the free space a run needs before it may start.
//
// The manifest is a UTF-8 text file (with a byte order mark, CR LF line ends) in the run's backup
// folder. Its first line is kManifestHeader; every further line is one copied archive, seven fields
// separated by tabs, which no Windows path can hold:
//   <copied at, UTC "YYYY-MM-DD hh:mm:ss"> <SHA-256, 64 hex digits> <size in bytes>
//   <creation time> <modification time> <copy, relative to the manifest's folder> <archive, full path>
// The two times are the archive's FILETIME values (100 ns since 1601, UTC) as decimal numbers, so
// that a restore puts them back too.
// Once the run is done with an archive it appends what it left, four fields:
//   after <SHA-256, or "gone" when the archiver deleted the archive> <size in bytes> <archive>
// so that a restore can tell an archive left as the run left it from one changed since. The last
// such line of an archive counts (a retry writes another).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rarbatch {

// A letter-case fold of path text: two spellings the file system takes for one name fold alike, and
// the fold keeps the text's length. Without one, the letters A to Z alone are folded.
using PathCaseFold = std::wstring (*)(const std::wstring&);

// The deepest folder holding every one of `paths` (full paths with backslashes), with its trailing
// backslash; letter case is ignored by `fold`. Empty when they share none: different drives or shares.
std::wstring CommonRoot(const std::vector<std::wstring>& paths, PathCaseFold fold = nullptr);

// Where a copy of `path` goes below the backup folder: its path below `root` (letter case ignored by
// `fold`); without a root, the whole path less the drive's colon and leading backslashes
// ("D\素材\a.rar", "server\share\a.rar").
std::wstring PathBelowRoot(const std::wstring& path, const std::wstring& root, PathCaseFold fold = nullptr);

inline constexpr wchar_t kManifestHeader[] = L"rarbatch backup manifest 1";
inline constexpr wchar_t kManifestName[] = L"备份清单.txt";

// What the run left of an archive: its file's SHA-256 and size, or that it was gone.
struct AfterRun {
  bool Gone = false;
  std::string Sha256;  // lower-case hex; empty when gone
  std::uint64_t Size = 0;
  bool operator==(const AfterRun&) const = default;
};

struct BackupRecord {
  std::wstring CopiedAt;  // UTC, "YYYY-MM-DD hh:mm:ss"
  std::string Sha256;     // lower-case hex
  std::uint64_t Size = 0;
  std::uint64_t Created = 0, Modified = 0;  // FILETIME values
  std::wstring Copy;      // relative to the manifest's folder
  std::wstring Archive;   // full path
  // From the archive's last "after" line; nothing when the run wrote none (it was stopped first, or
  // the manifest is older than these lines).
  std::optional<AfterRun> After;
  bool operator==(const BackupRecord&) const = default;
};

// One manifest line, with its CR LF.
std::wstring FormatManifestLine(const BackupRecord& record);
// The line that says what the run left of `archive`, with its CR LF.
std::wstring FormatAfterLine(const std::wstring& archive, const AfterRun& after);

// The records of a manifest's text (a byte order mark already dropped), each with what the run left
// of it. Nothing, and in `badLine` the line's number (from 1), when the header is missing or a line is
// not a record: a copy path that is absolute or climbs out of the folder ("..") is no record, so a
// manifest can only ever put back files from its own folder. A last line without its line end that
// is no record is an append cut short (a full disk, a crash): it is left out, and `tornEnd` (when
// given) says so, so that one torn line does not lose the whole backup.
std::optional<std::vector<BackupRecord>> ParseManifest(const std::wstring& text, std::size_t* badLine,
                                                       bool* tornEnd = nullptr);

// An archive to be worked on: its volume (as the system names it, "C:\") and its size.
struct ArchiveOnVolume {
  std::wstring Volume;
  std::uint64_t Size = 0;
};

// The bytes a run needs on each volume: on every archive's volume, room for the archiver's new copy
// of the largest archive there (its size plus `addedBytes`, the files added to each) for each
// worker that may write one at once; on `backupVolume` (empty: no backups) the sum of all
// archives. Volumes are compared without regard to the case of A to Z.
std::map<std::wstring, std::uint64_t> SpaceNeeded(const std::vector<ArchiveOnVolume>& archives,
                                                  std::uint64_t addedBytes, const std::wstring& backupVolume,
                                                  unsigned workers);

}  // namespace rarbatch
