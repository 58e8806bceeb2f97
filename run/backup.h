// The run's safety net on disk: a checked copy of each archive before its first change, the manifest
// that lists the copies, and putting the originals back from it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/backup_plan.h"
#include "core/batch_script.h"
#include "win/file_hash.h"  // DigestFile
#include "run/space_check.h"  // FindSpaceProblem
#include "win/file_ops.h"  // FileTimes, ReadFileTimes, WriteFileTimes
#include "win/files.h"  // FullPathOf

namespace rarbatch {

// Makes this run's own backup folder in `parent` ("rarbatch 备份 20261208-113543", with a number
// after it when that is taken) and its manifest holding the header. The folder, or empty with the
// message in `error`.
std::wstring MakeRunBackupFolder(const std::wstring& parent, std::wstring* error);

// The folder below which the archives' backups keep their places: the deepest one holding all their
// full paths, letter case ignored as the file system ignores it; empty when they share none.
std::wstring BackupRootOf(const std::vector<std::wstring>& archives);
// Where the backup of `archive` goes below the run's backup folder, given the run's BackupRootOf.
std::wstring PlaceInBackup(const std::wstring& archive, const std::wstring& root);

// Copies `archive` (a full path) to `folder`\`relative`, checks the copy's size and SHA-256 against
// the archive's, and appends its line to the folder's manifest. An existing copy is never replaced.
// Empty on success, otherwise what failed (a failed copy is removed again).
std::wstring BackUpArchive(const std::wstring& folder, const std::wstring& archive, const std::wstring& relative);

// Appends to the manifest in `folder` what the run left of `archive`: its SHA-256 and size, or that
// it is gone. Empty on success, otherwise what failed.
std::wstring RecordAfterRun(const std::wstring& folder, const std::wstring& archive);

// The records of the manifest file at `manifestPath` (ParseManifest); nothing, with the message in
// `error`, when it cannot be read or is not a manifest.
std::optional<std::vector<BackupRecord>> ReadManifestRecords(const std::wstring& manifestPath, std::wstring* error,
                                                             bool* tornEnd = nullptr);

// One archive put back (or not) from a manifest.
struct RestoreRow {
  std::wstring Archive;
  bool Restored = false;
  std::wstring Detail;  // why not, or what was noticed
};
struct RestoreOutcome {
  std::wstring Error;  // the manifest could not be read: no row then
  std::vector<RestoreRow> Rows;
  std::wstring Note;   // what was noticed about the manifest itself (a torn last line)
};

// Puts back every archive the manifest lists: its copy is checked against the manifest's hash,
// copied beside the archive, checked again, then put in the archive's place (also where the archive
// is gone, or was locked meanwhile), with its creation and modification times; the archive is then
// hashed once more. A file in the archive's place is first copied into a folder of this restore's
// own beside the backup ("还原时替换下的文件 <time>"), so nothing is lost; one that is neither a RAR
// archive nor the file the run left there is not replaced. A row says when the archive was changed
// after the run.
RestoreOutcome RestoreFromManifest(const std::wstring& manifestPath);

// The rows as a message: counts, then each archive with 已还原 or 失败 and why.
std::wstring DescribeRestore(const RestoreOutcome& outcome);

}  // namespace rarbatch
