// The memory a large run takes in the results window: a job over many archives (32,767 by default,
// the most a list holds) run against the stand-in archiver, every tenth archive failing, as the user
// runs it. The archives lie in folders of 256: Wine looks a missing name up by reading the whole
// folder, and the stand-in looks for two that are missing on every call. Prints the time, the peak working set and the peak of private memory of this process
// (the window, the runner and every row), and what each archive costs.
//   run_memory_bench.exe [archives=32767] [workers=the default]
#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/batch_script.h"
#include "tools/test_support.h"
#include "ui/results_window.h"

namespace {

using namespace rarbatch;

struct Memory {
  double PeakWorkingSetMb = 0, PeakPrivateMb = 0, PrivateMb = 0;
};

Memory Measure() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  const double mb = 1024.0 * 1024.0;
  return {counters.PeakWorkingSetSize / mb, counters.PeakPagefileUsage / mb, counters.PagefileUsage / mb};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int archives = argc > 1 ? _wtoi(argv[1]) : 32767;
  const unsigned workers = argc > 2 ? static_cast<unsigned>(_wtoi(argv[2])) : 0;

  testing::ScratchFolder dir(L"rarbatch memory bench");
  BatchJob job;
  job.RarPath = testing::InstallFakeRar(dir.Path());
  job.DeleteNames = {L"old.txt"};
  job.Lock = true;
  testing::FakeArchive archive;
  archive.Entries = {{L"old.txt", L""}, {L"keep.txt", L""}};
  const auto makeStart = std::chrono::steady_clock::now();
  for (int i = 0; i < archives; ++i) {
    const std::wstring folder = dir.Path() + L"文件夹 " + std::to_wstring(i / 256) + L"\\";
    if (i % 256 == 0) CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"压缩包 " + std::to_wstring(i) + L".rar";
    if (!testing::WriteFakeArchive(path, archive) || (i % 10 == 9 && !testing::ForceExitCode(path, 3))) {
      std::fwprintf(stderr, L"could not make %ls\n", path.c_str());
      return 1;
    }
    job.Archives.push_back(path);
  }
  const double makeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - makeStart).count();
  const Memory before = Measure();

  const auto start = std::chrono::steady_clock::now();
  unsigned long long failures = 0;
  {
    ResultsWindow window(job, workers);
    if (!window.Open(GetModuleHandleW(nullptr), nullptr)) {
      std::fwprintf(stderr, L"the results window did not open\n");
      return 1;
    }
    MSG message;
    while (window.IsRunning() && GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    // The rows still waiting in the queue are drawn before the memory is read.
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const std::wstring report = window.ReportText();
    for (std::size_t at = report.find(L"\t失败"); at != std::wstring::npos; at = report.find(L"\t失败", at + 1)) ++failures;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const Memory after = Measure();
  std::fwprintf(stderr,
                L"archives %d (made in %.0f s), failed %llu, run %.0f s\n"
                L"private before the run %.1f MB; peak working set %.1f MB, peak private %.1f MB\n"
                L"peak private above the start: %.1f MB, %.2f KB per archive\n",
                archives, makeSeconds, failures, seconds, before.PrivateMb, after.PeakWorkingSetMb, after.PeakPrivateMb,
                after.PeakPrivateMb - before.PrivateMb,
                (after.PeakPrivateMb - before.PrivateMb) * 1024.0 / (archives > 0 ? archives : 1));
  return 0;
}
