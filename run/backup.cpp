// The run's safety net on disk: checked copies of the archives, their manifest, restoring from it,
// an archive's times, and the free space a run needs.
#include "run/backup.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/number_text.h"
#include "core/paths.h"
#include "run/archive_check.h"
#include "win/file_identity.h"
#include "win/error_text.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/text.h"
#include "win/threads.h"

namespace rarbatch {
namespace {

// Workers append to a manifest at once; one line at a time.
Mutex gManifestMutex;

}  // namespace

namespace {

std::wstring Long(const std::wstring& path) { return ExtendedLengthPath(FullPathOf(path)); }

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// Creates `folder` and every missing folder above it.
DWORD MakeFolders(const std::wstring& folder) {
  if (CreateDirectoryW(Long(folder).c_str(), nullptr)) return ERROR_SUCCESS;
  DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS) return ERROR_SUCCESS;
  if (error != ERROR_PATH_NOT_FOUND) return error;
  const std::size_t slash = folder.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash < 3) return error;
  if ((error = MakeFolders(folder.substr(0, slash))) != ERROR_SUCCESS) return error;
  if (CreateDirectoryW(Long(folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
    return ERROR_SUCCESS;
  }
  return GetLastError();
}

std::uint64_t FromFileTime(const FILETIME& t) {
  return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

FILETIME ToFileTime(std::uint64_t v) {
  return {static_cast<DWORD>(v & 0xFFFFFFFFu), static_cast<DWORD>(v >> 32)};
}

std::wstring TwoDigits(unsigned n) { return (n < 10 ? L"0" : L"") + Decimal(n); }

// The time now in UTC: "20261208-113543" for a folder's name, or "2026-12-08 11:35:43".
std::wstring UtcNow(bool compact) {
  SYSTEMTIME t;
  GetSystemTime(&t);
  const wchar_t* dash = compact ? L"" : L"-";
  const wchar_t* colon = compact ? L"" : L":";
  return Decimal(t.wYear) + dash + TwoDigits(t.wMonth) + dash + TwoDigits(t.wDay) +
         (compact ? L"-" : L" ") + TwoDigits(t.wHour) + colon + TwoDigits(t.wMinute) + colon +
         TwoDigits(t.wSecond);
}

// Appends `text` in UTF-8. A write that fails is cut back to where it started, so that a full disk
// leaves no torn line behind.
DWORD AppendUtf8(const std::wstring& path, const std::wstring& text) {
  const std::optional<std::string> bytes = ToCodePage(text, CP_UTF8);
  if (!bytes) return ERROR_NO_UNICODE_TRANSLATION;
  UniqueHandle file(CreateFileW(Long(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError();
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file.get(), {}, &start, FILE_END)) return GetLastError();
  DWORD written = 0;
  DWORD error = ERROR_SUCCESS;
  if (!WriteFile(file.get(), bytes->data(), static_cast<DWORD>(bytes->size()), &written, nullptr)) {
    error = GetLastError();
  } else if (written != bytes->size()) {
    error = ERROR_DISK_FULL;
  } else if (!FlushFileBuffers(file.get())) {
    error = GetLastError();
  }
  if (error != ERROR_SUCCESS && SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) {
    SetEndOfFile(file.get());
  }
  return error;
}

// Megabytes with one decimal: "12.3 MB".
std::wstring SizeText(std::uint64_t bytes) {
  const std::uint64_t tenths = (bytes * 10 + 512 * 1024) / (1024 * 1024);
  return Decimal(tenths / 10) + L"." + Decimal(tenths % 10) + L" MB";
}

std::optional<std::uint64_t> SizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Long(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// The bytes of a file, or of every file below a folder.
std::uint64_t BytesBelow(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  std::wstring full = FullPathOf(path);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  if (!GetFileAttributesExW(ExtendedLengthPath(full).c_str(), GetFileExInfoStandard, &data)) return 0;
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  }
  std::uint64_t total = 0;
  WalkFolder(full, [&total](const std::wstring&, const WIN32_FIND_DATAW& found) {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      total += (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    }
  });
  return total;
}

std::wstring VolumeOf(const std::wstring& path) {
  wchar_t volume[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(FullPathOf(path).c_str(), volume, MAX_PATH + 1)) return FullPathOf(path).substr(0, 3);
  return volume;
}

}  // namespace

std::optional<FileTimes> ReadFileTimes(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Long(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return FileTimes{FromFileTime(data.ftCreationTime), FromFileTime(data.ftLastWriteTime)};
}

DWORD WriteFileTimes(const std::wstring& path, const FileTimes& times) {
  UniqueHandle file(CreateFileW(Long(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError();
  const FILETIME created = ToFileTime(times.Created), modified = ToFileTime(times.Modified);
  if (!SetFileTime(file.get(), &created, nullptr, times.Modified ? &modified : nullptr)) return GetLastError();
  return ERROR_SUCCESS;
}

std::wstring MakeRunBackupFolder(const std::wstring& parent, std::wstring* error) {
  const std::wstring base = WithTrailingBackslash(FullPathOf(parent)) + L"rarbatch 备份 " +
                            UtcNow(true);
  for (int n = 1; n < 100; ++n) {
    const std::wstring folder = n == 1 ? base : base + L" (" + Decimal(n) + L")";
    if (!CreateDirectoryW(Long(folder).c_str(), nullptr)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      *error = DescribeFailure(L"无法创建备份文件夹", folder, GetLastError());
      return {};
    }
    const std::wstring manifest = folder + L"\\" + kManifestName;
    const DWORD failed = AppendUtf8(manifest, L"\uFEFF" + std::wstring(kManifestHeader) + L"\r\n");
    if (failed != ERROR_SUCCESS) {
      *error = DescribeFailure(L"无法写入备份清单", manifest, failed);
      return {};
    }
    return folder;
  }
  *error = L"无法创建备份文件夹：同名的文件夹太多\n" + base;
  return {};
}

std::wstring BackUpArchive(const std::wstring& folder, const std::wstring& archive, const std::wstring& relative) {
  const std::wstring copy = folder + L"\\" + relative;
  DWORD error = MakeFolders(FolderOf(copy));
  if (error != ERROR_SUCCESS) return DescribeFailure(L"无法创建备份文件夹", FolderOf(copy), error);
  const std::optional<FileTimes> times = ReadFileTimes(archive);
  const std::optional<FileDigest> original = DigestFile(archive, &error);
  if (!original || !times) return DescribeFailure(L"无法读取压缩包", archive, error ? error : GetLastError());
  if (!CopyFileW(Long(archive).c_str(), Long(copy).c_str(), TRUE)) {
    return DescribeFailure(L"无法复制压缩包到", copy, GetLastError());
  }
  const std::optional<FileDigest> copied = DigestFile(copy, &error);
  if (!copied || *copied != *original) {
    DeleteFileW(Long(copy).c_str());
    return copied ? L"备份与压缩包的大小或 SHA-256 不一致，压缩包可能在复制时被改动：" + copy
                  : DescribeFailure(L"无法读回备份", copy, error);
  }
  BackupRecord record{UtcNow(false), original->Sha256, original->Size,
                      times->Created, times->Modified, relative, FullPathOf(archive), {}};
  std::lock_guard lock(gManifestMutex);
  const std::wstring manifest = folder + L"\\" + kManifestName;
  error = AppendUtf8(manifest, FormatManifestLine(record));
  if (error != ERROR_SUCCESS) {
    DeleteFileW(Long(copy).c_str());
    return DescribeFailure(L"无法写入备份清单", manifest, error);
  }
  return {};
}

std::wstring RecordAfterRun(const std::wstring& folder, const std::wstring& archive) {
  const std::wstring full = FullPathOf(archive);
  AfterRun after;
  DWORD error = ERROR_SUCCESS;
  if (const std::optional<FileDigest> digest = DigestFile(full, &error)) {
    after = {false, digest->Sha256, digest->Size};
  } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    after.Gone = true;
  } else {
    return DescribeFailure(L"无法读取压缩包", full, error);
  }
  std::lock_guard lock(gManifestMutex);
  const std::wstring manifest = folder + L"\\" + kManifestName;
  error = AppendUtf8(manifest, FormatAfterLine(full, after));
  return error == ERROR_SUCCESS ? std::wstring() : DescribeFailure(L"无法写入备份清单", manifest, error);
}

std::optional<std::vector<BackupRecord>> ReadManifestRecords(const std::wstring& manifestPath, std::wstring* error,
                                                             bool* tornEnd) {
  UniqueHandle file(CreateFileW(Long(manifestPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    *error = DescribeFailure(L"无法打开备份清单", manifestPath, GetLastError());
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
  std::size_t badLine = 0;
  std::optional<std::vector<BackupRecord>> records = ParseManifest(FromCodePage(bytes, CP_UTF8), &badLine, tornEnd);
  if (!records) {
    *error = L"这不是本程序的备份清单，或清单第 " + Decimal(badLine) + L" 行有误，没有还原任何文件：\n" + manifestPath;
  }
  return records;
}

namespace {

// Puts one archive back; the row says how it went. What is in the archive's place goes first into
// `keptFolder` (beside the backup), never simply overwritten. A file there that is neither a RAR
// archive nor what the run left is not replaced: the manifest may have come from another machine or
// drive letter, where its paths name other files.
RestoreRow RestoreOne(const std::wstring& folder, const BackupRecord& record, const std::wstring& keptFolder) {
  RestoreRow row{record.Archive, false, {}};
  const FileDigest expected{record.Size, record.Sha256};
  const std::wstring copy = folder + L"\\" + record.Copy;
  DWORD error = ERROR_SUCCESS;
  const std::optional<FileDigest> saved = DigestFile(copy, &error);
  if (!saved) {
    row.Detail = DescribeFailure(L"无法读取备份", copy, error);
    return row;
  }
  if (*saved != expected) {
    row.Detail = L"备份文件与清单中的 SHA-256 不符（已被改动或损坏），没有还原：" + copy;
    return row;
  }

  // What is in the archive's place now.
  std::optional<FileDigest> present = DigestFile(record.Archive, &error);
  if (!present && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
    row.Detail = DescribeFailure(L"无法读取压缩包", record.Archive, error);
    return row;
  }
  std::wstring remark;
  std::wstring kept;
  if (present && *present != expected) {
    const bool asTheRunLeft = record.After && !record.After->Gone &&
                              *present == FileDigest{record.After->Size, record.After->Sha256};
    if (!asTheRunLeft) {
      const std::optional<ArchiveHeader> header = ReadHeaderOf(record.Archive);
      if (!header || header->Format == ArchiveFormat::NotRar) {
        row.Detail = L"这个位置上的文件不是 RAR 压缩包，也不是处理后留下的文件，没有还原（备份清单可能来自别的电脑或盘符）";
        return row;
      }
      if (record.After) remark = L"；压缩包在处理之后又被改动过";
    }
    kept = keptFolder + L"\\" + record.Copy;
    error = MakeFolders(FolderOf(kept));
    if (error == ERROR_SUCCESS && !CopyFileW(Long(record.Archive).c_str(), Long(kept).c_str(), TRUE)) {
      error = GetLastError();
    }
    const std::optional<FileDigest> keptDigest = error == ERROR_SUCCESS ? DigestFile(kept, &error) : std::nullopt;
    if (!keptDigest || *keptDigest != *present) {
      row.Detail = keptDigest ? L"保存被替换的压缩包时内容不一致，没有还原：" + kept
                              : DescribeFailure(L"无法保存被替换的压缩包到", kept, error);
      return row;
    }
  }

  error = MakeFolders(FolderOf(record.Archive));
  if (error != ERROR_SUCCESS) {
    row.Detail = DescribeFailure(L"无法创建文件夹", FolderOf(record.Archive), error);
    return row;
  }
  // Beside the archive, so that putting it in place is a rename on one volume.
  const std::wstring temporary = record.Archive + L".rarbatch-restore";
  if (!CopyFileW(Long(copy).c_str(), Long(temporary).c_str(), FALSE)) {
    row.Detail = DescribeFailure(L"无法复制备份到", temporary, GetLastError());
    return row;
  }
  const std::optional<FileDigest> placed = DigestFile(temporary, &error);
  if (!placed || *placed != expected) {
    DeleteFileW(Long(temporary).c_str());
    row.Detail = placed ? L"复制出的文件与备份不符，没有还原：" + temporary
                        : DescribeFailure(L"无法读回", temporary, error);
    return row;
  }
  const DWORD attributes = GetFileAttributesW(Long(record.Archive).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(Long(record.Archive).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (!MoveFileExW(Long(temporary).c_str(), Long(record.Archive).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
    DeleteFileW(Long(temporary).c_str());
    if (!kept.empty()) DeleteFileW(Long(kept).c_str());  // the archive stayed where it was
    row.Detail = DescribeFailure(L"无法替换压缩包", record.Archive, error);
    return row;
  }
  const bool timesSet = WriteFileTimes(record.Archive, {record.Created, record.Modified}) == ERROR_SUCCESS;
  const std::optional<FileDigest> restored = DigestFile(record.Archive, &error);
  if (!restored || *restored != expected) {
    row.Detail = restored ? L"还原后的压缩包与备份不符" : DescribeFailure(L"无法读回还原的压缩包", record.Archive, error);
    return row;
  }
  row.Restored = true;
  row.Detail = timesSet ? L"SHA-256 " + std::wstring(record.Sha256.begin(), record.Sha256.end())
                        : L"内容已还原，但无法恢复文件时间";
  row.Detail += remark;
  if (!kept.empty()) row.Detail += L"；被替换的文件保存在 " + kept;
  return row;
}

}  // namespace

RestoreOutcome RestoreFromManifest(const std::wstring& manifestPath) {
  RestoreOutcome outcome;
  bool torn = false;
  const std::optional<std::vector<BackupRecord>> records = ReadManifestRecords(manifestPath, &outcome.Error, &torn);
  if (!records) return outcome;
  const std::wstring folder = FolderOf(FullPathOf(manifestPath));
  // One folder for each restore, so that a second restore keeps what the first put back.
  std::wstring kept = folder + L"\\还原时替换下的文件 " + UtcNow(true);
  for (int n = 2; GetFileAttributesW(Long(kept).c_str()) != INVALID_FILE_ATTRIBUTES && n < 100; ++n) {
    kept = folder + L"\\还原时替换下的文件 " + UtcNow(true) + L" (" + Decimal(n) + L")";
  }
  for (const BackupRecord& record : *records) outcome.Rows.push_back(RestoreOne(folder, record, kept));
  if (torn) outcome.Note = L"备份清单的最后一行不完整（写入时被中断），已忽略。";
  return outcome;
}

std::wstring DescribeRestore(const RestoreOutcome& outcome) {
  if (!outcome.Error.empty()) return outcome.Error;
  const auto restored = std::count_if(outcome.Rows.begin(), outcome.Rows.end(),
                                      [](const RestoreRow& r) { return r.Restored; });
  std::wstring text = L"已还原 " + Decimal(restored) + L" 个压缩包，失败 " +
                      Decimal(outcome.Rows.size() - restored) + L" 个。\n";
  if (outcome.Rows.empty()) text = L"备份清单中没有压缩包。\n";
  if (!outcome.Note.empty()) text += outcome.Note + L"\n";
  for (const RestoreRow& row : outcome.Rows) {
    text += L"\n" + row.Archive + L"\t" + (row.Restored ? L"已还原" : L"失败：" + row.Detail);
  }
  return text;
}

std::optional<std::wstring> FindSpaceProblem(const BatchJob& job, unsigned workers,
                                             const std::wstring& backupParent) {
  // Each file once, however many spellings of it the list holds; each volume under one name, the
  // first met, however it is reached (a subst drive, a mapped drive and its UNC form).
  std::vector<ArchiveOnVolume> archives;
  std::set<std::wstring> seen;
  std::map<DWORD, std::wstring> volumeNames;
  const auto volumeName = [&volumeNames](const std::wstring& path) {
    const std::wstring volume = VolumeOf(path);
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
  std::wstring lines;
  for (const auto& [volume, bytes] : needed) {
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(volume.c_str(), &free, nullptr, nullptr)) continue;
    if (free.QuadPart >= bytes) continue;
    lines += L"\n" + volume + L"：需要约 " + SizeText(bytes) + L"，可用 " + SizeText(free.QuadPart);
  }
  if (lines.empty()) return std::nullopt;
  return L"磁盘空间不足，没有开始处理。压缩程序在压缩包旁写出整个新压缩包" +
         std::wstring(backupParent.empty() ? L"" : L"，备份还需要全部压缩包的大小") + L"：" + lines;
}

}  // namespace rarbatch
