// Volume names: only the part number decides.
#include "core/volume_names.h"

#include <cwctype>

namespace rarbatch {

bool IsLaterVolume(const std::wstring& path) {
  std::wstring lower = path;
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  if (!lower.ends_with(L".rar")) return false;
  std::size_t end = lower.size() - 4;
  std::size_t start = end;
  while (start > 0 && lower[start - 1] >= L'0' && lower[start - 1] <= L'9') --start;
  if (start == end || start < 5 || lower.compare(start - 5, 5, L".part") != 0) return false;
  while (start < end - 1 && lower[start] == L'0') ++start;  // leading zeros
  return !(end - start == 1 && lower[start] == L'1');
}

}  // namespace rarbatch
