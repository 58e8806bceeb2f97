// What a job would do to one archive, as the preview shows it before anything is changed: the
// predicted change, the table's state and words for it, the summary line and the detail text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/archive_names.h"
#include "core/batch_script.h"
#include "core/content_samples.h"
#include "core/file_references.h"

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
  bool Solid = false;    // said by the first bytes: a delete recompresses the archive
  std::wstring Marks;    // what the file carries that the run puts back and the script loses (NameMarks)
  std::uint64_t Size = 0;  // of the archive file, in bytes
  std::vector<std::wstring> Unmodelled;  // switches and list files of the delete entries, not applied
  // References the deletions would leave without their target; the run refuses such an archive.
  std::vector<BrokenReference> BrokenReferences;
  // Its recovery record, from its first bytes: whether it has one, its size in bytes (0 when not
  // known) and the -rr percent the run's last change asks for to keep it (RecoveryPercentToKeep).
  bool RecoveryRecord = false;
  std::uint64_t RecoverySize = 0;
  unsigned RecoveryPercent = 0;
  // For a job with samples: what comparing the entries with them found (the entries it matched are
  // in Removed too). Empty without samples.
  ContentFindings Content;
};

// Fills in Removed, Added, Replaced, Emptied and Unmodelled of `preview`, whose Entries are listed;
// the entries its Content matched are taken as the job's delete names' are.
// `storedPaths` are the paths the adds would store, relative to the root: each added file's root
// name, and for an added folder its name and every path below it ("素材", "素材\a.txt").
void PredictChanges(const BatchJob& job, const std::vector<std::wstring>& storedPaths,
                    ArchivePreview& preview);

// Whether the preview must read the archive's references (lt): the deletions take some entry of an
// archive that may hold references.
bool PreviewNeedsReferences(const ArchivePreview& preview);

// From the technical listing's outcome: the references the deletions would break, which refuse the
// archive as the run would. A listing cut short refuses it too; one that failed leaves the archive
// unpreviewed, with why.
void PredictBrokenReferences(const BatchJob& job, const CallResult& listing, ArchivePreview& preview);

// The same from the entries of a listing already read: the references that the job's delete names
// and the entries found by content (the preview's Content) together would leave without their target.
void PredictReferencesOf(const BatchJob& job, const std::vector<ListedEntry>& entries, ArchivePreview& preview);

// Whether the preview's row is shown in red: the deletions would empty the archive, or break one of
// its references.
bool PreviewInRed(const ArchivePreview& preview);

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

// How many times the program's run would rewrite the archive: once for each call that changes it (a
// delete that takes nothing changes nothing, unless it carries the comment or the lock, which a call
// of their own then sets; a test changes nothing). Nothing for an archive the job leaves unchanged.
unsigned PredictedRewrites(const BatchJob& job, const ArchivePreview& preview);

// What a run would ask of the disks, for the summary line: the free space it needs at once over all
// volumes, and, when a volume lacks it, the message saying so.
struct PreviewCost {
  std::uint64_t NeededAtOnce = 0;
  std::wstring Shortfall;
};

// The preview's summary line over all archives: the counts, then the bytes the run would rewrite
// (each changed archive's size times its rewrites) and the free space it needs at once, with a
// warning when a volume lacks it.
std::wstring FormatPreviewSummary(const BatchJob& job, const std::vector<ArchivePreview>& previews,
                                  const PreviewCost& cost = {});

// The detail view of one archive: its state, then every entry taken, added and replaced.
std::wstring FormatPreviewDetail(const BatchJob& job, const ArchivePreview& preview);

}  // namespace rarbatch
