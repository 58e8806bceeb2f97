// 处理结果: the window that runs a job inside the program and shows every archive's result as it
// comes. It belongs to the main window (stays above it, minimizes with it), which stays usable.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "core/batch_script.h"
#include "run/job_runner.h"
#include "ui/restore.h"
#include "ui/table_window.h"
#include "win/taskbar.h"

namespace rarbatch {

inline constexpr wchar_t kResultsTitle[] = L"处理结果";

// The message shown when the generate button is pressed while a job still runs in the program.
inline constexpr wchar_t kRunStillGoingMessage[] = L"上一次的处理仍在进行，请等它结束后再生成。";

class ResultsWindow : public TableWindow {
 public:
  // The run's own buttons, for tests that press them.
  enum RunControlId : int {
    kStop = 203,     // 停止
    kRetry = 204,    // 重试失败项
    kRestore = 230,  // 还原: the archives from the run's backups, after a run that made them
  };

  // `workers` 0 means DefaultWorkerCount().
  explicit ResultsWindow(BatchJob job, unsigned workers = 0);
  ~ResultsWindow() override;

  // Creates the window owned by `owner`, shows it and starts the job. Null on failure.
  HWND Open(HINSTANCE instance, HWND owner);

  // Whether archiver calls are still going on.
  bool IsRunning() const { return runner_.IsRunning(); }
  // What 重试 and 还原 ask before they touch the archives; without one they only ask this window.
  void SetBusyCheck(BusyCheck busy) { busy_ = std::move(busy); }
  // Asks the user whether to stop when work is going on; true when the window may close now or will
  // close once the running calls end (the user chose to stop), false when the user chose to go on.
  bool ConfirmClose() override;

  // Whether the run made backups that 还原 puts back.
  bool HasBackups() const { return !backupFolder_.empty(); }

  std::wstring ReportText() const override;
  // The detail text of one archive: its command lines, exit codes and output.
  std::wstring DetailText(std::size_t archive) const override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  bool OnButton(int id) override;
  bool MayCloseAtOnce() const override { return !runner_.IsRunning(); }

  void OnRowChanged(std::size_t archive) override;
  void OnWorkEnded() override;
  void UpdateProgress();
  void UpdateButtons();
  void Stop();
  void Retry();
  void Restore();
  // False, after telling the user why, when something else is at work on the archives.
  bool FreeFor(const wchar_t* action);

  // The run's backup folder, empty when it made no backups. Before the runner, which takes the job.
  const std::wstring backupFolder_;
  // A row's 状态 and 说明 once 还原 has put its archive back (or failed to); empty before.
  std::vector<std::pair<std::wstring, std::wstring>> restoredCells_;
  JobRunner runner_;
  TaskbarProgress taskbar_;
  ULONGLONG startTick_ = 0;
  ULONGLONG endTick_ = 0;  // when the last run ended; 0 while running
  bool closeWhenEnded_ = false;
  bool aborting_ = false;  // 停止 was pressed twice, or the window closed during work
  BusyCheck busy_;
};

}  // namespace rarbatch
