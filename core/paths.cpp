// Small rules on folder paths shared by the program folder, folder import and drops.
#include "paths.h"

namespace rarbatch {
namespace {

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Whether every step after the first `start` characters is a real name: no "/", no empty step but
// a last one (the path may end in a backslash), no "." or "..".
bool StepsArePlain(const std::wstring& path, std::size_t start) {
  if (path.find(L'/') != std::wstring::npos) return false;
  std::size_t at = start;
  while (at < path.size()) {
    std::size_t end = path.find(L'\\', at);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring step = path.substr(at, end - at);
    if (step == L"." || step == L"..") return false;
    if (step.empty() && end != path.size()) return false;
    at = end + 1;
  }
  return true;
}

}  // namespace

std::wstring WithTrailingBackslash(std::wstring folder) {
  if (folder.empty() || folder.back() != L'\\') folder.push_back(L'\\');
  return folder;
}

std::wstring ExtendedLengthPath(const std::wstring& path) {
  // "C:\..."
  if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && path[2] == L'\\') {
    return StepsArePlain(path, 3) ? L"\\\\?\\" + path : path;
  }
  // "\\server\share..." with both named; not "\\?\..." or "\\.\...", which are device forms already.
  if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.') {
    const std::size_t serverEnd = path.find(L'\\', 2);
    if (serverEnd == std::wstring::npos || serverEnd == 2) return path;
    const std::size_t shareStart = serverEnd + 1;
    if (shareStart >= path.size() || path[shareStart] == L'\\') return path;
    return StepsArePlain(path, 2) ? L"\\\\?\\UNC\\" + path.substr(2) : path;
  }
  return path;
}

}  // namespace rarbatch
