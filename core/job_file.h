// Job files (.rbjob): a job saved to be opened again in the window or run by rarbatch-cli. UTF-8
// JSON; the password itself is never written, only that the job uses one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/batch_script.h"

namespace rarbatch {

// The newest job file this program reads and the one it writes.
inline constexpr int kJobFileVersion = 1;
// A job file larger than this is refused before it is read: a job of 3 x 32,767 long paths stays far
// below it.
inline constexpr std::uint64_t kMaxJobFileBytes = 64ull * 1024 * 1024;
// The most items of one list, as the window's lists take.
inline constexpr std::size_t kMaxJobListItems = 32767;
// The extension of job files, with its dot.
inline constexpr wchar_t kJobFileExtension[] = L".rbjob";

// What a job file holds.
struct SavedJob {
  // The job; Password is never written, and empty after reading. When Job.UsePassword is set, the
  // password is asked for when the job runs.
  BatchJob Job;
  // Check3: run the job in the program and show the results.
  bool RunInWindow = false;
  // The options of the run in the program (Job.Backup, Job.KeepTimes, Job.TestBeforeLock) are named
  // fields of the file's "run" object: "backup", "keep_times", "test_before_lock", each true or false
  // and false when missing, and "backup_folder", this folder: the one in which each run makes its own
  // backup folder (empty when none was chosen).
  std::wstring BackupParent;
  // The file's "run" object as JSON text ("{}" when it has none) less the named options above: the
  // options of the run that later versions add, kept as they were read, so that saving a job again
  // loses none of them.
  std::string RunOptions = "{}";
};

// The file's bytes (UTF-8, no BOM, LF line ends), or nothing when a text of the job has no UTF-8 form
// (a lone surrogate); `why` then says which.
std::optional<std::string> WriteJobFile(const SavedJob& saved, std::wstring* why = nullptr);

// A job read from a file's bytes, or the reason it was refused, in Chinese. A BOM before the JSON is
// allowed (Notepad writes one).
struct JobFileRead {
  std::optional<SavedJob> Saved;
  std::wstring Refusal;
};
JobFileRead ReadJobFile(std::string_view bytes);

// The reason for refusing a file of `size` bytes before reading it; nothing when it is small enough.
std::optional<std::wstring> JobFileSizeRefusal(std::uint64_t size);

// Whether `path` ends in .rbjob, in any letter case.
bool HasJobFileExtension(std::wstring_view path);

}  // namespace rarbatch
