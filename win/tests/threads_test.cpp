// The programs' threads, mutex, condition and stopwatch: work runs on its own thread and is done when
// Join returns, the mutex keeps increments from being lost, a waiter wakes for a change made under
// the lock, and elapsed time is measured in the right unit.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "win/threads.h"

namespace rarbatch {
namespace {

TEST(Thread, RunsItsWorkOnAnotherThreadAndJoinWaitsForIt) {
  const DWORD self = GetCurrentThreadId();
  DWORD ranOn = 0;
  bool done = false;
  Thread thread;
  EXPECT_FALSE(thread.Joinable());
  thread.Join();  // nothing to wait for
  ASSERT_TRUE(thread.Start([&] {
    Sleep(50);
    ranOn = GetCurrentThreadId();
    done = true;
  }));
  EXPECT_TRUE(thread.Joinable());
  EXPECT_FALSE(thread.Start([] {})) << "a second start before the join";
  thread.Join();
  EXPECT_FALSE(thread.Joinable());
  EXPECT_TRUE(done);
  EXPECT_NE(ranOn, self);
  ASSERT_TRUE(thread.Start([&] { done = false; })) << "joined, it starts again";
  thread.Join();
  EXPECT_FALSE(done);
}

TEST(Thread, MovesWithTheThreadAndFreesItsWork) {
  auto held = std::make_shared<int>(7);
  std::vector<Thread> threads(1);
  ASSERT_TRUE(threads[0].Start([held] {}));
  threads.resize(20);  // moves the started one
  ASSERT_TRUE(threads[0].Joinable());
  Thread moved = std::move(threads[0]);
  EXPECT_FALSE(threads[0].Joinable());
  moved.Join();
  EXPECT_EQ(held.use_count(), 1) << "the work's copy of its captures is destroyed when it ends";
}

TEST(Mutex, NoIncrementIsLost) {
  Mutex mutex;
  long long total = 0;
  constexpr int kThreads = 4;
  constexpr int kEach = 20000;
  std::vector<Thread> threads(kThreads);
  for (Thread& thread : threads) {
    ASSERT_TRUE(thread.Start([&] {
      for (int i = 0; i < kEach; ++i) {
        const std::lock_guard hold(mutex);
        const long long seen = total;
        if (i % 1000 == 0) SwitchToThread();  // invite another thread in between read and write
        total = seen + 1;
      }
    }));
  }
  for (Thread& thread : threads) thread.Join();
  EXPECT_EQ(total, static_cast<long long>(kThreads) * kEach);
  EXPECT_TRUE(mutex.try_lock());
  mutex.unlock();
}

TEST(Condition, WaiterWakesForAChangeAndHoldsTheLockAgain) {
  Mutex mutex;
  Condition changed;
  int stage = 0;
  Thread waiter;
  ASSERT_TRUE(waiter.Start([&] {
    HeldLock lock(mutex);
    while (stage != 1) changed.Wait(lock);
    stage = 2;  // under the lock again
    changed.NotifyAll();
  }));
  {
    HeldLock lock(mutex);
    lock.Unlock();
    Sleep(20);  // the waiter is most likely waiting now; if not, it sees the change first
    lock.Lock();
    stage = 1;
    changed.NotifyAll();
    while (stage != 2) changed.Wait(lock);
  }
  waiter.Join();
  EXPECT_EQ(stage, 2);
  EXPECT_TRUE(mutex.try_lock()) << "both locks were let go at the end of their scopes";
  mutex.unlock();
}

TEST(Stopwatch, MeasuresSecondsAndMilliseconds) {
  const Stopwatch watch;
  Sleep(120);
  const unsigned long long ms = watch.Milliseconds();
  const double seconds = watch.Seconds();
  EXPECT_GE(ms, 100u);
  EXPECT_LT(ms, 5000u);
  EXPECT_GE(seconds, 0.1);
  EXPECT_LT(seconds, 5.0);
  EXPECT_GE(seconds * 1000, static_cast<double>(ms) - 1) << "the same clock in both units";
}

}  // namespace
}  // namespace rarbatch
