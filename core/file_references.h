// Entries that are stored as a reference to another entry of the archive (a second copy of an
// identical file, or a hard link): the archiver restores such an entry by copying its target out of
// the archive, so a delete that takes the target and keeps the reference leaves an archive that tests
// as sound but can no longer be unpacked whole. This reads the archiver's technical listing (lt) and
// tells which references a job's deletes would leave without their target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive_plan.h"
#include "archiver_calls.h"
#include "batch_script.h"

namespace rarbatch {

// One entry of the technical listing: its stored path, its type as the archiver words it ("File",
// "Directory", "File reference", "Hard link", "Symbolic link", …) and, for a link or reference, what
// it points to.
struct ListedEntry {
  std::wstring Name;
  std::wstring Type;
  std::wstring Target;
  // Its unpacked size and CRC32 ("Size: ", "CRC32: "), when the listing gives them; an encrypted
  // entry of RAR 5 gives "CRC32 MAC: " instead, a value changed by the password, kept as CrcIsMac.
  std::optional<std::uint64_t> Size;
  std::optional<std::uint32_t> Crc32;
  bool CrcIsMac = false;
  bool Encrypted = false;  // "Flags: " names "encrypted"
  bool operator==(const ListedEntry&) const = default;
};

// The entries of the archiver's technical listing (lt, read with -c- so that no comment is shown):
// each entry is a block that opens with a "Name: " line, its other lines "Key: value", indented so
// that the colons line up; a blank line ends the block. A name is everything after "Name: " up to the
// line's end, so names with spaces, colons or "Name:" in them are read whole. Lines outside a block
// (the banner, "Archive:", "Details:") are left out.
std::vector<ListedEntry> ParseTechnicalListing(const std::wstring& output);

// Whether the entry is restored from another entry of the archive: a file reference or a hard link.
// A symbolic link's target is a path on the disk, not an entry, and is not such an entry.
bool NeedsTargetInArchive(const ListedEntry& entry);

struct BrokenReference {
  std::wstring Reference;
  std::wstring Target;
  bool operator==(const BrokenReference&) const = default;
};

// The references that the delete names `names` (SplitDeleteEntries' Names) would leave without their
// target: the target is an entry of the archive and some name takes it (DeleteNameTakes), while no
// name takes the reference. A delete that takes a reference together with its target is sound.
std::vector<BrokenReference> ReferencesLeftWithoutTarget(const std::vector<ListedEntry>& entries,
                                                         const std::vector<std::wstring>& names);

// The refusal's words: "删除会使文件引用无法解压：<reference> → <target>", the first few of them.
std::wstring DescribeBrokenReferences(const std::vector<BrokenReference>& broken);

// The technical listing call for the job's archive `archive`: lt, with -c- (no comment), never asking
// for a password (-p-) unless `withPassword`, which gives it the job's password as the run's calls get
// it (`options`), and in UTF-8 (-scfr) when the run's calls are.
CallResult ReferenceListingCall(const BatchJob& job, std::size_t archive, const RunOptions& options,
                                bool withPassword);

// Appends to a call that only reads the archive (a listing, the comparison's p) its password switch:
// -p-, so that it never asks, unless `withPassword`, then the job's password as the run's calls take
// it (`options`): -p with the password on standard input, or masked on the command line.
void AppendReadingPassword(CallResult& call, const RunOptions& options, bool withPassword);

// What a listing call's outcome means for the run: the entries when it was read whole; otherwise why
// not (the call could not be started, the archiver failed, the output was cut short, or its entries'
// blocks are not opened by the English "Name: " this reads).
struct ListingRead {
  bool Read = false;
  bool CutShort = false;  // the archiver listed it, but the output kept was cut short
  std::vector<ListedEntry> Entries;
  std::wstring Problem;
};
ListingRead ReadReferenceListing(const CallResult& call);

}  // namespace rarbatch
