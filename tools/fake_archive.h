// The stand-in archiver's archive file, read and written by the stand-in and by the tests that
// prepare and check archives. UTF-8 lines ended by LF: "fake archive", then "locked" when locked,
// "volume" when the archive is one volume of a set, "encrypted <password>" when its names are
// encrypted (nothing can be read from it without that password), "comment <text>" when there is one,
// and "entry <name><TAB><password>" for each entry. In the text, name and password '\' is written
// "\\", tab "\t", LF "\n" and CR "\r". An empty file is an empty archive; a file that starts with
// anything else than "fake archive" is not an archive.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace rarbatch::fake {

struct FakeEntry {
  std::wstring Name;
  std::wstring Password;  // empty when added without one
  bool operator==(const FakeEntry&) const = default;
};

struct FakeArchive {
  bool Exists = false;  // whether the file is there at all (set by readers)
  bool Locked = false;
  std::wstring Comment;
  std::vector<FakeEntry> Entries;
  bool Volume = false;
  bool EncryptedNames = false;
  std::wstring NamesPassword;  // when EncryptedNames
};

inline std::wstring EscapeField(const std::wstring& s) {
  std::wstring out;
  for (wchar_t c : s) {
    const wchar_t* code = c == L'\\' ? L"\\\\" : c == L'\t' ? L"\\t"
                        : c == L'\n' ? L"\\n" : c == L'\r' ? L"\\r" : nullptr;
    code ? out.append(code) : out.append(1, c);
  }
  return out;
}

inline std::wstring UnescapeField(const std::wstring& s) {
  std::wstring out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != L'\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const wchar_t c = s[++i];
    out += c == L't' ? L'\t' : c == L'n' ? L'\n' : c == L'r' ? L'\r' : c;
  }
  return out;
}

// Reads the archive's text; false when it is not in the format (an empty text is an empty archive).
inline bool ParseFakeArchive(const std::wstring& text, FakeArchive* archive) {
  std::size_t start = 0;
  for (bool first = true; start < text.size(); first = false) {
    const std::size_t end = std::min(text.find(L'\n', start), text.size());
    std::wstring s = text.substr(start, end - start);
    start = end + 1;
    if (!s.empty() && s.back() == L'\r') s.pop_back();
    const std::size_t tab = s.find(L'\t');
    if (first) {
      if (s != L"fake archive") return false;
    } else if (s == L"locked") {
      archive->Locked = true;
    } else if (s == L"volume") {
      archive->Volume = true;
    } else if (s.starts_with(L"encrypted ")) {
      archive->EncryptedNames = true;
      archive->NamesPassword = UnescapeField(s.substr(10));
    } else if (s.starts_with(L"comment ")) {
      archive->Comment = UnescapeField(s.substr(8));
    } else if (s.starts_with(L"entry ") && tab != std::wstring::npos) {
      archive->Entries.push_back({UnescapeField(s.substr(6, tab - 6)), UnescapeField(s.substr(tab + 1))});
    } else if (!s.empty()) {
      return false;
    }
  }
  return true;
}

inline std::wstring FormatFakeArchive(const FakeArchive& archive) {
  std::wstring text = L"fake archive\n";
  if (archive.Locked) text += L"locked\n";
  if (archive.Volume) text += L"volume\n";
  if (archive.EncryptedNames) text += L"encrypted " + EscapeField(archive.NamesPassword) + L"\n";
  if (!archive.Comment.empty()) text += L"comment " + EscapeField(archive.Comment) + L"\n";
  for (const auto& e : archive.Entries) {
    text += L"entry " + EscapeField(e.Name) + L"\t" + EscapeField(e.Password) + L"\n";
  }
  return text;
}

}  // namespace rarbatch::fake
