// The preview of deleting by content against the preview of deleting by names, in one run, over the
// same archives and with the same archiver: each previewed twice in turn (names, content, names,
// content), the faster of each kept. The names-only job deletes the two entries by their names; the
// content job by a sample of their bytes. Prints the times, their ratio and what each found.
//   content_preview_bench.exe <Rar.exe> <folder of archives> <sample file> <name> <name> [workers] [rounds=2]
// The archives are made by the host (bench/content_preview.sh), since making them through Wine is slow.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "core/batch_script.h"
#include "core/preview_model.h"
#include "run/archive_preview.h"
#include "run/job_runner.h"
#include "win/file_hash.h"
#include "win/file_ops.h"

namespace {

using namespace rarbatch;
using Clock = std::chrono::steady_clock;

struct Timed {
  double Seconds = 0;
  std::size_t Removed = 0;    // entries the deletions would take, over all archives
  std::size_t Unlisted = 0;   // archives that could not be previewed
};

Timed TimePreview(const BatchJob& job, unsigned workers) {
  const auto start = Clock::now();
  JobPreviewer previewer(job, workers, {});
  previewer.Start();
  previewer.Wait();
  Timed timed;
  timed.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (const ArchivePreview& preview : previewer.Results()) {
    timed.Removed += preview.Removed.size();
    if (preview.Listed) continue;
    ++timed.Unlisted;
    // In UTF-8: the C library's own conversion stops at the first character of another code page.
    const std::wstring line = L"not previewed: " + preview.Archive + L": " + preview.ListProblem + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), size, nullptr, nullptr);
    std::fflush(stderr);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  }
  return timed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 6) {
    std::fwprintf(stderr, L"usage: content_preview_bench <Rar.exe> <folder> <sample> <name> <name> [workers]\n");
    return 2;
  }
  BatchJob names;
  names.RarPath = argv[1];
  const std::wstring folder = std::wstring(argv[2]) + L"\\";
  for (const std::wstring& file : FilesMatching(folder, L"*.rar")) names.Archives.push_back(file);
  std::sort(names.Archives.begin(), names.Archives.end());
  names.DeleteNames = {argv[4], argv[5]};
  BatchJob content = names;
  content.DeleteNames.clear();
  DWORD error = 0;
  const std::optional<ContentSample> sample = SampleOfFile(argv[3], &error);
  if (!sample) {
    std::fwprintf(stderr, L"cannot read the sample (%lu)\n", error);
    return 2;
  }
  content.Samples = {*sample};
  const unsigned workers = argc > 6 ? static_cast<unsigned>(std::wcstoul(argv[6], nullptr, 10)) : DefaultWorkerCount();
  Timed bestNames, bestContent;
  bestNames.Seconds = bestContent.Seconds = 1e9;
  const int rounds = argc > 7 ? std::wcstol(argv[7], nullptr, 10) : 2;
  for (int round = 0; round < rounds; ++round) {
    const Timed byNames = TimePreview(names, workers);
    const Timed byContent = TimePreview(content, workers);
    if (byNames.Seconds < bestNames.Seconds) bestNames = byNames;
    if (byContent.Seconds < bestContent.Seconds) bestContent = byContent;
    std::fwprintf(stderr, L"round %d: names %.2f s, content %.2f s\n", round + 1, byNames.Seconds, byContent.Seconds);
  }
  std::fwprintf(stderr,
                L"%zu archives, %u workers\n"
                L"preview by names:   %.2f s, %zu entries taken, %zu archives not previewed\n"
                L"preview by content: %.2f s, %zu entries taken, %zu archives not previewed\n"
                L"content / names: %.2f\n",
                names.Archives.size(), workers, bestNames.Seconds, bestNames.Removed, bestNames.Unlisted,
                bestContent.Seconds, bestContent.Removed, bestContent.Unlisted,
                bestContent.Seconds / bestNames.Seconds);
  return bestNames.Removed == bestContent.Removed && bestContent.Unlisted == 0 ? 0 : 1;
}
