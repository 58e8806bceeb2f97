// Drives the program's windows and answers its dialogs from a second thread, with deadlines.
#include "tools/dialog_driver.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <memory>
#include <utility>

namespace rarbatch::testing {
namespace {

const wchar_t kTestWindowClass[] = L"rarbatch test owner";

std::wstring ClassOf(HWND window) {
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  return className;
}

struct DialogSearch {
  HWND owner;
  const std::wstring* title;
  HWND found;
};

BOOL CALLBACK CheckTopLevel(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  if (GetWindow(window, GW_OWNER) != search->owner) return TRUE;
  if (ClassOf(window) != L"#32770") return TRUE;
  if (!search->title->empty() && WindowText(window) != *search->title) return TRUE;
  search->found = window;
  return FALSE;
}

struct TextSearch {
  const std::wstring* text;
  HWND found;
};

BOOL CALLBACK CheckChildText(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TextSearch*>(param);
  if (WindowText(window) == *search->text) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The text of the tree's selected item; the tree belongs to this process, so its buffer can be ours.
std::wstring SelectedItemText(HWND tree) {
  const auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!item) return {};
  wchar_t text[MAX_PATH] = {};
  TVITEMW query{};
  query.mask = TVIF_TEXT;
  query.hItem = item;
  query.pszText = text;
  query.cchTextMax = MAX_PATH;
  if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query))) return {};
  return text;
}

struct ShellFolderReleaser {
  void operator()(IShellFolder* folder) const { folder->Release(); }
};
using ShellFolderPtr = std::unique_ptr<IShellFolder, ShellFolderReleaser>;

}  // namespace

TestWindow::TestWindow(const wchar_t* caption) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kTestWindowClass;
  RegisterClassW(&windowClass);  // fails harmlessly when already registered
  window_ = CreateWindowExW(0, kTestWindowClass, caption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 500, 400, nullptr, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
}

TestWindow::~TestWindow() {
  if (window_) DestroyWindow(window_);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);  // polling interval, not a wait for the result
  }
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      HWND top = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
      if (top && IsDialogMessageW(top, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

HWND WaitForDialog(HWND owner, const std::wstring& title, DWORD timeoutMs) {
  DialogSearch search{owner, &title, nullptr};
  WaitUntil(
      [&] {
        EnumWindows(CheckTopLevel, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeoutMs);
  return search.found;
}

HWND FindChildWithText(HWND parent, const std::wstring& text) {
  TextSearch search{&text, nullptr};
  EnumChildWindows(parent, CheckChildText, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void PressButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::wstring MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

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

bool SelectFolder(HWND dialog, const std::wstring& folder, DWORD timeoutMs) {
  // The tree labels a folder with its display name, which the shell also gives for the path.
  SHFILEINFOW info{};
  const bool named = SHGetFileInfoW(folder.c_str(), 0, &info, sizeof info, SHGFI_DISPLAYNAME) != 0;
  HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
  const DWORD start = GetTickCount();
  for (;;) {
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
    if (!named || !tree) return true;  // nothing to check it against
    const bool shown = SelectedItemText(tree) == info.szDisplayName;
    Sleep(100);
    // Still selected a moment later: the dialog has not moved it back while settling.
    if (shown && SelectedItemText(tree) == info.szDisplayName) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
  }
}

bool SelectFolderItem(HWND dialog, PCIDLIST_ABSOLUTE item, const std::wstring& label, DWORD timeoutMs) {
  HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  const auto shown = [&] { return SelectedItemText(tree) == label; };
  do {
    SendMessageW(dialog, BFFM_SETSELECTIONW, FALSE, reinterpret_cast<LPARAM>(item));
    if (!tree) return true;
    // The tree may take a while to open the folders on the way; asking again before it has done so
    // starts it over.
    if (WaitUntil(shown, 2000)) {
      Sleep(100);
      if (shown()) return true;
    }
  } while (GetTickCount64() < deadline);
  return false;
}

CoTaskMemPtr<ITEMIDLIST> FolderItem(const std::wstring& parent, const std::wstring& name) {
  PIDLIST_ABSOLUTE parentItem = nullptr;
  if (FAILED(SHParseDisplayName(parent.c_str(), nullptr, &parentItem, 0, nullptr))) return nullptr;
  const CoTaskMemPtr<ITEMIDLIST> ownedParent(parentItem);
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop))) return nullptr;
  const ShellFolderPtr ownedDesktop(desktop);
  IShellFolder* folder = nullptr;
  if (FAILED(desktop->BindToObject(parentItem, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder)))) {
    return nullptr;
  }
  const ShellFolderPtr ownedFolder(folder);
  IEnumIDList* children = nullptr;
  if (folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &children) != S_OK) return nullptr;
  PITEMID_CHILD child = nullptr;
  CoTaskMemPtr<ITEMIDLIST> found;
  while (!found && children->Next(1, &child, nullptr) == S_OK) {
    const CoTaskMemPtr<ITEMIDLIST> ownedChild(child);
    STRRET named{};
    wchar_t* text = nullptr;
    if (SUCCEEDED(folder->GetDisplayNameOf(child, SHGDN_INFOLDER | SHGDN_FORPARSING, &named)) &&
        SUCCEEDED(StrRetToStrW(&named, child, &text))) {
      if (name == text) found.reset(ILCombine(parentItem, child));
      CoTaskMemFree(text);
    }
  }
  children->Release();
  return found;
}

void ChooseFolder(HWND dialog, const std::wstring& folder) {
  EXPECT_TRUE(SelectFolder(dialog, folder)) << "the folder dialog never showed "
                                            << ::testing::PrintToString(folder) << " as selected";
  PressButton(dialog, IDOK);
}

DialogAnswerer::DialogAnswerer(HWND owner, std::function<void(HWND)> answer, std::wstring title,
                               DWORD timeoutMs)
    : thread_([this, owner, answer = std::move(answer), title = std::move(title), timeoutMs] {
        HWND dialog = WaitForDialog(owner, title, timeoutMs);
        if (!dialog) return;
        answer(dialog);
        answered_ = true;
        if (!WaitUntil([dialog] { return !IsWindow(dialog); }, 10000)) {
          answered_ = false;
          PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
      }) {}

DialogAnswerer::~DialogAnswerer() { Finish(); }

bool DialogAnswerer::Finish() {
  if (thread_.joinable()) thread_.join();
  return answered_;
}

MessageCatcher::MessageCatcher(HWND owner)
    : owner_(owner), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), thread_([this] {
        while (WaitForSingleObject(stop_, 20) == WAIT_TIMEOUT) {
          HWND box = WaitForDialog(owner_, {}, 0);
          if (!box) continue;
          texts_.push_back(MessageBoxText(box));
          PressButton(box, IDOK);
          // Wait for the box to go, so that it is not counted twice.
          WaitUntil([box] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
        }
      }) {}

MessageCatcher::~MessageCatcher() { Texts(); }

std::vector<std::wstring> MessageCatcher::Texts() {
  if (thread_.joinable()) {
    SetEvent(stop_);
    thread_.join();
    CloseHandle(stop_);
    stop_ = nullptr;
  }
  return texts_;
}

}  // namespace rarbatch::testing
