// The main window's system menu: saving and opening job files, and restoring archives from a backup
// manifest, which the fixed layout has no room for.
#include "ui/main_window.h"

#include <windowsx.h>

#include "core/job_file.h"
#include "core/number_text.h"
#include "dialogs/file_picker.h"
#include "lists/item_list.h"
#include "ui/layout.h"
#include "ui/reports.h"
#include "ui/restore.h"
#include "win/error_text.h"
#include "win/message_box.h"
#include "win/saved_files.h"
#include "win/text.h"

namespace rarbatch {
namespace {

// The job commands on the window's system menu: the fixed layout has no room for two more buttons.
// WM_SYSCOMMAND keeps the low four bits of an identifier for the system, so they stay 0, and the
// identifiers are below the system's own (0xF000).
constexpr UINT kSaveJobCommand = 0x1000;
constexpr UINT kOpenJobCommand = 0x1010;

// The system menu's own command: restore archives from a backup manifest. A system command's low
// four bits are the system's, and ours stay below SC_SIZE.
constexpr UINT kRestoreCommand = 0x0110;

}  // namespace

void MainWindow::AddSystemMenuCommands() {
  HMENU menu = GetSystemMenu(Handle(), FALSE);
  if (!menu) return;
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kSaveJobCommand, L"保存任务…");
  AppendMenuW(menu, MF_STRING, kOpenJobCommand, L"打开任务…");
  // Restoring from a manifest at any time, also after the program was closed since the run.
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kRestoreCommand, L"从备份还原压缩包(&R)…");
}

bool MainWindow::OnSystemCommand(WPARAM command) {
  switch (command & 0xFFF0) {
    case kSaveJobCommand:
      Guarded(L"保存任务", &MainWindow::SaveJob_Click);
      return true;
    case kOpenJobCommand:
      Guarded(L"打开任务", &MainWindow::OpenJob_Click);
      return true;
    case kRestoreCommand:
      Guarded(L"从备份还原压缩包", &MainWindow::RestoreFromBackup);
      return true;
    default:
      return false;
  }
}

std::wstring MainWindow::LoadJobFile(const std::wstring& path) {
  const SmallFile file = ReadSmallFile(path, kMaxJobFileBytes);
  if (file.TooLarge) return *JobFileSizeRefusal(file.Size);
  if (file.Error != ERROR_SUCCESS) return DescribeFailure(L"无法读取任务文件", path, file.Error);
  JobFileRead read = ReadJobFile(file.Bytes);
  if (!read.Saved) return read.Refusal;
  const SavedJob& saved = *read.Saved;
  // Every list fits (the reader refuses more than a list takes), so the job replaces the window's
  // whole.
  SetWindowTextW(Control(Text1), saved.Job.RarPath.c_str());
  const std::pair<int, const std::vector<std::wstring>*> lists[] = {
      {List2, &saved.Job.Archives}, {List1, &saved.Job.DeleteNames}, {List3, &saved.Job.AddFiles}};
  std::wstring shortOf;
  for (const auto& [id, items] : lists) {
    Clear(Control(id));
    const int appended = AppendMany(Control(id), *items);
    if (static_cast<std::size_t>(appended) < items->size() && shortOf.empty()) {
      shortOf = L"系统内存不足：一个列表只加入了 " + Decimal(appended) + L" 项（共 " +
                Decimal(items->size()) + L" 项）。请不要运行这个不完整的任务。";
    }
  }
  SetWindowTextW(Control(Text3), saved.Job.CommentFile.c_str());
  SetWindowTextW(Control(Text4), L"");
  Button_SetCheck(Control(Check1), saved.Job.Lock ? BST_CHECKED : BST_UNCHECKED);
  Button_SetCheck(Control(Check2), saved.Job.UsePassword ? BST_CHECKED : BST_UNCHECKED);
  Button_SetCheck(Control(Check3), saved.RunInWindow ? BST_CHECKED : BST_UNCHECKED);
  Button_SetCheck(Control(Check4), saved.Job.Backup ? BST_CHECKED : BST_UNCHECKED);
  Button_SetCheck(Control(Check5), saved.Job.KeepTimes ? BST_CHECKED : BST_UNCHECKED);
  Button_SetCheck(Control(Check6), saved.Job.TestBeforeLock ? BST_CHECKED : BST_UNCHECKED);
  Check3_Click();
  SetSamples(saved.Job.Samples);
  backupParent_ = saved.BackupParent;
  runOptions_ = saved.RunOptions;
  return shortOf;
}

void MainWindow::OpenJobFile(const std::wstring& path) noexcept {
  // Called from a drop and from the start as well as from the menu: nothing it throws goes further.
  try {
    const std::wstring refusal = LoadJobFile(path);
    if (!refusal.empty()) {
      ShowMessage(Handle(), L"没有打开任务：" + path + L"\n" + refusal + L"\n窗口中的内容保持不变。", MB_ICONWARNING);
    }
  } catch (...) {
    MessageBoxW(Handle(), L"没有打开任务：内存不足。", kAppTitle, MB_OK | MB_ICONERROR);
  }
}

std::wstring MainWindow::SaveJobFile(const std::wstring& path) const {
  SavedJob saved;
  saved.Job = GatherJob();
  saved.Job.Password.clear();
  saved.RunInWindow = Button_GetCheck(Control(Check3)) == BST_CHECKED;
  saved.BackupParent = backupParent_;
  saved.RunOptions = runOptions_;
  std::wstring why;
  const auto bytes = WriteJobFile(saved, &why);
  if (!bytes) return why;
  const DWORD error = ReplaceFileContents(path, *bytes);
  if (error != ERROR_SUCCESS) return DescribeFailure(L"无法保存任务文件", path, error);
  return {};
}

void MainWindow::SaveJob_Click() {
  PickedFile picked = PickSaveFile(Handle(), kPickJobToSave, L"任务.rbjob");
  if (!picked.Error.empty()) ShowMessage(Handle(), picked.Error, MB_ICONWARNING);
  if (!picked.Path) return;
  const std::wstring failure = SaveJobFile(*picked.Path);
  if (!failure.empty()) ShowMessage(Handle(), L"没有保存任务。\n" + failure, MB_ICONERROR);
}

void MainWindow::OpenJob_Click() {
  if (auto path = PickAndReport(kPickJobToOpen)) OpenJobFile(*path);
}

void MainWindow::RestoreFromBackup() {
  PickManifestAndRestore(Handle(), [this](const wchar_t* action) { return BusyWith(action); });
}

}  // namespace rarbatch
