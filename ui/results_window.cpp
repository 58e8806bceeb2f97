// 处理结果: runs a job inside the program and shows every archive's result as it comes.
#include "ui/results_window.h"

#include <map>

#include "core/run_report.h"
#include "win/file_identity.h"
#include "win/message_box.h"
#include "win/text.h"

namespace rarbatch {
namespace {

constexpr UINT_PTR kClockTimer = 1;

}  // namespace

ResultsWindow::ResultsWindow(BatchJob job, unsigned workers)
    : backupFolder_(job.Backup ? job.BackupFolder : std::wstring()),
      runner_(std::move(job), workers ? workers : DefaultWorkerCount(),
              JobEvents{[this](std::size_t i) { PostRowChanged(i); }, [this](std::size_t i) { PostRowChanged(i); },
                        [this] { PostWorkEnded(); }}) {}

ResultsWindow::~ResultsWindow() {
  EndBeforeTheWork();
  // The runner, destroyed after this, stops and waits for the archiver calls still running.
}

HWND ResultsWindow::Open(HINSTANCE instance, HWND owner) {
  const std::size_t count = runner_.ArchiveCount();
  std::vector<Row> rows;
  rows.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const ArchiveSummary row = runner_.Row(i);
    rows.push_back({runner_.ArchiveName(i), ArchiveStateName(row.State), row.Detail});
  }
  // 还原 is there only when the run makes backups.
  std::vector<Button> buttons = {{kStop, L"停止", 80}, {kRetry, L"重试失败项", 96}};
  if (HasBackups()) buttons.push_back({kRestore, L"还原", 72});
  buttons.insert(buttons.end(), {{kCopy, L"复制报告", 88}, {kSave, L"保存报告…", 88}, {kClose, L"关闭", 80}});
  if (!Create(instance, owner, {kResultsTitle, L"状态", L"", L"处理详情"}, std::move(rows), buttons)) return nullptr;
  Listen();
  ShowAndFocus();
  startTick_ = GetTickCount64();
  if (runner_.Start()) {
    SetTimer(Handle(), kClockTimer, 1000, nullptr);
  } else {
    endTick_ = startTick_;
  }
  UpdateProgress();
  UpdateButtons();
  return Handle();
}

LRESULT ResultsWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam != kClockTimer) break;
      UpdateProgress();
      return 0;
    case WM_DESTROY:
      KillTimer(Handle(), kClockTimer);
      taskbar_.Show(Owner(), 0, 0, TaskbarProgress::State::None);
      break;  // the table stops listening
    default:
      break;
  }
  return TableWindow::HandleMessage(message, wParam, lParam);
}

bool ResultsWindow::OnButton(int id) {
  switch (id) {
    case kStop: Stop(); return true;
    case kRetry: Retry(); return true;
    case kRestore: Restore(); return true;
    default: return false;
  }
}

void ResultsWindow::OnRowChanged(std::size_t archive) {
  // Only the row's state and words: the calls' output stays with the runner.
  const ArchiveSummary result = runner_.Row(archive);
  SetRow(archive, ArchiveStateName(result.State), result.Detail);
  UpdateProgress();
}

void ResultsWindow::OnWorkEnded() {
  // Rows may still show "running" when their last post is behind this one: bring all up to date.
  for (std::size_t i = 0; i < runner_.ArchiveCount(); ++i) OnRowChanged(i);
  if (runner_.IsRunning()) return;  // a retry started meanwhile
  KillTimer(Handle(), kClockTimer);
  endTick_ = GetTickCount64();
  UpdateProgress();
  UpdateButtons();
  if (closeWhenEnded_) DestroyWindow(Handle());
}

void ResultsWindow::UpdateProgress() {
  const RunCounts counts = runner_.Counts();
  const ULONGLONG end = endTick_ ? endTick_ : GetTickCount64();
  std::wstring line = FormatProgressLine(counts.Done, counts.Total, counts.Success, counts.Warning,
                                         counts.Failure, (end - startTick_) / 1000);
  if (runner_.IsStopping()) {
    line += aborting_ ? L"；正在中止正在运行的压缩程序，压缩包保持原样"
                      : L"；正在停止：等正在运行的压缩程序做完当前操作，再按“停止”立即中止";
  }
  if (WindowText(Control(kStatusLine)) != line) SetWindowTextW(Control(kStatusLine), line.c_str());
  SendMessageW(Control(kProgress), PBM_SETPOS, counts.Done, 0);
  const bool running = runner_.IsRunning();
  const auto state = counts.Failure > 0 ? TaskbarProgress::State::Error
                     : running          ? TaskbarProgress::State::Normal
                     : counts.Stopped > 0 ? TaskbarProgress::State::Paused
                                          : TaskbarProgress::State::Normal;
  taskbar_.Show(Owner(), counts.Done, counts.Total, state);
}

