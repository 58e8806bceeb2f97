// The run's safety net on disk: checked copies of the archives, their manifest, and restoring from
// it.
#include "run/backup.h"

#include <algorithm>

#include "core/number_text.h"
#include "core/paths.h"
#include "run/archive_check.h"
#include "win/error_text.h"
#include "win/file_identity.h"
#include "win/file_ops.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/temp_file.h"
#include "win/text.h"
#include "win/threads.h"

namespace rarbatch {
namespace {

// Workers append to a manifest at once; one line at a time.
Mutex gManifestMutex;

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

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
  UniqueHandle file = OpenFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
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

}  // namespace

std::wstring BackupRootOf(const std::vector<std::wstring>& archives) {
  std::vector<std::wstring> full;
  full.reserve(archives.size());
  for (const std::wstring& archive : archives) full.push_back(FullPathOf(archive));
  return CommonRoot(full, &FoldedName);
}

std::wstring PlaceInBackup(const std::wstring& archive, const std::wstring& root) {
  return PathBelowRoot(FullPathOf(archive), root, &FoldedName);
}

std::wstring MakeRunBackupFolder(const std::wstring& parent, std::wstring* error) {
  const std::wstring base = WithTrailingBackslash(FullPathOf(parent)) + L"rarbatch 备份 " +
                            UtcNow(true);
  for (int n = 1; n < 100; ++n) {
    const std::wstring folder = n == 1 ? base : base + L" (" + Decimal(n) + L")";
    if (const DWORD failed = MakeFolder(folder); failed != ERROR_SUCCESS) {
      if (failed == ERROR_ALREADY_EXISTS) continue;
      *error = DescribeFailure(L"无法创建备份文件夹", folder, failed);
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
  if ((error = CopyFileTo(archive, copy, false)) != ERROR_SUCCESS) {
    return DescribeFailure(L"无法复制压缩包到", copy, error);
  }
  const std::optional<FileDigest> copied = DigestFile(copy, &error);
  if (!copied || *copied != *original) {
    DeleteFileAt(copy);
    return copied ? L"备份与压缩包的大小或 SHA-256 不一致，压缩包可能在复制时被改动：" + copy
                  : DescribeFailure(L"无法读回备份", copy, error);
  }
  BackupRecord record{UtcNow(false), original->Sha256, original->Size,
                      times->Created, times->Modified, relative, FullPathOf(archive), {}};
  std::lock_guard lock(gManifestMutex);
  const std::wstring manifest = folder + L"\\" + kManifestName;
  error = AppendUtf8(manifest, FormatManifestLine(record));
  if (error != ERROR_SUCCESS) {
    DeleteFileAt(copy);
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
  UniqueHandle file = OpenFile(manifestPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (!file) {
    *error = DescribeFailure(L"无法打开备份清单", manifestPath, GetLastError());
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  for (;;) {
    if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) {
      // Part of a manifest would restore part of the archives and call the rest a torn last line.
      *error = DescribeFailure(L"无法读取备份清单", manifestPath, GetLastError());
      return std::nullopt;
    }
    if (read == 0) break;
    bytes.append(buffer, read);
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
  std::size_t badLine = 0;
  std::optional<std::vector<BackupRecord>> records = ParseManifest(FromCodePage(bytes, CP_UTF8), &badLine, tornEnd);
  if (!records) {
    *error = L"这不是本程序的备份清单，或清单第 " + Decimal(badLine) + L" 行有误，没有还原任何文件：\n" + manifestPath;
  }
  return records;
}

namespace {

// Whether the backup copy is still what the manifest says; empty when it is, otherwise why not.
std::wstring CheckBackupCopy(const std::wstring& copy, const FileDigest& expected) {
  DWORD error = ERROR_SUCCESS;
  const std::optional<FileDigest> saved = DigestFile(copy, &error);
  if (!saved) return DescribeFailure(L"无法读取备份", copy, error);
  if (*saved != expected) return L"备份文件与清单中的 SHA-256 不符（已被改动或损坏），没有还原：" + copy;
  return L"";
}

// Copies what is in the archive's place now, when it differs from the backup, into `keptFolder`, so
// that it is never simply overwritten; `kept` is then its copy, and `remark` says when the archive
// was changed after the run. A file there that is neither a RAR archive nor what the run left is not
// replaced: the manifest may have come from another machine or drive letter, where its paths name
// other files. Empty when the restore may go on, otherwise why not.
std::wstring KeepWhatIsInPlace(const BackupRecord& record, const FileDigest& expected, const std::wstring& keptFolder,
                               std::wstring* kept, std::wstring* remark) {
  DWORD error = ERROR_SUCCESS;
  const std::optional<FileDigest> present = DigestFile(record.Archive, &error);
  if (!present && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
    return DescribeFailure(L"无法读取压缩包", record.Archive, error);
  }
  if (!present || *present == expected) return L"";
  const bool asTheRunLeft =
      record.After && !record.After->Gone && *present == FileDigest{record.After->Size, record.After->Sha256};
  if (!asTheRunLeft) {
    const std::optional<ArchiveHeader> header = ReadHeaderOf(record.Archive);
    if (!header || header->Format == ArchiveFormat::NotRar) {
      return L"这个位置上的文件不是 RAR 压缩包，也不是处理后留下的文件，没有还原（备份清单可能来自别的电脑或盘符）";
    }
    if (record.After) *remark = L"；压缩包在处理之后又被改动过";
  }
  *kept = keptFolder + L"\\" + record.Copy;
  error = MakeFolders(FolderOf(*kept));
  if (error == ERROR_SUCCESS) error = CopyFileTo(record.Archive, *kept, false);
  const std::optional<FileDigest> keptDigest = error == ERROR_SUCCESS ? DigestFile(*kept, &error) : std::nullopt;
  if (!keptDigest) return DescribeFailure(L"无法保存被替换的压缩包到", *kept, error);
  if (*keptDigest != *present) return L"保存被替换的压缩包时内容不一致，没有还原：" + *kept;
  return L"";
}

// Copies the backup beside the archive, checks it, and renames it over the archive (on one volume, so
// the archive is either the old file or the whole copy). The copy is removed again on every way out
// before it has taken the archive's place. Empty on success, otherwise why not.
std::wstring PutCopyInPlace(const std::wstring& copy, const BackupRecord& record, const FileDigest& expected) {
  DWORD error = MakeFolders(FolderOf(record.Archive));
  if (error != ERROR_SUCCESS) return DescribeFailure(L"无法创建文件夹", FolderOf(record.Archive), error);
  std::optional<TempFile> temporary = TempFile::Beside(record.Archive, L".rarbatch-restore", &error);
  if (!temporary) return DescribeFailure(L"无法在压缩包旁创建临时文件", record.Archive, error);
  temporary->Close();
  if ((error = CopyFileTo(copy, temporary->Path(), true)) != ERROR_SUCCESS) {
    return DescribeFailure(L"无法复制备份到", temporary->Path(), error);
  }
  const std::optional<FileDigest> placed = DigestFile(temporary->Path(), &error);
  if (!placed) return DescribeFailure(L"无法读回", temporary->Path(), error);
  if (*placed != expected) return L"复制出的文件与备份不符，没有还原：" + temporary->Path();
  const std::optional<DWORD> attributes = AttributesOf(record.Archive);
  if (attributes && (*attributes & FILE_ATTRIBUTE_READONLY)) {
    SetAttributesOf(record.Archive, *attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if ((error = MoveReplacing(temporary->Path(), record.Archive)) != ERROR_SUCCESS) {
    return DescribeFailure(L"无法替换压缩包", record.Archive, error);
  }
  temporary->Keep();  // it is the archive now
  return L"";
}

// Puts one archive back; the row says how it went. What is in the archive's place goes first into
// `keptFolder` (beside the backup).
RestoreRow RestoreOne(const std::wstring& folder, const BackupRecord& record, const std::wstring& keptFolder) {
  RestoreRow row{record.Archive, false, {}};
  const FileDigest expected{record.Size, record.Sha256};
  const std::wstring copy = folder + L"\\" + record.Copy;
  std::wstring kept, remark;
  row.Detail = CheckBackupCopy(copy, expected);
  if (row.Detail.empty()) row.Detail = KeepWhatIsInPlace(record, expected, keptFolder, &kept, &remark);
  if (!row.Detail.empty()) return row;
  row.Detail = PutCopyInPlace(copy, record, expected);
  if (!row.Detail.empty()) {
    if (!kept.empty()) DeleteFileAt(kept);  // the archive stayed where it was
    return row;
  }
  const bool timesSet = WriteFileTimes(record.Archive, {record.Created, record.Modified}) == ERROR_SUCCESS;
  DWORD error = ERROR_SUCCESS;
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
  for (int n = 2; PathExists(kept) && n < 100; ++n) {
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

}  // namespace rarbatch
