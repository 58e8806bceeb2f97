// Composes the batch script: one archiver command line per operation and archive, from the script's
// plan (archive_plan.h, which also says how each piece is escaped), written into storage reserved
// once for the whole text.
#include "batch_script.h"

#include "archive_plan.h"

namespace rarbatch {

std::wstring ComposeBatchScript(const BatchJob& job) {
  if (job.Archives.empty()) return {};
  const ArchivePlan plan = ScriptPlan(job);
  const ScriptWriter writer(job);
  constexpr std::size_t kLineEnd = 2;
  std::size_t perArchive = 0;
  for (const PlannedCall& call : plan) perArchive += writer.FixedLength(call) + kLineEnd;
  std::size_t total = 0;
  for (std::size_t a = 0; a < job.Archives.size(); ++a) {
    total += perArchive + plan.size() * writer.ArchiveLength(a);
  }

  std::wstring text;
  text.reserve(total);
  for (std::size_t a = 0; a < job.Archives.size(); ++a) {
    for (const PlannedCall& call : plan) writer.Append(text, call, a);
  }
  return text;
}

bool ScriptHoldsPassword(const BatchJob& job) {
  return job.UsePassword && !job.Password.empty() && !job.Archives.empty() && !job.AddFiles.empty();
}

std::optional<OverlongLine> FindOverlongLine(const BatchJob& job) {
  if (job.Archives.empty()) return std::nullopt;
  const ScriptWriter writer(job);
  return FindOverlongCall(
      job, ScriptPlan(job), kMaxScriptLineLength,
      [&](const PlannedCall& call) { return writer.FixedLength(call); },
      [&](std::size_t a) { return writer.ArchiveLength(a); });
}

}  // namespace rarbatch
