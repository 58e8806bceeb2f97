// Finding and answering the window's dialogs from a second thread, with deadlines.
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include "dialogs/tests/folder_selection.h"

namespace rarbatch::testing {

namespace {

struct Search {
  HWND Owner;
  HWND Found;
};

BOOL CALLBACK MatchOwnedDialog(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  if (std::wstring(className) == L"#32770" && GetWindow(window, GW_OWNER) == search->Owner &&
      IsWindowVisible(window)) {
    search->Found = window;
    return FALSE;
  }
  return TRUE;
}

std::wstring ClassOf(HWND window) {
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  return className;
}

}  // namespace

HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  const DWORD thread = GetWindowThreadProcessId(owner, nullptr);
  do {
    Search search{owner, nullptr};
    EnumThreadWindows(thread, MatchOwnedDialog, reinterpret_cast<LPARAM>(&search));
    if (search.Found) return search.Found;
    Sleep(20);  // polling interval, not a wait for the result
  } while (GetTickCount64() < deadline);
  return nullptr;
}

DialogAnswerer::DialogAnswerer(HWND owner, std::function<void(HWND)> answer, DWORD timeoutMs)
    : thread_([this, owner, answer = std::move(answer), timeoutMs] {
        HWND dialog = WaitForOwnedDialog(owner, timeoutMs);
        if (!dialog) return;
        answer(dialog);
        answered_ = true;
        const ULONGLONG deadline = GetTickCount64() + 10000;
        while (IsWindow(dialog) && GetTickCount64() < deadline) Sleep(20);
        if (IsWindow(dialog)) {
          answered_ = false;
          PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
      }) {}

DialogAnswerer::~DialogAnswerer() {
  if (thread_.joinable()) thread_.join();
}

bool DialogAnswerer::Finish() {
  if (thread_.joinable()) thread_.join();
  return answered_;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

std::wstring StaticTexts(HWND dialog) {
  std::wstring texts;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) != L"Static") continue;
    const std::wstring text = WindowText(child);
    if (text.empty()) continue;
    if (!texts.empty()) texts += L"\n";
    texts += text;
  }
  return texts;
}

void PressButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void ChooseFile(HWND dialog, const std::wstring& path) {
  // The explorer-style dialog keeps the name in a combo box (cmb13), older ones in an edit (edt1).
  HWND name = GetDlgItem(dialog, 0x47C);
  if (name && ClassOf(name).find(L"ComboBox") != std::wstring::npos) {
    HWND inner = FindWindowExW(name, nullptr, L"Edit", nullptr);
    if (!inner) inner = FindWindowExW(FindWindowExW(name, nullptr, nullptr, nullptr), nullptr, L"Edit", nullptr);
    if (inner) name = inner;
  }
  if (!name) name = GetDlgItem(dialog, 0x480);
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PressButton(dialog, IDOK);
}

void ChooseFolder(HWND dialog, const std::wstring& folder) {
  EXPECT_TRUE(SelectFolder(dialog, folder)) << "the folder dialog never showed "
                                            << ::testing::PrintToString(folder) << " as selected";
  PressButton(dialog, IDOK);
}

}  // namespace rarbatch::testing
