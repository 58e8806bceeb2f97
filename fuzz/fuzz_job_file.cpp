// Job files from anywhere: reading never crashes, and a job read is written and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/job_file.h"

namespace {

bool SameJob(const rarbatch::SavedJob& a, const rarbatch::SavedJob& b) {
  const rarbatch::BatchJob& x = a.Job;
  const rarbatch::BatchJob& y = b.Job;
  return x.RarPath == y.RarPath && x.Archives == y.Archives && x.DeleteNames == y.DeleteNames &&
         x.AddFiles == y.AddFiles && x.CommentFile == y.CommentFile && x.Lock == y.Lock &&
         x.UsePassword == y.UsePassword && x.Backup == y.Backup && x.KeepTimes == y.KeepTimes &&
         x.TestBeforeLock == y.TestBeforeLock && a.BackupParent == b.BackupParent && a.RunInWindow == b.RunInWindow &&
         a.RunOptions == b.RunOptions;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const rarbatch::JobFileRead read = rarbatch::ReadJobFile(bytes);
  if (!read.Saved) {
    if (read.Refusal.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  const auto written = rarbatch::WriteJobFile(*read.Saved);
  if (!written) std::abort();  // what was read from UTF-8 has a UTF-8 form
  const rarbatch::JobFileRead again = rarbatch::ReadJobFile(*written);
  if (!again.Saved || !SameJob(*again.Saved, *read.Saved)) std::abort();
  return 0;
}
