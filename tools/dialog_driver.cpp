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

namespace {

HTREEITEM NextItem(HWND tree, UINT which, HTREEITEM item) {
  return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, which, reinterpret_cast<LPARAM>(item)));
}

std::wstring ItemText(HWND tree, HTREEITEM item) {
  wchar_t text[MAX_PATH] = {};
  TVITEMW query{};
  query.mask = TVIF_TEXT;
  query.hItem = item;
  query.pszText = text;
  query.cchTextMax = MAX_PATH;
  if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query))) return {};
  return text;
}

// The labels that a folder tree shows on the way from the desktop down to `item`: one for each
// folder below the desktop, each as the shell names it for display, which is how the tree labels it.
std::vector<std::wstring> LabelsOnTheWay(PCIDLIST_ABSOLUTE item) {
  std::vector<std::wstring> labels;
  CoTaskMemPtr<ITEMIDLIST> step(ILClone(item));
  while (step && !ILIsEmpty(step.get())) {
    IShellFolder* parent = nullptr;
    PCUITEMID_CHILD last = nullptr;
    if (FAILED(SHBindToParent(step.get(), IID_IShellFolder, reinterpret_cast<void**>(&parent), &last))) return {};
    const ShellFolderPtr ownedParent(parent);
    STRRET named{};
    wchar_t* text = nullptr;
    if (FAILED(parent->GetDisplayNameOf(last, SHGDN_NORMAL, &named)) || FAILED(StrRetToStrW(&named, last, &text))) {
      return {};
    }
    labels.insert(labels.begin(), text);
    CoTaskMemFree(text);
    ILRemoveLastID(step.get());
  }
  return labels;
}

// Opens the tree's folders one label at a time, as a user clicks through them, and selects the last;
// the tree's own item is then the dialog's choice. Returns the selected item, or null when a label is
// not there.
HTREEITEM OpenAndSelect(HWND tree, const std::vector<std::wstring>& labels) {
  HTREEITEM item = NextItem(tree, TVGN_ROOT, nullptr);  // the desktop
  for (const std::wstring& label : labels) {
    if (!item) return nullptr;
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));  // lists it, if not yet
    HTREEITEM child = NextItem(tree, TVGN_CHILD, item);
    while (child && ItemText(tree, child) != label) child = NextItem(tree, TVGN_NEXT, child);
    item = child;
  }
  if (!item) return nullptr;
  SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
  return item;
}

// Selects the folder that `makeItem` names in the dialog's tree and waits until the tree shows it as
// the selected item, and still does a moment later. The shell item is made anew for each try.
bool SelectUntilShown(HWND dialog, DWORD timeoutMs, const std::function<CoTaskMemPtr<ITEMIDLIST>()>& makeItem) {
  HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
  if (!tree) return false;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (!IsWindow(dialog)) return false;
    const CoTaskMemPtr<ITEMIDLIST> item = makeItem();
    const std::vector<std::wstring> labels = item ? LabelsOnTheWay(item.get()) : std::vector<std::wstring>{};
    const HTREEITEM selected = labels.empty() ? nullptr : OpenAndSelect(tree, labels);
    if (selected && NextItem(tree, TVGN_CARET, nullptr) == selected) {
      Sleep(100);  // a moment for anything the selection posted; then the state is read again
      if (NextItem(tree, TVGN_CARET, nullptr) == selected) return true;
    }
    if (GetTickCount64() >= deadline) return false;
    Sleep(200);  // between tries, not a wait for the result
  }
}

}  // namespace

bool SelectFolder(HWND dialog, const std::wstring& folder, DWORD timeoutMs) {
  return SelectUntilShown(dialog, timeoutMs, [&] {
    PIDLIST_ABSOLUTE item = nullptr;
    if (FAILED(SHParseDisplayName(folder.c_str(), nullptr, &item, 0, nullptr))) item = nullptr;
    return CoTaskMemPtr<ITEMIDLIST>(item);
  });
}

bool SelectFolderItem(HWND dialog, const std::wstring& parent, const std::wstring& name, DWORD timeoutMs) {
  return SelectUntilShown(dialog, timeoutMs, [&] { return FolderItem(parent, name); });
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

bool ChooseFolder(HWND dialog, const std::wstring& folder) {
  if (!SelectFolder(dialog, folder)) {
    ADD_FAILURE() << "could not set up the test: the folder dialog never showed "
                  << ::testing::PrintToString(folder) << " as selected, so it was cancelled";
    PressButton(dialog, IDCANCEL);
    return false;
  }
  PressButton(dialog, IDOK);
  return true;
}

DialogAnswerer::DialogAnswerer(HWND owner, std::function<void(HWND)> answer, std::wstring title,
                               DWORD timeoutMs)
    : thread_([this, owner, answer = std::move(answer), title = std::move(title), timeoutMs] {
        HWND dialog = WaitForDialog(owner, title, timeoutMs);
        if (!dialog) return;
        answer(dialog);
        answered_ = true;
        if (!WaitUntil([dialog] { return !IsWindow(dialog); })) {
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
          WaitUntil([box] { return !IsWindow(box) || !IsWindowVisible(box); });
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

// Writes what `window` shows as a 24-bit BMP file.
bool SaveWindowBitmap(HWND window, const std::wstring& path) {
  // The client area: without a window manager (Xvfb) the frame is not drawn.
  RECT rect;
  GetClientRect(window, &rect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const int stride = (width * 3 + 3) & ~3;
  std::string pixels(static_cast<std::size_t>(stride) * height, '\0');
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info + pixels.size()), 0, 0,
                        sizeof(BITMAPFILEHEADER) + sizeof info};
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  return WriteFileBytes(path, bytes + pixels);
}

}  // namespace rarbatch::testing
