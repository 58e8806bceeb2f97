// Whether two paths name one file, answered once: by the volume's serial number and the file's index
// on it, never by comparing spellings. A short 8.3 name, a subst drive, a mapped drive and its UNC
// form, another letter case or "dir\..\" all spell one file several ways.
#pragma once

#include <windows.h>

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace rarbatch {

struct FileIdentity {
  DWORD VolumeSerial = 0;
  std::uint64_t FileIndex = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

// The identity of the file or folder at `path`; nothing when it cannot be opened (it does not exist,
// or the system refuses even to read its attributes).
std::optional<FileIdentity> IdentityOf(const std::wstring& path);

// A text that is the same for every path naming one file: its identity where the file can be opened,
// otherwise its PathKey (a file that does not exist yet has no other name to go by).
std::wstring SameFileKey(const std::wstring& path);

// The one case fold for file names and paths, the file system's own: every letter in upper case by
// the system's invariant mapping, which is how NTFS and FAT compare names whatever the user's
// language. Used wherever the program asks whether two spellings name one file or one folder.
std::wstring FoldedName(const std::wstring& name);
// The full path of `path`, folded: equal for two spellings of one path ("a/B.rar" and "A\b.RAR"
// from the same current folder). Does not look at the disk, so it also holds for a file that is not
// there yet; SameFileKey goes further where the file exists.
std::wstring PathKey(const std::wstring& path);
bool SamePath(const std::wstring& a, const std::wstring& b);

// The serial number of the volume that holds `path`; nothing when it cannot be read.
std::optional<DWORD> VolumeSerialOf(const std::wstring& path);

}  // namespace rarbatch
