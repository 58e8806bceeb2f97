// 处理结果: the window that runs a job inside the program and shows every archive's result as it
// comes. It belongs to the main window (stays above it, minimizes with it), which stays usable.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "core/batch_script.h"
#include "run/archive_preview.h"
#include "run/job_runner.h"
#include "ui/restore.h"
#include "win/handles.h"
#include "win/taskbar.h"
#include "win/window.h"

namespace rarbatch {

inline constexpr wchar_t kResultsTitle[] = L"处理结果";

// The title of the window in its preview mode, which shows what the job would do and changes nothing.
inline constexpr wchar_t kPreviewTitle[] = L"预览";

// The message shown when the generate button is pressed while a job still runs in the program.
inline constexpr wchar_t kRunStillGoingMessage[] = L"上一次的处理仍在进行，请等它结束后再生成。";

class ResultsWindow : public Window {
 public:
  // Control identifiers, for tests that press the buttons.
  enum ControlId : int {
    kTable = 200,   // the list view: 压缩包, 状态, 说明
    kProgress,      // the progress bar
    kStatusLine,    // "已完成 …"
    kStop,          // 停止
    kRetry,         // 重试失败项
    kCopy,          // 复制报告
    kSave,          // 保存报告…
    kClose,         // 关闭
    kRestore = 230,  // 还原: the archives from the run's backups, after a run that made them
  };

  // In the preview: starts the real run of the previewed job.
  static constexpr int kStartRun = 220;

  // `workers` 0 means DefaultWorkerCount().
  explicit ResultsWindow(BatchJob job, unsigned workers = 0);

  // The preview mode: every archive is listed and the job's effect predicted; nothing is changed.
  // `startRun` is called with the previewed job when the user asks for the real run; when it returns
  // true (the run has started elsewhere) the preview closes.
  static std::unique_ptr<ResultsWindow> ForPreview(BatchJob job, unsigned workers,
                                                   std::function<bool(const BatchJob&)> startRun);
  bool IsPreview() const { return previewer_ != nullptr; }
  // The preview's predictions so far (empty outside the preview mode), and whether all are in.
  std::vector<ArchivePreview> Previews() const;
  bool PreviewDone() const { return previewer_ && !previewer_->IsRunning() && previewEnded_; }
  ~ResultsWindow() override;

  // Creates the window owned by `owner`, shows it and starts the job. Null on failure.
  HWND Open(HINSTANCE instance, HWND owner);

  // Whether archiver calls are still going on.
  bool IsRunning() const { return runner_.IsRunning(); }
  // Whether the preview still reads archives.
  bool IsPreviewing() const { return previewer_ && previewer_->IsRunning(); }
  // What 重试 and 还原 ask before they touch the archives; without one they only ask this window.
  void SetBusyCheck(BusyCheck busy) { busy_ = std::move(busy); }
  // Asks the user whether to stop when work is going on; true when the window may close now or will
  // close once the running calls end (the user chose to stop), false when the user chose to go on.
  bool ConfirmClose();

  // Whether the run made backups that 还原 puts back.
  bool HasBackups() const { return !backupFolder_.empty(); }

  // The table as the copy and save buttons hand it out.
  std::wstring ReportText() const;
  // Writes the report to `path` as UTF-8 text; the error message, or empty on success.
  std::wstring SaveReport(const std::wstring& path) const;
  // The detail text of one row: its command lines, exit codes and output.
  std::wstring DetailText(std::size_t row) const;


 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnFailure(const char* what) noexcept override;

  // A row of the table as it is first shown.
  struct TableRow {
    std::wstring Archive, State, Words;
  };
  // The window, owned by `owner` and sized for its DPI, with the table (压缩包, `stateColumn`, 说明)
  // holding a row per archive, the progress bar, the status line and the buttons, those `hidden` says
  // made hidden and out of the tab order. False, with nothing left, on failure.
  bool CreateWindowAndTable(HINSTANCE instance, HWND owner, const wchar_t* title, const wchar_t* stateColumn,
                            const wchar_t* statusText, std::size_t count,
                            const std::function<TableRow(std::size_t)>& row, const std::function<bool(int)>& hidden);
  // Fonts for the DPI, shown, the table focused, the clock started.
  void ShowAndFocus();
  void ApplyDpi(unsigned dpi);
  void Layout();
  void OnArchiveChanged(std::size_t archive);
  void OnRunEnded();
  void OnCommand(int id);
  void UpdateProgress();
  void UpdateButtons();
  void ShowDetail(int row);
  void CopyReport();
  void SaveReportAs();
  void Stop();
  void Retry();
  void Restore();

  // The preview mode.
  HWND OpenPreview(HINSTANCE instance, HWND owner);
  void OnPreviewChanged(std::size_t archive);
  void OnPreviewEnded();
  void LayoutPreview();
  LRESULT PreviewCustomDraw(LPARAM lParam);
  std::wstring PreviewReportText() const;
  void StartRun();

  // The run's backup folder, empty when it made no backups. Before the runner, which takes the job.
  const std::wstring backupFolder_;
  // A row's 状态 and 说明 once 还原 has put its archive back (or failed to); empty before.
  std::vector<std::pair<std::wstring, std::wstring>> restoredCells_;
  // Where the workers post their progress; cleared when the window goes. Declared before the runner,
  // whose workers read it, so that it outlives them.
  std::atomic<HWND> postTarget_{nullptr};
  JobRunner runner_;
  unsigned dpi_ = USER_DEFAULT_SCREEN_DPI;
  UniqueFont font_;
  TaskbarProgress taskbar_;
  HWND owner_ = nullptr;
  ULONGLONG startTick_ = 0;
  ULONGLONG endTick_ = 0;  // when the last run ended; 0 while running
  bool closeWhenEnded_ = false;
  bool aborting_ = false;  // 停止 was pressed twice, or the window closed during work
  std::unique_ptr<class DetailWindow> detail_;
  // The preview mode's work and its button's action; null and empty outside it.
  std::unique_ptr<JobPreviewer> previewer_;
  std::function<bool(const BatchJob&)> startRun_;
  bool previewEnded_ = false;
  BusyCheck busy_;
  // False, after telling the user why, when something else is at work on the archives.
  bool FreeFor(const wchar_t* action);
};

}  // namespace rarbatch
