// What a job would do to one archive, as the preview shows it before anything is changed: the
// predicted change, the table's state and words for it, the summary line and the detail text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/archive_names.h"
#include "core/batch_script.h"

namespace rarbatch {

// One archive's predicted change.
struct ArchivePreview {
  std::wstring Archive;
  std::wstring State;    // from the first bytes: 不是 RAR 压缩包, 分卷压缩包, 已锁定, …; empty when plain
  std::wstring Refusal;  // why no call of the job can succeed (WhyNoCallCanSucceed); empty when one may
  bool Listed = false;   // the entries below were read
  std::wstring ListProblem;  // why they were not
  std::vector<std::wstring> Entries;   // as listed
  std::vector<std::wstring> Removed;   // entries the deletions take, in listing order
  std::vector<std::wstring> Added;     // root names of the added files and folders, in job order
  std::vector<std::wstring> Replaced;  // entries an added file replaces (those not deleted first)
  bool Emptied = false;  // the deletions take every entry: the archiver then deletes the archive file
  std::vector<std::wstring> Unmodelled;  // switches and list files of the delete entries, not applied
  // Its recovery record, from its first bytes: whether it has one, its size in bytes (0 when not
  // known) and the -rr percent the run's last change asks for to keep it (RecoveryPercentToKeep).
  bool RecoveryRecord = false;
  std::uint64_t RecoverySize = 0;
  unsigned RecoveryPercent = 0;
};

// Fills in Removed, Added, Replaced, Emptied and Unmodelled of `preview`, whose Entries are listed.
// `storedPaths` are the paths the adds would store, relative to the root: each added file's root
// name, and for an added folder its name and every path below it ("素材", "素材\a.txt").
void PredictChanges(const BatchJob& job, const std::vector<std::wstring>& storedPaths,
                    ArchivePreview& preview);

// Whether the job would change the archive (it can be changed and something is deleted, added,
// commented or locked).
bool PreviewChanges(const BatchJob& job, const ArchivePreview& preview);

// Whether the archive cannot be changed or its effect cannot be told (refused, or not listed).
bool PreviewBlocked(const ArchivePreview& preview);

// A row of the preview table: the state column and the words column.
struct PreviewRow {
  std::wstring State;  // 将修改, 不变, 将被删除, 无法处理, 无法预览
  std::wstring Words;
};
PreviewRow DescribePreview(const BatchJob& job, const ArchivePreview& preview);

// The preview's summary line over all archives.
std::wstring FormatPreviewSummary(const BatchJob& job, const std::vector<ArchivePreview>& previews);

// The detail view of one archive: its state, then every entry taken, added and replaced.
std::wstring FormatPreviewDetail(const BatchJob& job, const ArchivePreview& preview);

}  // namespace rarbatch
