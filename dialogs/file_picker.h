// The file-open dialog for picking existing files, and the file-save dialog.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace rarbatch {

// Filter descriptions, patterns and titles of the window's three pickers.
struct FilePickerUse {
  const wchar_t* FilterDescription;
  const wchar_t* FilterPattern;
  const wchar_t* Title;
};
inline constexpr FilePickerUse kPickRar{L"RAR 执行文件(RAR.exe)", L"Rar.exe", L"选择 RAR 执行文件..."};
inline constexpr FilePickerUse kPickComment{L"文本文件(*.txt)", L"*.txt", L"选择 文本文件..."};
inline constexpr FilePickerUse kPickAddFile{L"所有文件(*.*)", L"*.*", L"选择 要添加的文件..."};
inline constexpr FilePickerUse kPickJobToOpen{L"任务文件(*.rbjob)", L"*.rbjob", L"打开任务..."};
inline constexpr FilePickerUse kPickJobToSave{L"任务文件(*.rbjob)", L"*.rbjob", L"保存任务..."};
inline constexpr FilePickerUse kPickSamples{L"所有文件(*.*)", L"*.*", L"选择 要按内容删除的样本文件..."};

// What the file-open dialog gave: the chosen file's full path, or nothing when the user cancelled or
// the dialog failed; for a failure other than cancel, the message to show.
struct PickedFile {
  std::optional<std::wstring> Path;
  std::wstring Error;
};

// Shows the file-open dialog. Shows nothing else: the caller tells the user of a failure.
PickedFile PickFile(HWND owner, const FilePickerUse& use);

// What the file-open dialog for several files gave: their full paths (none after a cancel or a
// failure), and for a failure other than cancel, the message to show.
struct PickedFiles {
  std::vector<std::wstring> Paths;
  std::wstring Error;
};

// Shows the file-open dialog taking several files at once (Ctrl and Shift in its list).
PickedFiles PickFiles(HWND owner, const FilePickerUse& use);

// The full paths in the buffer of a file-open dialog that took several files: one full path when one
// file was chosen (the name starts at `fileOffset`, after a backslash), or the folder, NUL, and each
// name, NUL, ended by a second NUL.
std::vector<std::wstring> SplitPickedFiles(const std::wstring& buffer, std::size_t fileOffset);

// Shows the file-save dialog for a text file, starting with `suggestedName`; asks before replacing
// an existing file. Cancel gives no path and no error.
PickedFile PickSaveFile(HWND owner, const wchar_t* title, const std::wstring& suggestedName);
// The same for the files of `use`: its filter, its title, and its extension added to a name typed
// without one.
PickedFile PickSaveFile(HWND owner, const FilePickerUse& use, const std::wstring& suggestedName);

}  // namespace rarbatch
