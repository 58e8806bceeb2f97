// What a job would do to one archive's entries, by the archiver's own rules of matching names: which
// entries its delete names take, which its added files replace, and whether the archive is left
// empty. The preview shows this before anything is changed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "batch_script.h"

namespace rarbatch {

// Whether the delete name `name` takes the archive entry `entry` (a stored path as the archiver's
// bare listing gives it, "dir\sub\x.txt"). Letter case is ignored; '\' and '/' both separate folders.
// The archiver's rules, as observed on it:
//   - a name with a wildcard ('*', '?') in its name part and none in its folder part takes, at any
//     depth below that folder (the root when there is none), each entry whose own name matches:
//     "*.bak" takes "x.bak" and "dir\x.bak", "dir\*.bak" takes "dir\x.bak" and "dir\sub\y.bak";
//   - a wildcard in the folder part matches the whole path, '*' across folders: "*\x.txt" takes
//     "dir\x.txt" and "dir\sub\x.txt", not the root's "x.txt";
//   - a mask ending in ".*" also takes names without a dot ("*.*" takes every entry), and one ending
//     in a lone '.' takes only names without a dot ("*." takes "README" and folders);
//   - a name without wildcards names one path and, when that is a folder, everything below it:
//     "x.txt" takes only the root's "x.txt", "dir" takes "dir" and "dir\x.txt". A trailing '.' is
//     dropped ("x.txt." takes "x.txt"), and then nothing below it is taken;
//   - a wildcard that matches a folder takes the folder's own entry only, not what is below it;
//   - a name that ends in a separator ("dir\"), and "." alone, take every entry.
// Not modelled: "..", doubled separators and a leading separator (the archiver takes nothing for
// them, and neither does this); names read from a list file ("@list").
bool DeleteNameTakes(const std::wstring& name, const std::wstring& entry);

// The delete entries of a job as the archiver reads them: each entry split by its rules
// (SplitArchiverArguments) into names, switches ("-..."), which the preview does not apply, and
// list files ("@..."), which it does not read.
struct DeleteWords {
  std::vector<std::wstring> Names;
  std::vector<std::wstring> Switches;
  std::vector<std::wstring> ListFiles;
};
DeleteWords SplitDeleteEntries(const std::vector<std::wstring>& entries);

// The name an added file or folder gets at the archive's root, as the program's run adds with -ep1:
// the path's last part ("D:\素材\说明.txt" gives "说明.txt"; "D:\素材\" gives "素材").
std::wstring RootNameOfAdded(const std::wstring& path);

// The entry paths of the archiver's bare listing (lb): one a line, empty lines left out.
std::vector<std::wstring> ParseBareListing(const std::wstring& output);

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
