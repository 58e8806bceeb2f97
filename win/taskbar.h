// Progress on a window's taskbar button, where the system offers it (ITaskbarList3, Windows 7 on).
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstddef>

namespace rarbatch {

class TaskbarProgress {
 public:
  enum class State { None, Normal, Error, Paused };

  // Asks the system for the taskbar; without one, every call does nothing. Needs COM on the thread.
  TaskbarProgress();
  ~TaskbarProgress();
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  bool Available() const { return taskbar_ != nullptr; }
  // Shows `done` of `total` on the button of `window`, in `state`; State::None clears it.
  void Show(HWND window, std::size_t done, std::size_t total, State state);

 private:
  ITaskbarList3* taskbar_ = nullptr;
};

}  // namespace rarbatch
