// Whether the disks have room for a run: the archiver's new copies and the backups, volume by volume.
#include "run/space_check.h"

#include <map>
#include <set>

#include "core/backup_plan.h"
#include "core/number_text.h"
#include "win/file_identity.h"
#include "win/file_ops.h"
#include "win/files.h"

namespace rarbatch {
namespace {

// The bytes of a file, or of every file below a folder.
std::uint64_t BytesBelow(const std::wstring& path) {
  std::wstring full = FullPathOf(path);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  const std::optional<DWORD> attributes = AttributesOf(full);
  if (!attributes) return 0;
  if (!(*attributes & FILE_ATTRIBUTE_DIRECTORY)) return SizeOf(full).value_or(0);
  std::uint64_t total = 0;
  WalkFolder(full, [&total](const std::wstring&, const WIN32_FIND_DATAW& found) {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      total += (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    }
  });
  return total;
}

}  // namespace

std::optional<std::wstring> FindSpaceProblem(const BatchJob& job, unsigned workers,
                                             const std::wstring& backupParent) {
  return NeedsOfRun(job, workers, backupParent).Problem;
}

SpaceNeeds NeedsOfRun(const BatchJob& job, unsigned workers, const std::wstring& backupParent) {
  // Each file once, however many spellings of it the list holds; each volume under one name, the
  // first met, however it is reached (a subst drive, a mapped drive and its UNC form).
  std::vector<ArchiveOnVolume> archives;
  std::set<std::wstring> seen;
  std::map<DWORD, std::wstring> volumeNames;
  const auto volumeName = [&volumeNames](const std::wstring& path) {
    const std::wstring volume = VolumeRootOf(path);
    const std::optional<DWORD> serial = VolumeSerialOf(path);
    return serial ? volumeNames.try_emplace(*serial, volume).first->second : volume;
  };
  for (const std::wstring& archive : job.Archives) {
    if (!seen.insert(SameFileKey(archive)).second) continue;
    if (const auto size = SizeOf(archive)) archives.push_back({volumeName(archive), *size});
  }
  std::uint64_t added = 0;
  for (const std::wstring& file : job.AddFiles) added += BytesBelow(file);
  const auto needed = SpaceNeeded(archives, added, backupParent.empty() ? L"" : volumeName(backupParent), workers);
  SpaceNeeds needs;
  std::wstring lines;
  for (const auto& [volume, bytes] : needed) {
    needs.AtOnce += bytes;
    const std::optional<std::uint64_t> free = FreeSpaceOf(volume);
    if (!free || *free >= bytes) continue;
    lines += L"\n" + volume + L"：需要约 " + MegabytesText(bytes) + L"，可用 " + MegabytesText(*free);
  }
  if (lines.empty()) return needs;
  needs.Problem = L"磁盘空间不足，没有开始处理。压缩程序在压缩包旁写出整个新压缩包" +
                  std::wstring(backupParent.empty() ? L"" : L"，备份还需要全部压缩包的大小") + L"：" + lines;
  return needs;
}

}  // namespace rarbatch
