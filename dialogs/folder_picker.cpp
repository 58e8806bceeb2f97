// The folder-browse dialog: asks for a file-system folder and returns it as a plain path.
#include "dialogs/folder_picker.h"

#include <objbase.h>
#include <shlobj.h>

#include "dialogs/dialog_records.h"
#include "win/handles.h"

namespace rarbatch {
namespace {

std::wstring TrimSpaces(const std::wstring& text) {
  const auto first = text.find_first_not_of(L' ');
  if (first == std::wstring::npos) return {};
  const auto last = text.find_last_not_of(L' ');
  return text.substr(first, last - first + 1);
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

std::wstring BrowseForFolder(HWND owner, const std::wstring& prompt, const std::wstring& /*unused*/) {
  ComApartment com;
  BROWSEINFOW info = MakeBrowseInfo(owner, prompt);
  const CoTaskMemPtr<ITEMIDLIST> chosen(SHBrowseForFolderW(&info));
  if (!chosen) return {};

  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(chosen.get(), path)) return {};  // not a file-system folder
  path[MAX_PATH - 1] = L'\0';
  return TrimSpaces(path);
}

}  // namespace rarbatch
