// A job's preview: each archive's first bytes read and its entries listed by the archiver, several
// archives at once, and what the job would do to it predicted. Nothing is changed.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/archive_plan.h"
#include "core/preview_model.h"
#include "core/batch_script.h"

namespace rarbatch {

class RunningArchivers;

// The paths the job's adds would store, relative to the archive's root (the run adds with -ep1): each
// file's last path part, and for a folder its name and every folder and file below it.
std::vector<std::wstring> StoredPathsOfAdds(const BatchJob& job);

// One archive's preview: its first bytes, then, when they allow it, its listing (`lb`, in UTF-8 with
// -scfr when `utf8Output`), then the prediction. Runs the archiver; does not change the archive.
ArchivePreview PreviewArchive(const BatchJob& job, std::size_t archive, bool utf8Output,
                              const std::vector<std::wstring>& storedPaths, RunningArchivers* archivers = nullptr);

// The same with the run's options (RunOptionsFor) and, for a job that has its password, what the
// archiver's standard input gives it (the password in the ANSI code page and a line break). A job with
// samples is listed with `lt` instead: that one listing gives the entries, the references and the
// sizes and CRC32s that deleting by content compares first; its candidates are then unpacked and
// hashed (FindContent), encrypted ones only when the job's password is there.
ArchivePreview PreviewArchive(const BatchJob& job, std::size_t archive, const RunOptions& options,
                              const std::string& passwordInput, const std::vector<std::wstring>& storedPaths,
                              RunningArchivers* archivers = nullptr);

struct PreviewEvents {
  // On a worker thread, once the archive's preview is ready.
  std::function<void(std::size_t archive)> ArchiveDone;
  // On a worker thread, after the last archive.
  std::function<void()> Ended;
};

// Previews every archive of a job with `workers` threads, as many as the run would use. Start and the
// destructor are called from the owner's thread; the destructor lets the listings still running end
// and starts no more.
class JobPreviewer {
 public:
  JobPreviewer(BatchJob job, unsigned workers, PreviewEvents events);
  ~JobPreviewer();
  JobPreviewer(const JobPreviewer&) = delete;
  JobPreviewer& operator=(const JobPreviewer&) = delete;

  void Start();
  // Starts no more archives; the listings running now end (Wait waits for them).
  void Stop();
  // Waits until every archive has been previewed (or the previewer was told to stop).
  void Wait();
  bool IsRunning() const;
  const BatchJob& Job() const;
  std::size_t ArchiveCount() const;
  // Whether archive `archive` has been previewed, and its preview (empty before).
  bool IsDone(std::size_t archive) const;
  ArchivePreview Result(std::size_t archive) const;
  std::vector<ArchivePreview> Results() const;
  // What the run would ask of the disks (for FormatPreviewSummary); nothing before the listings start.
  PreviewCost Cost() const;
  // Milliseconds from Start to the last archive's preview; 0 before.
  unsigned long long ElapsedMs() const;

 private:
  struct Shared;
  std::unique_ptr<Shared> shared_;
};

}  // namespace rarbatch
