// Selecting a folder in the folder-browse dialog, as a test answers it.
#include "folder_selection.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

namespace rarbatch::testing {
namespace {

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

}  // namespace

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

}  // namespace rarbatch::testing
