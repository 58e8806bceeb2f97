// The byte comparison of an archive's candidates with the job's samples.
#include "run/content_compare.h"

#include <algorithm>

#include "core/archiver_args.h"
#include "run/archiver_process.h"
#include "run/list_file.h"
#include "win/file_hash.h"

namespace rarbatch {

CallResult ContentPrintCall(const BatchJob& job, std::size_t archive, const RunOptions& options,
                            bool withPassword, const std::vector<ListedEntry>& entries, const ContentScan& scan,
                            const std::wstring& listFile) {
  CallResult call;
  call.Operation = ScriptOperation::Delete;  // it serves the delete that follows
  call.Utf8Output = options.Utf8Output;
  call.CommandLine = QuoteArchiverArgument(job.RarPath) + L" p -inul -c-";
  AppendReadingPassword(call, options, withPassword && job.UsePassword);
  if (options.Utf8Output) call.CommandLine += L" -scfr";
  call.CommandLine += L" -scfl " + QuoteArchiverArgument(job.Archives[archive]) + L" " +
                      QuoteArchiverArgument(L"@" + listFile);
  call.ListFile = listFile;
  for (const ContentCandidate& candidate : scan.Candidates) {
    call.ListText += QuoteArchiverArgument(entries[candidate.Entry].Name) + L"\r\n";
  }
  return call;
}

std::vector<std::optional<std::string>> CompareCandidates(const BatchJob& job, CallResult& call,
                                                          const std::vector<ListedEntry>& entries,
                                                          const ContentScan& scan, const std::string& passwordInput,
                                                          RunningArchivers* archivers) {
  std::vector<std::optional<std::string>> digests(scan.Candidates.size());
  const std::optional<TempFile> list = WriteListFile(call);
  if (!list) return digests;
  // The candidate whose bytes come now, the bytes of it still to come, and its digest so far.
  std::size_t current = 0;
  std::uint64_t left = scan.Candidates.empty() ? 0 : *entries[scan.Candidates[0].Entry].Size;
  std::optional<StreamDigest> hash;
  hash.emplace();
  std::vector<std::optional<std::string>> found(scan.Candidates.size());
  bool overrun = false;
  const auto next = [&] {
    found[current] = hash->FinishHex();
    hash.emplace();
    ++current;
    left = current < scan.Candidates.size() ? *entries[scan.Candidates[current].Entry].Size : 0;
  };
  // An empty candidate ends before any byte comes (samples are never empty, but stay sure).
  while (current < scan.Candidates.size() && left == 0) next();
  const OutputBytes take = [&](const char* data, std::size_t size) {
    while (size > 0) {
      if (current >= scan.Candidates.size()) {
        overrun = true;
        return;
      }
      const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, size));
      hash->Add(data, piece);
      data += piece;
      size -= piece;
      left -= piece;
      while (current < scan.Candidates.size() && left == 0) next();
    }
  };
  RunArchiverCall(job.RarPath, call, passwordInput, archivers, 0, 0, job.Password, take);
  if (call.Outcome != CallOutcome::Exited || call.ExitCode != 0 || overrun || current != scan.Candidates.size()) {
    return digests;
  }
  return found;
}

ContentFindings FindContent(const BatchJob& job, std::size_t archive, const RunOptions& options,
                            bool withPassword, const std::vector<ListedEntry>& entries,
                            const std::vector<std::wstring>& deleteNames, const std::string& passwordInput,
                            RunningArchivers* archivers, CallResult* printCall) {
  const bool havePassword = withPassword && job.UsePassword;
  const ContentScan scan = ScanForContent(entries, job.Samples, havePassword);
  std::vector<std::optional<std::string>> digests;
  if (!scan.Candidates.empty()) {
    CallResult call = ContentPrintCall(job, archive, options, havePassword, entries, scan, NewListFilePath());
    digests = CompareCandidates(job, call, entries, scan, passwordInput, archivers);
    if (printCall) *printCall = std::move(call);
  }
  return ConcludeContent(entries, job.Samples, scan, digests, deleteNames);
}

}  // namespace rarbatch
