// Reads the state of another program's window for the scripts that drive the program from outside,
// so that they wait for what they asked for (the text typed, the folder opened) instead of for a
// time. It prints in UTF-8 and exits 0, or exits 1 when the window or control is not there.
//
//   window_probe text TITLE ID    the text of the control ID of the visible window whose title
//                                  contains TITLE
//   window_probe count TITLE ID   the number of items of that list box
//   window_probe check TITLE ID   1 when that check box is checked, else 0
//   window_probe tree TITLE       the folder tree of that window: "open" or "closed" for its
//                                  selected item, then one line per label from the top down to it
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "win/handles.h"
#include "win/text.h"

namespace {

struct Search {
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK CheckTitle(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  if (rarbatch::WindowText(window).find(search->title) == std::wstring::npos) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindVisibleWindow(const wchar_t* title) {
  Search search{title, nullptr};
  EnumWindows(CheckTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct ChildSearch {
  int id;
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK CheckChild(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<ChildSearch*>(param);
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if ((search->id && GetDlgCtrlID(window) == search->id) ||
      (search->className && _wcsicmp(className, search->className) == 0)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindDescendant(HWND parent, int id, const wchar_t* className = nullptr) {
  ChildSearch search{id, className, nullptr};
  EnumChildWindows(parent, CheckChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A control's text. GetWindowText reads only captions of another process's windows; a control there
// answers WM_GETTEXT, which the system carries across.
std::wstring ControlText(HWND control) {
  const LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

void Print(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  bytes += '\n';
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// The tree belongs to another process, so its item is read through a buffer in that process.
class RemoteTreeReader {
 public:
  explicit RemoteTreeReader(HWND tree) : tree_(tree) {
    DWORD id = 0;
    GetWindowThreadProcessId(tree, &id);
    process_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id));
    if (process_) {
      buffer_ = static_cast<char*>(VirtualAllocEx(process_.get(), nullptr, kSize, MEM_COMMIT, PAGE_READWRITE));
    }
  }
  ~RemoteTreeReader() {
    if (buffer_) VirtualFreeEx(process_.get(), buffer_, 0, MEM_RELEASE);
  }
  RemoteTreeReader(const RemoteTreeReader&) = delete;
  RemoteTreeReader& operator=(const RemoteTreeReader&) = delete;

  bool Ready() const { return buffer_ != nullptr; }

  // The item's label and whether it is open.
  bool Read(HTREEITEM item, std::wstring* label, bool* open) {
    TVITEMW query{};
    query.mask = TVIF_TEXT | TVIF_STATE;
    query.hItem = item;
    query.stateMask = TVIS_EXPANDED;
    query.pszText = reinterpret_cast<wchar_t*>(buffer_ + sizeof(TVITEMW));
    query.cchTextMax = kTextChars;
    if (!WriteProcessMemory(process_.get(), buffer_, &query, sizeof query, nullptr)) return false;
    if (!SendMessageW(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(buffer_))) return false;
    wchar_t text[kTextChars] = {};
    if (!ReadProcessMemory(process_.get(), buffer_, &query, sizeof query, nullptr) ||
        !ReadProcessMemory(process_.get(), buffer_ + sizeof(TVITEMW), text, sizeof text, nullptr)) {
      return false;
    }
    text[kTextChars - 1] = L'\0';
    *label = text;
    *open = (query.state & TVIS_EXPANDED) != 0;
    return true;
  }

 private:
  static constexpr int kTextChars = 520;
  static constexpr SIZE_T kSize = sizeof(TVITEMW) + kTextChars * sizeof(wchar_t);
  HWND tree_;
  rarbatch::UniqueHandle process_;
  char* buffer_ = nullptr;
};

int PrintTree(HWND window) {
  HWND tree = FindDescendant(window, 0, WC_TREEVIEWW);
  if (!tree) return 1;
  RemoteTreeReader reader(tree);
  if (!reader.Ready()) return 1;
  auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!item) return 1;
  std::vector<std::wstring> labels;
  bool selectedOpen = false;
  for (bool first = true; item; first = false) {
    std::wstring label;
    bool open = false;
    if (!reader.Read(item, &label, &open)) return 1;
    if (first) selectedOpen = open;
    labels.insert(labels.begin(), label);
    item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
  }
  Print(selectedOpen ? L"open" : L"closed");
  for (const std::wstring& label : labels) Print(label);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring what = argv[1];
  HWND window = FindVisibleWindow(argv[2]);
  if (!window) return 1;
  if (what == L"tree") return PrintTree(window);
  if (argc < 4) return 2;
  HWND control = FindDescendant(window, _wtoi(argv[3]));
  if (!control) return 1;
  if (what == L"text") {
    Print(ControlText(control));
  } else if (what == L"count") {
    Print(std::to_wstring(SendMessageW(control, LB_GETCOUNT, 0, 0)));
  } else if (what == L"check") {
    Print(SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? L"1" : L"0");
  } else {
    return 2;
  }
  return 0;
}