void ResultsWindow::UpdateButtons() {
  const bool running = runner_.IsRunning();
  const RunCounts counts = runner_.Counts();
  EnableWindow(Control(kStop), running && !closeWhenEnded_ && !aborting_);
  // After a restore the archives are as before the run, and a retry would resume in the middle.
  EnableWindow(Control(kRetry), !running && counts.Failure + counts.Stopped > 0 && restoredCells_.empty());
  if (HasBackups()) EnableWindow(Control(kRestore), !running);
  // A disabled button must not keep the focus, or the keyboard goes nowhere.
  KeepFocusUsable();
}

// The first press lets the running calls finish and starts no more; a second press ends them at once.
void ResultsWindow::Stop() {
  if (runner_.IsStopping()) {
    runner_.Abort();
    aborting_ = true;
  } else {
    runner_.Stop();
  }
  UpdateProgress();
  UpdateButtons();
}

bool ResultsWindow::FreeFor(const wchar_t* action) {
  const std::optional<std::wstring> busy = busy_ ? busy_(action) : std::nullopt;
  if (busy) ShowMessage(Handle(), *busy, MB_ICONINFORMATION);
  return !busy;
}

void ResultsWindow::Retry() {
  if (runner_.IsRunning() || !FreeFor(L"重试") || !runner_.Retry()) return;
  aborting_ = false;
  endTick_ = 0;
  startTick_ = GetTickCount64();
  SetTimer(Handle(), kClockTimer, 1000, nullptr);
  for (std::size_t i = 0; i < runner_.ArchiveCount(); ++i) OnRowChanged(i);
  UpdateButtons();
}

// Puts back the archives this run backed up; each row then says whether its archive was restored.
// An archive that was never copied (refused, or its copy failed) keeps its row.
void ResultsWindow::Restore() {
  if (runner_.IsRunning() || !HasBackups()) return;
  const auto outcome = RestoreAfterAsking(Handle(), backupFolder_ + L"\\" + kManifestName, busy_);
  if (!outcome || !outcome->Error.empty()) return;
  // A row finds its archive's restore by the file, whatever spelling either of them uses.
  std::map<std::wstring, const RestoreRow*> restoredFiles;
  for (const RestoreRow& row : outcome->Rows) restoredFiles[SameFileKey(row.Archive)] = &row;
  std::vector<std::pair<std::wstring, std::wstring>> cells(runner_.ArchiveCount());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const ArchiveSummary summary = runner_.Row(i);
    cells[i] = {ArchiveStateName(summary.State), summary.Detail};
    const auto found = restoredFiles.find(SameFileKey(runner_.ArchiveName(i)));
    if (found != restoredFiles.end()) {
      const RestoreRow& row = *found->second;
      cells[i] = row.Restored ? std::pair<std::wstring, std::wstring>{L"已还原", L"已还原为修改前的内容"}
                              : std::pair<std::wstring, std::wstring>{L"还原失败", row.Detail};
    }
    SetRow(i, cells[i].first, cells[i].second);
  }
  restoredCells_ = std::move(cells);
  UpdateButtons();
}

bool ResultsWindow::ConfirmClose() {
  if (!runner_.IsRunning()) return true;
  if (closeWhenEnded_) return true;
  const int answer = AskUser(Handle(),
                             L"仍有压缩包正在处理。\n要停止处理吗？正在运行的压缩程序会被中止，它正在修改的压缩包保持原样。",
                             MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
  if (answer != IDYES) return false;
  closeWhenEnded_ = true;
  runner_.Abort();
  aborting_ = true;
  UpdateProgress();
  UpdateButtons();
  return true;
}

std::wstring ResultsWindow::ReportText() const {
  std::vector<ReportRow> rows;
  rows.reserve(runner_.ArchiveCount());
  for (std::size_t i = 0; i < runner_.ArchiveCount(); ++i) {
    const ArchiveSummary row = runner_.Row(i);
    if (i < restoredCells_.size()) {
      rows.push_back({runner_.ArchiveName(i), restoredCells_[i].first, restoredCells_[i].second});
    } else {
      rows.push_back({runner_.ArchiveName(i), ArchiveStateName(row.State), row.Detail});
    }
  }
  return FormatReport(rows);
}

std::wstring ResultsWindow::DetailText(std::size_t archive) const {
  if (archive >= runner_.ArchiveCount()) return {};
  const ArchiveResult result = runner_.Result(archive);
  return FormatCallDetails(result.Archive, ArchiveStateName(result.State), result.Detail, result.Calls);
}

}  // namespace rarbatch
