// What the window tells the user about the outcome of an edit of its lists.
#include "ui/reports.h"

#include "core/number_text.h"
#include "win/error_text.h"
#include "win/message_box.h"

namespace rarbatch {
namespace {

std::wstring Counts(const ImportResult& result) {
  return L"已添加 " + Decimal(result.Appended) + L" 个文件，另有 " +
         Decimal(result.LeftOut) + L" 个文件未添加。";
}

}  // namespace

std::wstring ListFullText() {
  return L"列表已满：一个列表最多只能容纳 " + Decimal(kMaxListItems) + L" 项。";
}

std::optional<std::wstring> AppendReport(AppendOutcome outcome, const std::wstring& item) {
  switch (outcome) {
    case AppendOutcome::Added: return std::nullopt;
    case AppendOutcome::ListFull: return ListFullText() + L"\n未添加：" + item;
    case AppendOutcome::OutOfMemory: return L"内存不足，无法向列表添加：" + item;
  }
  return std::nullopt;
}

std::optional<std::wstring> ImportReport(const ImportResult& result) {
  switch (result.Stop) {
    case ImportStop::None: return std::nullopt;
    case ImportStop::CannotList:
      return DescribeFailure(L"无法列出文件夹中的文件", result.Folder, result.Error);
    case ImportStop::ListFull: return ListFullText() + L"\n" + Counts(result);
    case ImportStop::OutOfMemory: return L"内存不足，无法向列表添加更多项。\n" + Counts(result);
  }
  return std::nullopt;
}

std::optional<std::wstring> FolderPickReport(const PickedFolder& picked) {
  switch (picked.Outcome) {
    case FolderPick::Chosen:
    case FolderPick::Cancelled: return std::nullopt;
    case FolderPick::PathNotWhole: {
      std::wstring text = L"无法取得所选文件夹的完整路径（路径可能过长），未导入任何文件。";
      if (!picked.Path.empty()) text += L"\n系统给出的路径：" + picked.Path;
      return text;
    }
    case FolderPick::EndsInSpace:
      return L"所选文件夹的路径首尾有空格：“" + picked.Path +
             L"”\n去掉空格后将是另一个文件夹，未导入任何文件。";
  }
  return std::nullopt;
}

void AppendAndReport(HWND list, const std::wstring& item) {
  if (auto message = AppendReport(Append(list, item), item)) ShowMessage(list, *message, MB_ICONWARNING);
}

void AppendTypedNameAndReport(HWND edit, HWND list) {
  const auto typed = AppendTypedName(edit, list);
  if (!typed) return;
  if (auto message = AppendReport(typed->Outcome, typed->Text)) {
    ShowMessage(list, *message, MB_ICONWARNING);
  }
}

void ImportAndReport(HWND target, FileList& files, const std::wstring& folder) {
  if (auto message = ImportReport(ImportFolderFrom(target, files, folder))) {
    ShowMessage(target, *message, MB_ICONWARNING);
  }
}

void ImportFolder(HWND owner, HWND target, FileList& files, const std::wstring& prompt,
                  const std::wstring& startFolder) {
  const PickedFolder picked = BrowseForFolder(owner, prompt, startFolder);
  if (picked.Outcome == FolderPick::Chosen) {
    ImportAndReport(target, files, picked.Path);
  } else if (auto message = FolderPickReport(picked)) {
    ShowMessage(owner, *message, MB_ICONWARNING);
  }
}

}  // namespace rarbatch
