// The archiver's rules of matching delete names against stored paths.
#include "core/archive_names.h"

#include <cwctype>

#include "core/archiver_args.h"

namespace rarbatch {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool HasWildcard(const std::wstring& text) { return text.find_first_of(L"*?") != std::wstring::npos; }

// Lower case, with '/' as '\', so that two paths compare as the archiver on Windows compares them.
std::wstring Fold(const std::wstring& text) {
  std::wstring folded = text;
  for (auto& c : folded) c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
  return folded;
}

std::size_t NamePartStart(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? 0 : cut + 1;
}

// '*' any run of characters, separators included; '?' any one character.
bool Glob(const std::wstring& text, const std::wstring& mask) {
  std::size_t t = 0, m = 0, starM = std::wstring::npos, starT = 0;
  while (t < text.size()) {
    if (m < mask.size() && (mask[m] == L'?' || mask[m] == text[t])) {
      ++t, ++m;
    } else if (m < mask.size() && mask[m] == L'*') {
      starM = m++;
      starT = t;
    } else if (starM != std::wstring::npos) {
      m = starM + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == L'*') ++m;
  return m == mask.size();
}

// A mask against a folded text whose name part decides the dot rules: ".*" at the end also takes
// names without a dot, a lone '.' at the end takes only those.
bool MaskMatches(const std::wstring& text, const std::wstring& mask) {
  const bool nameHasDot = text.find(L'.', NamePartStart(text)) != std::wstring::npos;
  const std::size_t size = mask.size();
  if (size >= 2 && mask.compare(size - 2, 2, L".*") == 0) {
    return Glob(text, mask) || (!nameHasDot && Glob(text, mask.substr(0, size - 2)));
  }
  if (size >= 1 && mask[size - 1] == L'.') return !nameHasDot && Glob(text, mask.substr(0, size - 1));
  return Glob(text, mask);
}

bool StartsWith(const std::wstring& text, const std::wstring& start) {
  return text.size() >= start.size() && text.compare(0, start.size(), start) == 0;
}

}  // namespace

bool DeleteNameTakes(const std::wstring& name, const std::wstring& entry) {
  if (name.empty() || entry.empty()) return false;
  const std::wstring n = Fold(name), e = Fold(entry);
  if (n == L"." || n.back() == L'\\') return true;
  const std::size_t nameStart = NamePartStart(n);
  const std::wstring folder = n.substr(0, nameStart), own = n.substr(nameStart);
  if (HasWildcard(folder)) return MaskMatches(e, n);
  if (HasWildcard(own)) {
    return StartsWith(e, folder) && MaskMatches(e.substr(NamePartStart(e)), own);
  }
  if (own.back() == L'.') {
    std::wstring exact = n;
    while (!exact.empty() && exact.back() == L'.') exact.pop_back();
    return !exact.empty() && e == exact;
  }
  return e == n || (StartsWith(e, n) && e[n.size()] == L'\\');
}

DeleteWords SplitDeleteEntries(const std::vector<std::wstring>& entries) {
  DeleteWords words;
  for (const std::wstring& entry : entries) {
    for (std::wstring& word : DeleteEntryWords(entry)) {
      if (word[0] == L'-') {
        words.Switches.push_back(std::move(word));
      } else if (word[0] == L'@') {
        words.ListFiles.push_back(std::move(word));
      } else {
        words.Names.push_back(std::move(word));
      }
    }
  }
  return words;
}

std::wstring RootNameOfAdded(const std::wstring& path) {
  std::size_t end = path.size();
  while (end > 0 && IsSeparator(path[end - 1])) --end;
  const std::wstring trimmed = path.substr(0, end);
  const std::size_t cut = trimmed.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? trimmed : trimmed.substr(cut + 1);
}

std::vector<std::wstring> ParseBareListing(const std::wstring& output) {
  std::vector<std::wstring> entries;
  for (std::size_t start = 0; start < output.size();) {
    std::size_t end = output.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) end = output.size();
    if (end > start) entries.push_back(output.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

std::wstring FoldStoredPath(const std::wstring& path) { return Fold(path); }

}  // namespace rarbatch
