// Threads, a mutex, a condition and a clock on the system's own primitives (SRW locks, condition
// variables, _beginthreadex, the performance counter). With this toolchain std::thread, std::mutex,
// std::condition_variable, std::call_once, thread_local and steady_clock all stand on a POSIX threads
// layer that adds some 45 KB to each program; these cover what the programs use of them.
#pragma once

#include <windows.h>

#include <process.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>  // std::lock_guard, which takes a Mutex
#include <utility>

namespace rarbatch {

// A mutex for std::lock_guard. Not recursive: the thread that locks it unlocks it.
class Mutex {
 public:
  constexpr Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock() noexcept { AcquireSRWLockExclusive(&lock_); }
  void unlock() noexcept { ReleaseSRWLockExclusive(&lock_); }
  bool try_lock() noexcept { return TryAcquireSRWLockExclusive(&lock_) != 0; }

 private:
  friend class Condition;
  SRWLOCK lock_ = SRWLOCK_INIT;
};

// A mutex held for a scope that can be let go and taken again within it, around slow work; it is
// released at the scope's end if held then.
class HeldLock {
 public:
  explicit HeldLock(Mutex& mutex) noexcept : mutex_(mutex) { mutex_.lock(); }
  ~HeldLock() {
    if (held_) mutex_.unlock();
  }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;

  void Lock() noexcept {
    mutex_.lock();
    held_ = true;
  }
  void Unlock() noexcept {
    held_ = false;
    mutex_.unlock();
  }

 private:
  friend class Condition;
  Mutex& mutex_;
  bool held_ = true;
};

// Threads waiting on a mutex's state. As with any condition variable, a wait can end without a
// notification: wait in a loop that tests the state.
class Condition {
 public:
  constexpr Condition() = default;
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;

  // Lets `lock` go, waits, and holds it again before returning.
  void Wait(HeldLock& lock) noexcept { SleepConditionVariableSRW(&condition_, &lock.mutex_.lock_, INFINITE, 0); }
  void NotifyAll() noexcept { WakeAllConditionVariable(&condition_); }

 private:
  CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

// A thread of the program. As with std::thread, it must be joined before it is destroyed or replaced
// (the program ends otherwise), and an exception that escapes its work ends the program.
class Thread {
 public:
  Thread() = default;
  Thread(Thread&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Thread& operator=(Thread&& other) noexcept {
    if (handle_) std::terminate();
    handle_ = std::exchange(other.handle_, nullptr);
    return *this;
  }
  ~Thread() {
    if (handle_) std::terminate();
  }

  // Runs `work` on a new thread. False, with nothing started, when the system starts no thread (or
  // this one has not been joined yet).
  template <typename Work>
  bool Start(Work work) {
    if (handle_) return false;
    auto owned = std::make_unique<Work>(std::move(work));
    const std::uintptr_t handle = _beginthreadex(nullptr, 0, &Run<Work>, owned.get(), 0, nullptr);
    if (handle == 0) return false;
    owned.release();  // the thread owns it now
    handle_ = reinterpret_cast<HANDLE>(handle);
    return true;
  }

  bool Joinable() const noexcept { return handle_ != nullptr; }
  // Waits for the thread to end; nothing when it was never started or is joined already.
  void Join() noexcept {
    if (!handle_) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  template <typename Work>
  static unsigned __stdcall Run(void* work) noexcept {
    const std::unique_ptr<Work> owned(static_cast<Work*>(work));
    (*owned)();
    return 0;
  }

  HANDLE handle_ = nullptr;
};

// Time since it was made, from the performance counter, which never goes back.
class Stopwatch {
 public:
  Stopwatch() noexcept { QueryPerformanceCounter(&start_); }
  double Seconds() const noexcept;
  // Whole milliseconds, rounded down.
  unsigned long long Milliseconds() const noexcept;

 private:
  LARGE_INTEGER start_;
};

}  // namespace rarbatch
