#include "win/threads.h"

namespace rarbatch {

namespace {

// Counts since `start` and counts per second.
std::pair<unsigned long long, unsigned long long> Since(const LARGE_INTEGER& start) {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return {static_cast<unsigned long long>(now.QuadPart - start.QuadPart),
          static_cast<unsigned long long>(frequency.QuadPart)};
}

}  // namespace

double Stopwatch::Seconds() const noexcept {
  const auto [counts, perSecond] = Since(start_);
  return static_cast<double>(counts) / static_cast<double>(perSecond);
}

unsigned long long Stopwatch::Milliseconds() const noexcept {
  const auto [counts, perSecond] = Since(start_);
  // In two steps, so that counts * 1000 cannot overflow however long it has run.
  return counts / perSecond * 1000 + counts % perSecond * 1000 / perSecond;
}

}  // namespace rarbatch
