// The file-open dialog for picking one existing file: the archiver, the comment file or a file to add.
#include "dialogs/file_picker.h"

#include <commdlg.h>
#include <cderr.h>

#include <algorithm>
#include <cwchar>

#include "core/number_text.h"
#include "dialogs/dialog_records.h"

namespace rarbatch {

OpenFileRequest::OpenFileRequest(HWND owner, const FilePickerUse& use) {
  Filter = use.FilterDescription;
  Filter += L'\0';
  Filter += use.FilterPattern;
  Filter += L'\0';  // the string's own terminator is the second NUL that ends the list

  Record.lStructSize = kOpenFileRecordSize;
  Record.hwndOwner = owner;
  Record.hInstance = GetModuleHandleW(nullptr);
  Record.lpstrFilter = Filter.c_str();
  Record.lpstrFile = File.data();
  Record.nMaxFile = kFileBufferChars;  // characters, not bytes
  Record.lpstrFileTitle = FileTitle;
  Record.nMaxFileTitle = kFileTitleChars;
  Record.lpstrTitle = use.Title;
  Record.Flags = kOpenFileFlags;
}

std::wstring DescribeFileDialogError(DWORD code) {
  if (code == FNERR_BUFFERTOOSMALL) {
    return L"所选文件的路径太长，最多只能有 " + Decimal(kFileBufferChars - 1) +
           L" 个字符。请选择路径较短的文件。";
  }
  if (code == FNERR_INVALIDFILENAME) return L"文件名无效，请重新选择。";
  return L"无法显示选择文件的对话框（错误代码 0x" + PaddedDigits(code, 4, 16) + L"）。";
}

PickedFile PickFile(HWND owner, const FilePickerUse& use) {
  OpenFileRequest request(owner, use);
  if (GetOpenFileNameW(&request.Record)) {
    request.File.back() = L'\0';
    return {std::wstring(request.File.c_str()), {}};
  }
  // Zero from the dialog means cancel, unless the dialog says it failed.
  const DWORD error = CommDlgExtendedError();
  return {std::nullopt, error != 0 ? DescribeFileDialogError(error) : std::wstring()};
}

std::vector<std::wstring> SplitPickedFiles(const std::wstring& buffer, std::size_t fileOffset) {
  const std::wstring first(buffer.c_str());
  if (first.empty()) return {};
  // One file: the whole path, with the name inside it.
  if (fileOffset < first.size()) return {first};
  // Several: the folder ends at its NUL (a root such as "C:\" already ends in a backslash).
  std::wstring folder = first;
  if (folder.back() != L'\\') folder += L'\\';
  std::vector<std::wstring> paths;
  for (std::size_t at = first.size() + 1; at < buffer.size() && buffer[at] != L'\0';) {
    const std::size_t end = std::min(buffer.find(L'\0', at), buffer.size());
    paths.push_back(folder + buffer.substr(at, end - at));
    at = end + 1;
  }
  return paths;
}

PickedFiles PickFiles(HWND owner, const FilePickerUse& use) {
  OpenFileRequest request(owner, use);
  request.Record.Flags |= OFN_ALLOWMULTISELECT;
  if (GetOpenFileNameW(&request.Record)) {
    request.File.back() = L'\0';
    return {SplitPickedFiles(request.File, request.Record.nFileOffset), {}};
  }
  const DWORD error = CommDlgExtendedError();
  return {{}, error != 0 ? DescribeFileDialogError(error) : std::wstring()};
}

namespace {

// The file-save dialog with `filter` (pairs of description and pattern, ended by an empty pair) and
// `extension` added to a name typed without one.
PickedFile ShowSaveDialog(HWND owner, const wchar_t* title, const std::wstring& suggestedName,
                          const wchar_t* filter, const wchar_t* extension) {
  std::wstring file(32768, L'\0');
  suggestedName.copy(file.data(), std::min<std::size_t>(suggestedName.size(), file.size() - 1));
  OPENFILENAMEW record{};
  record.lStructSize = sizeof record;
  record.hwndOwner = owner;
  record.lpstrFilter = filter;
  record.lpstrFile = file.data();
  record.nMaxFile = static_cast<DWORD>(file.size());
  record.lpstrTitle = title;
  record.lpstrDefExt = extension;
  record.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER |
                 OFN_NOCHANGEDIR;
  if (GetSaveFileNameW(&record)) return {std::wstring(file.c_str()), {}};
  const DWORD error = CommDlgExtendedError();
  return {std::nullopt, error != 0 ? DescribeFileDialogError(error) : std::wstring()};
}

}  // namespace

PickedFile PickSaveFile(HWND owner, const wchar_t* title, const std::wstring& suggestedName) {
  static const wchar_t kFilter[] = L"文本文件(*.txt)\0*.txt\0所有文件(*.*)\0*.*\0";
  return ShowSaveDialog(owner, title, suggestedName, kFilter, L"txt");
}

PickedFile PickSaveFile(HWND owner, const FilePickerUse& use, const std::wstring& suggestedName) {
  std::wstring filter = std::wstring(use.FilterDescription) + L'\0' + use.FilterPattern + L'\0' +
                        L"所有文件(*.*)" + L'\0' + L"*.*" + L'\0';
  const std::wstring pattern = use.FilterPattern;
  const std::wstring extension = pattern.starts_with(L"*.") ? pattern.substr(2) : std::wstring();
  return ShowSaveDialog(owner, use.Title, suggestedName, filter.c_str(),
                        extension.empty() ? nullptr : extension.c_str());
}

}  // namespace rarbatch
