// Files dropped on the main window from the file manager.
#include "ui/drop.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/job_file.h"
#include "core/number_text.h"
#include "lists/dropped_files.h"
#include "lists/folder_import.h"
#include "ui/layout.h"
#include "ui/main_window.h"
#include "ui/reports.h"
#include "win/error_text.h"
#include "win/message_box.h"

namespace rarbatch {
namespace {

// Not in every SDK's headers: the message that carries a drop's data between processes.
constexpr UINT kCopyGlobalData = 0x0049;

using ChangeWindowMessageFilterExFn = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);

// Releases the drop's memory however its handling ends.
class DropOwner {
 public:
  explicit DropOwner(HDROP drop) : drop_(drop) {}
  ~DropOwner() { DragFinish(drop_); }
  DropOwner(const DropOwner&) = delete;
  DropOwner& operator=(const DropOwner&) = delete;

 private:
  HDROP drop_;
};

// Reads the names of the drop's DROPFILES block in one pass, never past the block's end. False
// when the block is not one of wide names that this can read; `paths` is then to be dropped.
bool ReadWideNames(HDROP drop, std::vector<std::wstring>& paths) {
  const SIZE_T size = GlobalSize(drop);
  if (size < sizeof(DROPFILES)) return false;
  const auto* block = static_cast<const BYTE*>(GlobalLock(drop));
  if (!block) return false;
  DROPFILES header;
  std::memcpy(&header, block, sizeof header);
  bool whole = false;
  if (header.fWide && header.pFiles >= sizeof header && header.pFiles < size &&
      header.pFiles % sizeof(wchar_t) == 0) {
    const auto* at = reinterpret_cast<const wchar_t*>(block + header.pFiles);
    const auto* end = at + (size - header.pFiles) / sizeof(wchar_t);
    while (at < end && *at) {
      const wchar_t* stop = std::find(at, end, L'\0');
      if (stop == end) break;  // a name without its NUL inside the block
      paths.emplace_back(at, stop);
      at = stop + 1;
    }
    whole = at < end && *at == L'\0';  // the NUL that ends the list
  }
  GlobalUnlock(drop);
  return whole;
}

// The control that takes drops under `at`, in the window's client coordinates; 0 for none. Only a
// visible, enabled control takes them.
int DropTargetAt(HWND window, POINT at) {
  for (const int id : {List2, List3, Text1, Text3}) {
    HWND control = GetDlgItem(window, id);
    if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) continue;
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&place), 2);
    if (PtInRect(&place, at)) return id;
  }
  return 0;
}

// Adds `line`, if any, to the one message a drop shows, a blank line apart from the rest.
void AddParagraph(std::wstring& text, const std::optional<std::wstring>& line) {
  if (!line) return;
  if (!text.empty()) text += L"\n\n";
  text += *line;
}

std::optional<std::wstring> NotArchivesReport(std::size_t count) {
  if (count == 0) return std::nullopt;
  return L"有 " + Decimal(count) + L" 个文件不是 RAR 压缩包，未添加。";
}

std::optional<std::wstring> UnlistedReport(const std::vector<UnlistedFolder>& unlisted) {
  if (unlisted.empty()) return std::nullopt;
  std::wstring text = DescribeFailure(L"无法列出文件夹中的文件，其中的压缩包未添加",
                                      unlisted.front().Folder, unlisted.front().Error);
  if (unlisted.size() > 1) {
    text += L"\n另有 " + Decimal(unlisted.size() - 1) + L" 个文件夹也无法列出。";
  }
  return text;
}

// The archive list: the .rar files among the dropped paths and in the dropped folders' trees.
void DropOnArchiveList(HWND list, const std::vector<std::wstring>& paths) {
  // A large tree takes a while to walk.
  const HCURSOR before = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  const DroppedArchives dropped = CollectDroppedArchives(paths);
  const ImportResult appended = AppendBatch(list, dropped.Archives);
  SetCursor(before);

  std::wstring message;
  AddParagraph(message, ImportReport(appended));
  AddParagraph(message, NotArchivesReport(dropped.NotArchives));
  AddParagraph(message, UnlistedReport(dropped.Unlisted));
  if (!message.empty()) ShowMessage(list, message, MB_ICONWARNING);
}

