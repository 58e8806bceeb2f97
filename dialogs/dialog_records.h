// The exact records that the two platform dialogs are called with, built apart from the calls so
// that their fields can be checked.
#pragma once

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <cstddef>
#include <string>

#include "dialogs/file_picker.h"
#include "dialogs/folder_picker.h"

namespace rarbatch {

// Characters in the file dialog's path buffer, the terminating NUL included: the longest path the
// system takes, since everything else in the program takes long paths. The name-only buffer keeps
// 256, which any one file name fits.
inline constexpr DWORD kFileBufferChars = 32768;
inline constexpr DWORD kFileTitleChars = 256;

// The file-open record in its short form, without the later extension fields: 76 bytes in the
// 32-bit build.
inline constexpr DWORD kOpenFileRecordSize =
    static_cast<DWORD>(offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR));
#if !defined(_WIN64)
static_assert(kOpenFileRecordSize == 76, "the 32-bit file-open record is 76 bytes");
#endif

// OFN_READONLY | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER |
// OFN_LONGNAMES.
inline constexpr DWORD kOpenFileFlags = 0x281805;
static_assert(kOpenFileFlags == (OFN_READONLY | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
                                 OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES));

// The file-open record together with the buffers it points into. Not copyable: the record holds
// pointers into the object itself.
struct OpenFileRequest {
  OpenFileRequest(HWND owner, const FilePickerUse& use);
  OpenFileRequest(const OpenFileRequest&) = delete;
  OpenFileRequest& operator=(const OpenFileRequest&) = delete;

  std::wstring Filter;                    // description, NUL, pattern, NUL, NUL
  std::wstring File = std::wstring(kFileBufferChars, L'\0');  // starts empty: the name box opens empty
  wchar_t FileTitle[kFileTitleChars] = {};
  OPENFILENAMEW Record{};
};

// BROWSEINFO for the folder picker: owner, prompt above the tree, file-system folders only.
// `prompt` must outlive the dialog.
BROWSEINFOW MakeBrowseInfo(HWND owner, const std::wstring& prompt);

// What the folder picker makes of the item the dialog returned: its path when the shell gives it
// whole and it neither begins nor ends in a space, otherwise why not.
PickedFolder FolderOfItem(PCIDLIST_ABSOLUTE item);

// The text to show when GetOpenFileNameW failed with the extended error `code` (not zero).
std::wstring DescribeFileDialogError(DWORD code);

}  // namespace rarbatch
