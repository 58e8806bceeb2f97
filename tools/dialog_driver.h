// Test helpers that drive the program's windows and answer its modal dialogs and message boxes from a
// second thread, the way a user would: wait for the window (with a deadline), read it, fill it in,
// press a button.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "win/handles.h"
#include "win/text.h"
#include "tools/test_support.h"

namespace rarbatch::testing {

using rarbatch::WindowText;


// A plain top-level window with a caption, to own lists and dialogs in tests.
class TestWindow {
 public:
  explicit TestWindow(const wchar_t* caption = L"WINRAR 压缩包批量处理");
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// Waits until `condition` holds or `timeoutMs` passes; returns whether it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs);

// Handles this thread's messages, as the program's message loop does, until `condition` holds or
// `timeoutMs` passes; returns whether it held.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs);

// The first visible dialog box (a message box, file or folder dialog) of this process owned by
// `owner` (and, when `title` is not empty, with that title), waited for until `timeoutMs` has
// passed; null when none came.
HWND WaitForDialog(HWND owner, const std::wstring& title = {}, DWORD timeoutMs = kPatienceMs);

// A descendant of `parent` whose text is exactly `text`, or null.
HWND FindChildWithText(HWND parent, const std::wstring& text);

// Clicks the dialog's button with `id` as the user would (posted, so the dialog handles it in its
// own loop).
void PressButton(HWND dialog, int id);

// The text of a message box.
std::wstring MessageBoxText(HWND box);

// The texts of a dialog's static controls, joined by line breaks.
std::wstring StaticTexts(HWND dialog);

// Types `path` into a file-open dialog's name box and confirms it.
void ChooseFile(HWND dialog, const std::wstring& path);

// Selects `folder` in a folder-browse dialog and waits until its tree shows that folder as the
// selected item. Returns whether it did within `timeoutMs`. A caller that gets false has not set up
// what it meant to test: it cancels the dialog and says so (ChooseFolder does).
bool SelectFolder(HWND dialog, const std::wstring& folder, DWORD timeoutMs = kPatienceMs);

// The shell's item for the folder `name` in `parent`, found by listing `parent`; null when it is not
// listed. Under Wine the shell parses no path longer than MAX_PATH, nor one whose last name ends in a
// space, so such a folder's item is only had this way.
//
// The item holds each folder's time of change as it was when the item was made, and the dialog's
// tree matches items by those bytes: once anything is created or deleted in one of the folders on
// the way (the temp folder changes whenever any program makes a temporary file), an older item no
// longer matches the tree's and selects nothing. Make it just before use.
CoTaskMemPtr<ITEMIDLIST> FolderItem(const std::wstring& parent, const std::wstring& name);

// Selects the folder `name` in `parent` in a folder-browse dialog, through its shell item (made anew
// for each try, see FolderItem), and waits until the tree shows `name` as the selected item. For
// folders the dialog cannot be given as a path. Returns whether it did within `timeoutMs`.
bool SelectFolderItem(HWND dialog, const std::wstring& parent, const std::wstring& name,
                      DWORD timeoutMs = kPatienceMs);

// Selects `folder` in the folder-browse dialog and confirms it; when the dialog never shows it as
// selected, reports a test failure that says so and cancels the dialog, so that no other folder is
// taken for the chosen one. Returns whether the folder was confirmed.
bool ChooseFolder(HWND dialog, const std::wstring& folder);

// Starts a thread that waits for `owner` to show a dialog box (with `title`, unless empty) and runs
// `answer` on it, while the test's thread shows the dialog. If the answer leaves the dialog open, the
// dialog is cancelled, so that a failed test cannot hang.
class DialogAnswerer {
 public:
  DialogAnswerer(HWND owner, std::function<void(HWND dialog)> answer, std::wstring title = {},
                 DWORD timeoutMs = kPatienceMs);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  // Waits for the thread; true when a dialog came and was answered.
  bool Finish();

 private:
  bool answered_ = false;  // before the thread, which sets it
  std::thread thread_;
};

// For as long as it lives, presses OK on every message box owned by `owner` and keeps its text, so a
// call that shows a message nobody expected returns (and the test fails on Texts()) instead of
// waiting for a user forever.
class MessageCatcher {
 public:
  explicit MessageCatcher(HWND owner);
  ~MessageCatcher();
  MessageCatcher(const MessageCatcher&) = delete;
  MessageCatcher& operator=(const MessageCatcher&) = delete;

  // Stops watching and returns the text of every box that showed, in order.
  std::vector<std::wstring> Texts();

 private:
  HWND owner_;
  HANDLE stop_ = nullptr;
  std::vector<std::wstring> texts_;  // before the thread, which fills it
  std::thread thread_;
};

// Writes what `window` shows (its client area, as the screen has it) as a 24-bit BMP file; false when
// it cannot. For the pictures in the documents.
bool SaveWindowBitmap(HWND window, const std::wstring& path);

}  // namespace rarbatch::testing