// The add list: every dropped file and folder as it is.
void DropOnAddList(HWND list, const std::vector<std::wstring>& paths) {
  if (auto message = ImportReport(AppendBatch(list, paths))) ShowMessage(list, *message, MB_ICONWARNING);
}

// The archiver's box or the comment file's box: the path of one dropped file.
void DropOnPathBox(HWND box, const std::vector<std::wstring>& paths) {
  if (paths.empty()) return;
  if (paths.size() > 1) {
    ShowMessage(box, L"这里只能放入一个文件，而拖放了 " + Decimal(paths.size()) + L" 个，未作更改。",
                MB_ICONWARNING);
    return;
  }
  if (IsFolder(paths.front())) {
    ShowMessage(box, L"这里只能放入文件，不能放入文件夹，未作更改：\n" + paths.front(), MB_ICONWARNING);
    return;
  }
  SetWindowTextW(box, paths.front().c_str());
}

}  // namespace

// DragQueryFileW walks the names from the first on every call, so asking it for each of 32,767
// dropped files took 13 s under Wine, where importing them takes 0.25 s: the names are read in one
// pass, and asked for one by one (each one's size first) only where the block cannot be read so, or
// does not hold as many names as the system counts.
std::vector<std::wstring> DroppedPaths(HDROP drop) {
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  std::vector<std::wstring> paths;
  paths.reserve(count);
  if (ReadWideNames(drop, paths) && paths.size() == count) return paths;
  paths.clear();
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    if (length == 0) continue;
    std::wstring path(length + 1, L'\0');
    const UINT copied = DragQueryFileW(drop, i, path.data(), length + 1);
    path.resize(copied);
    if (!path.empty()) paths.push_back(std::move(path));
  }
  return paths;
}

void AcceptDroppedFiles(HWND window) {
  DragAcceptFiles(window, TRUE);
  // Looked up at run time: the call is missing on older systems, where this is not needed.
  static const auto allow = reinterpret_cast<ChangeWindowMessageFilterExFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx")));
  if (!allow) return;
  for (const UINT message : {static_cast<UINT>(WM_DROPFILES), static_cast<UINT>(WM_COPYDATA), kCopyGlobalData}) {
    allow(window, message, MSGFLT_ALLOW, nullptr);
  }
}

void DropFiles(HWND window, HDROP drop) noexcept {
  const DropOwner owner(drop);
  try {
    POINT at{};
    // False for a drop on the window's border or caption, which is no control's.
    if (!DragQueryPoint(drop, &at)) return;
    const int target = DropTargetAt(window, at);
    if (target == 0) return;
    const std::vector<std::wstring> paths = DroppedPaths(drop);
    HWND control = GetDlgItem(window, target);
    switch (target) {
      case List2: DropOnArchiveList(control, paths); break;
      case List3: DropOnAddList(control, paths); break;
      default: DropOnPathBox(control, paths); break;
    }
  } catch (...) {
    // Only memory can run out here; nothing is thrown back through the system's window code.
    MessageBoxW(window, L"内存不足，拖放的文件未能全部处理。", kAppTitle, MB_OK | MB_ICONERROR);
  }
}

std::optional<std::wstring> DroppedJobFile(HDROP drop) {
  if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) != 1) return std::nullopt;
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  std::wstring path(length + 1, L'\0');
  path.resize(DragQueryFileW(drop, 0, path.data(), length + 1));
  if (path.empty() || !HasJobFileExtension(path)) return std::nullopt;
  DragFinish(drop);
  return path;
}

}  // namespace rarbatch
