// The folder-browse dialog: asks for a file-system folder and returns it as a plain path, or why
// there is none.
#include "dialogs/folder_picker.h"

#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "dialogs/dialog_records.h"
#include "win/handles.h"

namespace rarbatch {
namespace {

// The longest path the system takes, in characters, with its terminating NUL.
constexpr DWORD kLongestPath = 32768;

using GetPathFromIdListExFn = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, PWSTR, DWORD, GPFIDL_FLAGS);

struct ShellFolderReleaser {
  void operator()(IShellFolder* folder) const { folder->Release(); }
};

std::wstring TrimSpaces(const std::wstring& text) {
  const auto first = text.find_first_not_of(L' ');
  if (first == std::wstring::npos) return {};
  const auto last = text.find_last_not_of(L' ');
  return text.substr(first, last - first + 1);
}

// The path the shell gives for the item, or false when it gives none. Where the call that takes a
// buffer of any size is missing, the one with a MAX_PATH buffer.
bool PathOfItem(PCIDLIST_ABSOLUTE item, std::wstring& path) {
  static const auto getPathEx = reinterpret_cast<GetPathFromIdListExFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"shell32.dll"), "SHGetPathFromIDListEx")));
  std::vector<wchar_t> buffer(getPathEx ? kLongestPath : MAX_PATH, L'\0');
  const BOOL got = getPathEx ? getPathEx(item, buffer.data(), kLongestPath, GPFIDL_DEFAULT)
                             : SHGetPathFromIDListW(item, buffer.data());
  if (!got) return false;
  buffer.back() = L'\0';
  path = buffer.data();
  return true;
}

// Whether `path` names the item itself: the shell parses it back to an item it holds equal.
bool NamesItem(const std::wstring& path, PCIDLIST_ABSOLUTE item) {
  PIDLIST_ABSOLUTE parsed = nullptr;
  if (FAILED(SHParseDisplayName(path.c_str(), nullptr, &parsed, 0, nullptr)) || !parsed) return false;
  const CoTaskMemPtr<ITEMIDLIST> owned(parsed);
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) return false;
  const std::unique_ptr<IShellFolder, ShellFolderReleaser> owner(desktop);
  const HRESULT order = desktop->CompareIDs(0, item, parsed);
  return SUCCEEDED(order) && HRESULT_CODE(order) == 0;
}

}  // namespace

BROWSEINFOW MakeBrowseInfo(HWND owner, const std::wstring& prompt) {
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;  // start at the desktop
  info.pszDisplayName = nullptr;
  info.lpszTitle = prompt.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  return info;
}

PickedFolder FolderOfItem(PCIDLIST_ABSOLUTE item) {
  std::wstring path;
  if (!PathOfItem(item, path) || path.empty()) return {FolderPick::PathNotWhole, path};
  // A path exactly as long as a MAX_PATH buffer holds may have been cut there (Wine's shell cuts
  // every longer path so, and reports success): taken only when it leads back to the same item.
  if (path.size() == MAX_PATH - 1 && !NamesItem(path, item)) return {FolderPick::PathNotWhole, path};
  // Spaces at either end are not kept, as ever; but a folder whose name has them is then another
  // folder, or none.
  if (TrimSpaces(path) != path) return {FolderPick::EndsInSpace, path};
  return {FolderPick::Chosen, path};
}

namespace {

// Selects the start folder once the dialog is up; the dialog starts at the desktop when the folder
// is no longer there.
int CALLBACK SelectStartFolder(HWND dialog, UINT message, LPARAM, LPARAM start) {
  if (message == BFFM_INITIALIZED && start) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, start);
  return 0;
}

}  // namespace

PickedFolder BrowseForFolder(HWND owner, const std::wstring& prompt, const std::wstring& startFolder) {
  ComApartment com;
  BROWSEINFOW info = MakeBrowseInfo(owner, prompt);
  if (!startFolder.empty()) {
    info.lpfn = SelectStartFolder;
    info.lParam = reinterpret_cast<LPARAM>(startFolder.c_str());
  }
  const CoTaskMemPtr<ITEMIDLIST> chosen(SHBrowseForFolderW(&info));
  if (!chosen) return {FolderPick::Cancelled, {}};
  return FolderOfItem(chosen.get());
}

}  // namespace rarbatch
