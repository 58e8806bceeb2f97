// Whether two paths name one file, by volume serial number and file index.
#include "win/file_identity.h"

#include "win/file_ops.h"
#include "core/paths.h"
#include "win/files.h"
#include "win/handles.h"

namespace rarbatch {
namespace {

std::wstring Hex(std::uint64_t value) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text;
  do {
    text.insert(text.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value);
  return text;
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::wstring& path) {
  // No access asked for: reading the identity needs none, and a file open elsewhere without sharing
  // still answers. Backup semantics open a folder too.
  UniqueHandle file = OpenFile(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS);
  if (!file) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::wstring SameFileKey(const std::wstring& path) {
  if (const std::optional<FileIdentity> identity = IdentityOf(path)) {
    return L"#" + Hex(identity->VolumeSerial) + L":" + Hex(identity->FileIndex);
  }
  return L"|" + PathKey(path);
}

std::wstring FoldedName(const std::wstring& name) {
  if (name.empty()) return name;
  std::wstring upper(name.size(), L'\0');
  const int done = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.c_str(), static_cast<int>(name.size()),
                                 upper.data(), static_cast<int>(upper.size()), nullptr, nullptr, 0);
  return done == static_cast<int>(name.size()) ? upper : name;
}

std::wstring PathKey(const std::wstring& path) { return FoldedName(FullPathOf(path)); }

bool SamePath(const std::wstring& a, const std::wstring& b) { return PathKey(a) == PathKey(b); }

std::optional<DWORD> VolumeSerialOf(const std::wstring& path) {
  const std::wstring volume = WithTrailingBackslash(VolumeRootOf(path));
  DWORD serial = 0;
  if (!GetVolumeInformationW(volume.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) return std::nullopt;
  return serial;
}

}  // namespace rarbatch
