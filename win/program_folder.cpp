// The folder that holds the running program.
#include "win/program_folder.h"

#include <windows.h>

#include "core/paths.h"

namespace rarbatch {

std::wstring ProgramFolder() {
  // Grow the buffer until the whole path fits: a program folder may be longer than MAX_PATH.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return WithTrailingBackslash(L".");
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L'\\');
  path.resize(slash == std::wstring::npos ? 0 : slash);
  return WithTrailingBackslash(path);
}

}  // namespace rarbatch
