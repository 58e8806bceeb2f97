// What an archive's first bytes say about it, read before the archiver is called, and the reason no
// call of the job can succeed on it when those bytes already tell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "batch_script.h"

namespace rarbatch {

// How many first bytes of a file to hand ReadArchiveHeader. It needs the signature and every header
// up to the end of the main header: under 100 bytes as the archiver ordinarily writes them, more only
// when the main header carries the archive's own name. Given fewer, the header reads as damaged.
inline constexpr std::size_t kArchiveHeaderReadSize = 64 * 1024;

enum class ArchiveFormat {
  NotRar,      // no RAR signature at the start, and not a program
  Program,     // starts as a Windows program ("MZ"): perhaps a self-extracting archive, whose
               // signature follows its extraction module, well past the bytes read
  UnknownRar,  // a RAR signature of a format not read here: the old 1.4 one, or a version after 5
  Rar4,
  Rar5,
};

// The signature and the main header of an archive. The flags are read for Rar4 and Rar5 only.
struct ArchiveHeader {
  ArchiveFormat Format = ArchiveFormat::NotRar;
  // The headers up to the main header could not be read: cut short, a number longer than 10 bytes or
  // past the header's end, an unexpected header type, or a header CRC that does not match. The flags
  // below are then all false.
  bool Damaged = false;
  bool Volume = false;
  // Said by the main header: RAR 4 flag 0x0100 (archivers before 3.0 never set it, so an older first
  // volume reads as a later one); RAR 5 gives later volumes a volume number.
  bool FirstVolume = false;
  bool Locked = false;
  bool Solid = false;
  // The names cannot be read without the password: RAR 5 puts an archive encryption header before
  // the main header, which is itself encrypted (and so Volume, Locked and Solid stay false); RAR 4
  // flag 0x0080 encrypts the headers after the main header.
  bool NamesEncrypted = false;
  // The archive carries a recovery record, which the archiver drops whenever it rewrites the archive
  // unless the call asks for one again: RAR 5 archive flag 0x0008, RAR 4 main header flag 0x0040.
  bool RecoveryRecord = false;
  // RAR 5 only: where the recovery record's header starts, counted from the archive's first byte, as
  // the locator record of the main header gives it; 0 when not given. The record runs from there to
  // the end of the archive (only the few bytes of the end header follow it).
  std::uint64_t RecoveryOffset = 0;
};

// Reads `firstBytes`, the first kArchiveHeaderReadSize bytes of a file (or the whole file when it is
// shorter). Never reads outside them and allocates nothing.
ArchiveHeader ReadArchiveHeader(std::string_view firstBytes);

// The percent of -rr<N>% that gives an archive with this header, `fileSize` bytes long, back a
// recovery record of at least the size it has now; 0 when it has none.
//
// The archiver (RAR 7.01, measured) writes a record of 1.17 to 2.2 times N percent of the data before
// it (116,740 bytes for 5 % of 2,000,158; 19,044 for 3 % of 300,000), never less than N percent, and
// more for small archives (239 bytes for 1 % of 13 bytes). The share the old record takes of the data
// before it, rounded up, therefore gives back at least the old record when the data keeps its size;
// one point more leaves room for an archive that shrinks (a delete). The archiver takes at most
// 1000 %. Without the record's place (RAR 4, or no locator) its size is not known and
// kFallbackRecoveryPercent is asked for.
inline constexpr unsigned kFallbackRecoveryPercent = 10;
inline constexpr unsigned kMostRecoveryPercent = 1000;
unsigned RecoveryPercentToKeep(const ArchiveHeader& header, std::uint64_t fileSize);

// The size of the archive's recovery record (its header included) from its place and the file's size;
// 0 when that is not known.
std::uint64_t RecoveryRecordSize(const ArchiveHeader& header, std::uint64_t fileSize);

// Why none of the job's calls on an archive with this header can succeed, as shown to the user; or
// nothing when some call may. A damaged header, a program and an unknown RAR format give nothing:
// the archiver reads the archive itself and says precisely what is wrong, or copes with it.
//   不是 RAR 压缩包: no RAR signature at the start;
//   已锁定: the archiver changes nothing in a locked archive, not even to lock it again;
//   文件名已加密，需要密码: names are encrypted and no call passes a password, which only the add
//     calls do when the job adds under a password (the archiver then opens the names with it), and
//     every call of a job with samples and a password (it lists and compares with it);
//   分卷压缩包不能删除或添加文件: a volume, and the job deletes or adds. The archiver comments and
//     locks a volume, but the program calls delete and add first and stops at a failed step, so it
//     never gets that far.
std::optional<std::wstring> WhyNoCallCanSucceed(const ArchiveHeader& header, const BatchJob& job);

}  // namespace rarbatch
