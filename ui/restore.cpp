// Putting archives back from a run's backups, as the user asks for it.
#include "ui/restore.h"

#include <algorithm>

#include "core/backup_plan.h"
#include "core/number_text.h"
#include "dialogs/file_picker.h"
#include "win/message_box.h"

namespace rarbatch {
namespace {

constexpr FilePickerUse kPickManifest{L"备份清单(备份清单.txt)", L"备份清单.txt;*.txt", L"选择 备份清单..."};
constexpr std::size_t kRowsShown = 20;

// False, after telling the user why, when something else is at work on the archives.
bool FreeToRestore(HWND owner, const BusyCheck& busy) {
  const std::optional<std::wstring> reason = busy ? busy(L"还原") : std::nullopt;
  if (reason) ShowMessage(owner, *reason, MB_ICONINFORMATION);
  return !reason;
}

}  // namespace

std::wstring RestoreMessage(const RestoreOutcome& outcome, std::size_t rows) {
  if (!outcome.Error.empty() || outcome.Rows.size() <= rows) return DescribeRestore(outcome);
  // Those that failed first; the counts at the top stay those of the whole manifest.
  std::vector<RestoreRow> shown = outcome.Rows;
  std::stable_partition(shown.begin(), shown.end(), [](const RestoreRow& r) { return !r.Restored; });
  const std::size_t left = shown.size() - rows;
  const std::wstring whole = DescribeRestore(outcome);
  std::wstring text = whole.substr(0, whole.find(L'\n') + 1);
  for (std::size_t i = 0; i < rows; ++i) {
    text += L"\n" + shown[i].Archive + L"\t" + (shown[i].Restored ? L"已还原" : L"失败：" + shown[i].Detail);
  }
  const bool restLeft = !shown[rows].Restored;
  return text + L"\n……另有 " + Decimal(left) + (restLeft ? L" 个压缩包" : L" 个压缩包已还原");
}

std::optional<RestoreOutcome> RestoreAfterAsking(HWND owner, const std::wstring& manifest,
                                                 const BusyCheck& busy) {
  if (!FreeToRestore(owner, busy)) return std::nullopt;
  // The question names what would be replaced, read from the manifest itself.
  std::wstring error;
  const std::optional<std::vector<BackupRecord>> records = ReadManifestRecords(manifest, &error);
  if (!records) {
    ShowMessage(owner, error, MB_ICONWARNING);
    return RestoreOutcome{error, {}, {}};
  }
  std::wstring question = L"用备份替换下列 " + Decimal(records->size()) +
                          L" 个压缩包？\n压缩包现在的内容（包括之后的修改）会先保存到备份文件夹中，再被备份替换；"
                          L"已被删除的压缩包会重新出现。不是 RAR 压缩包的文件不会被替换。\n\n备份清单：" + manifest + L"\n";
  for (std::size_t i = 0; i < records->size() && i < kRowsShown; ++i) question += L"\n" + (*records)[i].Archive;
  if (records->size() > kRowsShown) question += L"\n……另有 " + Decimal(records->size() - kRowsShown) + L" 个压缩包";
  if (AskUser(owner, question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return std::nullopt;
  if (!FreeToRestore(owner, busy)) return std::nullopt;
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  RestoreOutcome outcome = RestoreFromManifest(manifest);
  SetCursor(previous);
  const bool allRestored = outcome.Error.empty() &&
                           std::all_of(outcome.Rows.begin(), outcome.Rows.end(), [](const RestoreRow& r) { return r.Restored; });
  ShowMessage(owner, RestoreMessage(outcome, kRowsShown), allRestored ? MB_ICONINFORMATION : MB_ICONWARNING);
  return outcome;
}

void PickManifestAndRestore(HWND owner, const BusyCheck& busy) {
  if (!FreeToRestore(owner, busy)) return;
  PickedFile picked = PickFile(owner, kPickManifest);
  if (!picked.Error.empty()) ShowMessage(owner, picked.Error, MB_ICONWARNING);
  if (picked.Path) RestoreAfterAsking(owner, *picked.Path, busy);
}

}  // namespace rarbatch
