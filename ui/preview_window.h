// 预览: the window that lists every archive of a job with what the job would do to it, and changes
// nothing; 开始处理 hands the previewed job over to a real run. It belongs to the main window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "core/batch_script.h"
#include "run/archive_preview.h"
#include "ui/table_window.h"

namespace rarbatch {

inline constexpr wchar_t kPreviewTitle[] = L"预览";

class PreviewWindow : public TableWindow {
 public:
  // Starts the real run of the previewed job.
  static constexpr int kStartRun = 220;

  // `startRun` is called with the previewed job when the user asks for the real run; when it returns
  // true (the run has started elsewhere) the preview closes. `workers` 0 means DefaultWorkerCount().
  PreviewWindow(BatchJob job, unsigned workers, std::function<bool(const BatchJob&)> startRun);
  ~PreviewWindow() override;

  // Creates the window owned by `owner`, shows it and starts reading the archives. Null on failure.
  HWND Open(HINSTANCE instance, HWND owner);

  // Whether the preview still reads archives.
  bool IsPreviewing() const { return previewer_.IsRunning(); }
  // The predictions so far, and whether all are in.
  std::vector<ArchivePreview> Previews() const { return previewer_.Results(); }
  bool PreviewDone() const { return ended_ && !previewer_.IsRunning(); }

  std::wstring ReportText() const override;
  // The detail of one archive: its predicted state, then every entry taken, added and replaced.
  std::wstring DetailText(std::size_t archive) const override;

 private:
  bool OnButton(int id) override;
  bool MayCloseAtOnce() const override { return true; }
  bool RowColours(std::size_t archive, COLORREF& text, COLORREF& back) const override;

  void OnRowChanged(std::size_t archive) override;
  void OnWorkEnded() override;
  void StartRun();

  JobPreviewer previewer_;
  std::function<bool(const BatchJob&)> startRun_;
  std::vector<bool> shownDone_;  // rows that show their prediction
  std::vector<bool> emptied_;    // rows whose archive the deletions would empty: shown in red
  std::size_t doneCount_ = 0;
  bool ended_ = false;
};

}  // namespace rarbatch
