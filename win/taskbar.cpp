// Progress on a window's taskbar button, where the system offers it.
#include "win/taskbar.h"

namespace rarbatch {

TaskbarProgress::TaskbarProgress() {
  ITaskbarList3* taskbar = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(&taskbar))) ||
      !taskbar) {
    return;
  }
  if (FAILED(taskbar->HrInit())) {
    taskbar->Release();
    return;
  }
  taskbar_ = taskbar;
}

TaskbarProgress::~TaskbarProgress() {
  if (taskbar_) taskbar_->Release();
}

void TaskbarProgress::Show(HWND window, std::size_t done, std::size_t total, State state) {
  if (!taskbar_ || !window) return;
  if (state == State::None || total == 0) {
    taskbar_->SetProgressState(window, TBPF_NOPROGRESS);
    return;
  }
  const TBPFLAG flag = state == State::Error ? TBPF_ERROR : state == State::Paused ? TBPF_PAUSED : TBPF_NORMAL;
  taskbar_->SetProgressState(window, flag);
  taskbar_->SetProgressValue(window, done, total);
}

}  // namespace rarbatch
