// Answers the dialogs and message boxes that the window shows, from a second thread, as a user
// would: the window's thread stays inside the handler's modal loop meanwhile.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

namespace rarbatch::testing {

// The first visible dialog box (a message box, file or folder dialog) owned by `owner`, waited for
// until `timeoutMs` has passed; null when none came.
HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs);

// Starts a thread that waits for `owner` to show a dialog box and runs `answer` on it. If the answer
// leaves the dialog open, the dialog is cancelled, so that a failed test cannot hang.
class DialogAnswerer {
 public:
  DialogAnswerer(HWND owner, std::function<void(HWND dialog)> answer, DWORD timeoutMs = 30000);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  // Waits for the thread; true when a dialog was found and answered.
  bool Finish();

 private:
  std::thread thread_;
  bool answered_ = false;
};

std::wstring WindowText(HWND window);

// The texts of a dialog's static controls, joined by line breaks: a message box's message.
std::wstring StaticTexts(HWND dialog);

// Presses a dialog's button by its identifier (IDOK, IDCANCEL).
void PressButton(HWND dialog, int id);

// Types `path` into a file-open dialog's name box and confirms it.
void ChooseFile(HWND dialog, const std::wstring& path);

// Selects `folder` in the folder-browse dialog and confirms it.
void ChooseFolder(HWND dialog, const std::wstring& folder);

}  // namespace rarbatch::testing
