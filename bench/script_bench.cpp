// Composing scripts of 1, 1,000 and 32,767 archives, against copying the same number of characters.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "core/batch_script.h"

namespace {

rarbatch::BatchJob MakeJob(int archives) {
  rarbatch::BatchJob job;
  job.RarPath = L"C:\\Tools\\Rar.exe";
  for (int i = 0; i < archives; ++i) {
    job.Archives.push_back(L"D:\\archives\\batch " + std::to_wstring(i / 1000) + L"\\archive_" +
                           std::to_wstring(i) + L".rar");
  }
  for (int i = 0; i < 10; ++i) {
    job.DeleteNames.push_back(L"old_" + std::to_wstring(i) + L".txt");
    job.AddFiles.push_back(L"D:\\new files\\file_" + std::to_wstring(i) + L".txt");
  }
  job.CommentFile = L"D:\\comment.txt";
  job.Lock = true;
  return job;
}

// Times composition and a plain copy of as many characters in the same loop, so the ratio between
// them holds for this machine and this run.
void ComposeVersusCopy(benchmark::State& state) {
  const rarbatch::BatchJob job = MakeJob(static_cast<int>(state.range(0)));
  const std::wstring reference = rarbatch::ComposeBatchScript(job);
  using Clock = std::chrono::steady_clock;
  Clock::duration composeTime{}, copyTime{};
  for (auto _ : state) {
    const auto t0 = Clock::now();
    std::wstring text = rarbatch::ComposeBatchScript(job);
    benchmark::DoNotOptimize(text.data());
    const auto t1 = Clock::now();
    std::wstring copy(reference.data(), reference.size());
    benchmark::DoNotOptimize(copy.data());
    const auto t2 = Clock::now();
    composeTime += t1 - t0;
    copyTime += t2 - t1;
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  const double chars = static_cast<double>(reference.size()) * static_cast<double>(state.iterations());
  state.counters["chars"] = static_cast<double>(reference.size());
  state.counters["chars_per_s"] =
      chars / std::chrono::duration<double>(composeTime).count();
  state.counters["x_copy"] = std::chrono::duration<double>(composeTime).count() /
                             std::chrono::duration<double>(copyTime).count();
}
BENCHMARK(ComposeVersusCopy)->Arg(1)->Arg(1000)->Arg(32767)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
