// 预览: lists every archive with the job's predicted effect on it; changes nothing.
#include "ui/preview_window.h"

#include "core/number_text.h"
#include "core/run_report.h"
#include "run/job_runner.h"
#include "ui/child_windows.h"

namespace rarbatch {
namespace {

}  // namespace

PreviewWindow::PreviewWindow(BatchJob job, unsigned workers, std::function<bool(const BatchJob&)> startRun)
    : previewer_(std::move(job), workers ? workers : DefaultWorkerCount(),
                 PreviewEvents{[this](std::size_t i) { PostRowChanged(i); }, [this] { PostWorkEnded(); }}),
      startRun_(std::move(startRun)) {}

PreviewWindow::~PreviewWindow() {
  EndBeforeTheWork();
  // The previewer, destroyed after this, stops and waits for the listings still running.
}

HWND PreviewWindow::Open(HINSTANCE instance, HWND owner) {
  const std::size_t count = previewer_.ArchiveCount();
  std::vector<Row> rows;
  rows.reserve(count);
  for (std::size_t i = 0; i < count; ++i) rows.push_back({previewer_.Job().Archives[i], L"等待", L""});
  shownDone_.assign(count, false);
  emptied_.assign(count, false);
  // 开始处理 stands where the run's 停止 and 重试失败项 stand.
  const std::vector<Button> buttons = {
      {kStartRun, L"开始处理(&S)", 80 + 6 + 96}, {kCopy, L"复制报告", 88}, {kSave, L"保存报告…", 88}, {kClose, L"关闭", 80}};
  if (!Create(instance, owner, {kPreviewTitle, L"预计", L"正在读取压缩包…", L"预览详情"}, std::move(rows), buttons)) {
    return nullptr;
  }
  // Last in the tab order: the table and the report come first.
  SetWindowPos(Control(kStartRun), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EnableWindow(Control(kStartRun), FALSE);
  Listen();
  ShowAndFocus();
  previewer_.Start();
  return Handle();
}

bool PreviewWindow::OnButton(int id) {
  if (id != kStartRun) return false;
  StartRun();
  return true;
}

void PreviewWindow::OnRowChanged(std::size_t archive) {
  if (archive >= previewer_.ArchiveCount() || !previewer_.IsDone(archive)) return;
  const ArchivePreview preview = previewer_.Result(archive);
  const PreviewRow row = DescribePreview(previewer_.Job(), preview);
  emptied_[archive] = PreviewInRed(preview);
  if (!shownDone_[archive]) {
    shownDone_[archive] = true;
    ++doneCount_;
  }
  SetRow(archive, row.State, row.Words);
  SendMessageW(Control(kProgress), PBM_SETPOS, doneCount_, 0);
  const std::wstring line = L"正在读取压缩包：" + Decimal(doneCount_) + L" / " + Decimal(previewer_.ArchiveCount());
  SetWindowTextW(Control(kStatusLine), line.c_str());
}

void PreviewWindow::OnWorkEnded() {
  for (std::size_t i = 0; i < previewer_.ArchiveCount(); ++i) {
    if (!shownDone_[i]) OnRowChanged(i);
  }
  ended_ = true;
  const std::wstring line = FormatPreviewSummary(previewer_.Job(), previewer_.Results(), previewer_.Cost()) +
                            L"。以上只是预览，尚未修改任何压缩包。";
  SetWindowTextW(Control(kStatusLine), line.c_str());
  EnableWindow(Control(kStartRun), TRUE);
}

// Rows whose archive the deletions would empty (the archiver then deletes the file), or whose
// references they would leave without their target, in red.
bool PreviewWindow::RowColours(std::size_t archive, COLORREF& text, COLORREF& back) const {
  if (archive >= emptied_.size() || !emptied_[archive]) return false;
  text = RGB(0xD0, 0, 0);
  back = RGB(0xFF, 0xE4, 0xE4);
  return true;
}

std::wstring PreviewWindow::ReportText() const {
  std::vector<ReportRow> rows;
  const std::vector<ArchivePreview> previews = previewer_.Results();
  for (std::size_t i = 0; i < previews.size(); ++i) {
    if (!previewer_.IsDone(i)) {
      rows.push_back({previews[i].Archive, L"等待", L""});
      continue;
    }
    const PreviewRow row = DescribePreview(previewer_.Job(), previews[i]);
    rows.push_back({previews[i].Archive, row.State, row.Words});
  }
  return FormatReport(rows) + FormatPreviewSummary(previewer_.Job(), previews, previewer_.Cost()) + L"\r\n";
}

std::wstring PreviewWindow::DetailText(std::size_t archive) const {
  if (archive >= previewer_.ArchiveCount()) return {};
  return FormatPreviewDetail(previewer_.Job(), previewer_.Result(archive));
}

void PreviewWindow::StartRun() {
  if (!ended_ || !startRun_) return;
  if (startRun_(previewer_.Job())) DestroyWindow(Handle());
}

}  // namespace rarbatch
