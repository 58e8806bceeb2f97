// The job of 200 archives (one delete, one add, a comment and a lock each) carried out three ways in
// one run, against the stand-in archiver doing a fixed amount of work per call: (a) the script through
// the command interpreter, (b) the program's own runner with one worker, (c) with the default number
// of workers, in the results window as the user sees it. Prints the times, the ratios b/a and c/a,
// and the longest the results window went without handling a message during (c): a second thread
// posts it an empty message every 5 ms, so a gap much longer than that is time it could not answer.
//   job_bench.exe [archives=200] [ms per call=20] [workers for (c)=the default]
// The report goes to error output: standard output is the console that the script's interpreter
// shares and echoes every command to.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/batch_script.h"
#include "run/job_runner.h"
#include "run/script_runner.h"
#include "tools/test_support.h"
#include "ui/results_window.h"

#include <atomic>
#include <thread>

namespace {

using namespace rarbatch;
using Clock = std::chrono::steady_clock;

// Puts every archive back as it was before a run: two entries, no comment, not locked.
bool ResetArchives(const BatchJob& job) {
  testing::FakeArchive archive;
  archive.Entries = {{L"old.txt", L""}, {L"keep.txt", L""}};
  for (const auto& path : job.Archives) {
    if (!testing::WriteFakeArchive(path, archive)) return false;
  }
  return true;
}

// How many archives hold what the job makes of them.
std::size_t EditedArchives(const BatchJob& job) {
  const std::vector<testing::FakeEntry> want{{L"keep.txt", L""}, {L"new.txt", L""}};
  std::size_t edited = 0;
  for (const auto& path : job.Archives) {
    const testing::FakeArchive a = testing::ReadFakeArchive(path);
    if (a.Locked && a.Comment == L"comment" && a.Entries == want) ++edited;
  }
  return edited;
}

double TimeScript(const BatchJob& job, const std::wstring& folder) {
  const auto start = Clock::now();
  UniqueHandle process;
  if (auto error = WriteAndRunScript(folder, ComposeBatchScript(job), &process)) {
    std::fwprintf(stderr, L"script: %ls\n", error->c_str());
    std::exit(1);
  }
  WaitForSingleObject(process.get(), INFINITE);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double TimeRunner(const BatchJob& job, unsigned workers) {
  const auto start = Clock::now();
  JobRunner runner(job, workers, {});
  if (!runner.Start()) {
    std::fwprintf(stderr, L"runner did not start\n");
    std::exit(1);
  }
  runner.Wait();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const RunCounts counts = runner.Counts();
  if (counts.Success != counts.Total) {
    std::fwprintf(stderr, L"runner: %u of %u archives did not succeed\n",
                  static_cast<unsigned>(counts.Total - counts.Success),
                  static_cast<unsigned>(counts.Total));
  }
  return seconds;
}

// (c) as the user runs it: in the results window, with its message loop. Returns the seconds and,
// in `gapMs`, the longest time between two messages the window handled.
double TimeResultsWindow(const BatchJob& job, unsigned workers, unsigned long long& gapMs) {
  const auto start = Clock::now();
  ResultsWindow window(job, workers);
  if (!window.Open(GetModuleHandleW(nullptr), nullptr)) {
    std::fwprintf(stderr, L"the results window did not open\n");
    std::exit(1);
  }
  std::atomic<bool> done{false};
  HWND target = window.Handle();
  std::thread prober([&] {
    while (!done) {
      PostMessageW(target, WM_NULL, 0, 0);
      Sleep(5);
    }
  });
  // The gap is measured here, in the loop, from one message handed out to the next: the prober's
  // messages keep coming every 5 ms, so a long gap is time the window spent handling one.
  MSG message;
  gapMs = 0;
  ULONGLONG last = GetTickCount64();
  while (window.IsRunning() && GetMessageW(&message, nullptr, 0, 0) > 0) {
    const ULONGLONG now = GetTickCount64();
    gapMs = std::max<unsigned long long>(gapMs, now - last);
    last = now;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  done = true;
  prober.join();
  return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int archives = argc > 1 ? _wtoi(argv[1]) : 200;
  const int delayMs = argc > 2 ? _wtoi(argv[2]) : 20;
  SetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_DELAY_MS", std::to_wstring(delayMs).c_str());

  testing::ScratchFolder dir(L"rarbatch job bench");
  BatchJob job;
  job.RarPath = testing::InstallFakeRar(dir.Path());
  for (int i = 0; i < archives; ++i) {
    job.Archives.push_back(dir.Path() + L"archive " + std::to_wstring(i) + L".rar");
  }
  job.DeleteNames = {L"old.txt"};
  job.AddFiles = {dir.Path() + L"new.txt"};
  job.CommentFile = dir.Path() + L"comment.txt";
  job.Lock = true;
  if (!testing::WriteFileBytes(job.AddFiles[0], "new") ||
      !testing::WriteFileBytes(job.CommentFile, "comment")) {
    std::fwprintf(stderr, L"cannot write the files to add\n");
    return 1;
  }
  const unsigned workers = argc > 3 ? static_cast<unsigned>(_wtoi(argv[3])) : DefaultWorkerCount();
  std::fwprintf(stderr, L"job of %d archives, 4 calls each, %d ms of work per call, %u workers\n",
                archives, delayMs, workers);

  struct Way {
    std::wstring name;
    double seconds;
  } ways[] = {{L"(a) script through the command interpreter", 0},
              {L"(b) runner, 1 worker", 0},
              {L"(c) results window, " + std::to_wstring(workers) + L" workers", 0}};
  unsigned long long gapMs = 0;
  for (int way = 0; way < 3; ++way) {
    if (!ResetArchives(job)) {
      std::fwprintf(stderr, L"cannot write the archives\n");
      return 1;
    }
    ways[way].seconds = way == 0   ? TimeScript(job, dir.Path())
                        : way == 1 ? TimeRunner(job, 1)
                                   : TimeResultsWindow(job, workers, gapMs);
    std::fwprintf(stderr, L"%-44ls %8.2f s  %6.1f ms per archive  archives edited: %u/%d\n",
                  ways[way].name.c_str(), ways[way].seconds, 1000 * ways[way].seconds / archives,
                  static_cast<unsigned>(EditedArchives(job)), archives);
  }
  std::fwprintf(stderr, L"b/a = %.2fx (aim: at most 1.05x)\n", ways[1].seconds / ways[0].seconds);
  std::fwprintf(stderr, L"c/a = %.2fx (aim: at most 0.6x on two cores)\n",
                ways[2].seconds / ways[0].seconds);
  std::fwprintf(stderr, L"longest gap between two handled messages of the results window in (c): %llu ms"
                        L" (aim: under 50 ms)\n", gapMs);
  return 0;
}
