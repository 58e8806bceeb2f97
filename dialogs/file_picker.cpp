// The file-open dialog for picking one existing file: the archiver, the comment file or a file to add.
#include "dialogs/file_picker.h"

#include <commdlg.h>
#include <cderr.h>

#include <cwchar>

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
  Record.lpstrFile = File;
  Record.nMaxFile = kFileBufferChars;  // characters, not bytes
  Record.lpstrFileTitle = FileTitle;
  Record.nMaxFileTitle = kFileBufferChars;
  Record.lpstrTitle = use.Title;
  Record.Flags = kOpenFileFlags;
}

std::wstring DescribeFileDialogError(DWORD code) {
  if (code == FNERR_BUFFERTOOSMALL) {
    return L"所选文件的路径太长，最多只能有 " + std::to_wstring(kFileBufferChars - 1) +
           L" 个字符。请选择路径较短的文件。";
  }
  if (code == FNERR_INVALIDFILENAME) return L"文件名无效，请重新选择。";
  wchar_t hex[16];
  std::swprintf(hex, 16, L"0x%04lX", static_cast<unsigned long>(code));
  return std::wstring(L"无法显示选择文件的对话框（错误代码 ") + hex + L"）。";
}

PickedFile PickFile(HWND owner, const FilePickerUse& use) {
  OpenFileRequest request(owner, use);
  if (GetOpenFileNameW(&request.Record)) {
    request.File[kFileBufferChars - 1] = L'\0';
    return {std::wstring(request.File), {}};
  }
  // Zero from the dialog means cancel, unless the dialog says it failed.
  const DWORD error = CommDlgExtendedError();
  return {std::nullopt, error != 0 ? DescribeFileDialogError(error) : std::wstring()};
}

}  // namespace rarbatch
