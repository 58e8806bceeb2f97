// The stand-in archiver's archive file, read and written by the stand-in and by the tests that
// prepare and check archives. It opens as a real archive does, with a RAR 5 signature and main archive
// header that carries the volume and lock flags (or, when the names are encrypted, an archive
// encryption header), so that the program's check of an archive's first bytes reads it as it reads a
// real one. Then UTF-8 lines ended by LF: "fake archive", then "locked" when locked,
// "volume" when the archive is one volume of a set, "encrypted <password>" when its names are
// encrypted (nothing can be read from it without that password), "recovery <percent>" when it has a
// recovery record (the main header then sets flag 0x0008), "solid" when it is solid (flag 0x0004), "comment <text>" when there is one,
// and "entry <name><TAB><password>" for each entry, or "entry <name><TAB><password><TAB><target>" for
// one stored as a reference to the entry <target> (an identical file added with -oi), either followed
// by "<TAB><bytes>" when the entry has contents: its bytes as hex digits (a reference's field is then
// empty when it is a file). In the text, name and password '\' is written "\\", tab "\t", LF "\n"
// and CR "\r". A file that starts otherwise is not an archive.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rarbatch::fake {

struct FakeEntry {
  std::wstring Name;
  std::wstring Password;  // empty when added without one
  std::wstring Target = {};  // a reference: the entry it is restored from; empty for a file
  std::string Data = {};     // a file's bytes (a reference has its target's)
  // The same entry by name, password and target: tests name the entries they expect, and their bytes
  // only where they look at them.
  bool operator==(const FakeEntry& other) const {
    return Name == other.Name && Password == other.Password && Target == other.Target;
  }
};

struct FakeArchive {
  bool Exists = false;  // whether the file is there at all (set by readers)
  bool Locked = false;
  std::wstring Comment;
  std::vector<FakeEntry> Entries;
  bool Volume = false;
  bool EncryptedNames = false;
  std::wstring NamesPassword;  // when EncryptedNames
  unsigned RecoveryPercent = 0;  // a recovery record of that percent; 0 for none
  bool Solid = false;            // made with -s; every rewrite keeps it so
};

inline std::uint32_t HeaderCrc32(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline constexpr std::string_view kRar5Signature("Rar!\x1A\x07\x01\x00", 8);

// The signature and first header of the archive: CRC32 (4 bytes, of what follows up to the header's
// end), the header's size (one byte here), then its type and fields. A main archive header (type 1)
// has header flags 0 and archive flags 0x0001 volume, 0x0004 solid, 0x0008 recovery record, 0x0010
// locked; an archive encryption header
// (type 4) has version 0, flags 0, a KDF count and a 16-byte salt.
inline std::string FakeArchiveHeader(const FakeArchive& archive) {
  std::string body;
  if (archive.EncryptedNames) {
    body = std::string("\x04\x00\x00\x0F", 4) + std::string(16, '\x00');
  } else {
    const char flags = static_cast<char>((archive.Volume ? 0x01 : 0) | (archive.Solid ? 0x04 : 0) |
                                         (archive.RecoveryPercent > 0 ? 0x08 : 0) | (archive.Locked ? 0x10 : 0));
    body = std::string("\x01\x00", 2) + flags;
  }
  const std::string sized = static_cast<char>(body.size()) + body;
  const std::uint32_t crc = HeaderCrc32(sized);
  std::string header(kRar5Signature);
  for (int i = 0; i < 4; ++i) header += static_cast<char>((crc >> (8 * i)) & 0xFF);
  return header + sized;
}

// The text after the header, or nothing when the bytes do not start with one.
inline std::optional<std::string_view> FakeArchiveText(std::string_view bytes) {
  constexpr std::size_t kSizeAt = 8 + 4;
  if (bytes.substr(0, 8) != kRar5Signature || bytes.size() <= kSizeAt) return std::nullopt;
  const std::size_t size = static_cast<unsigned char>(bytes[kSizeAt]);
  if (size >= 0x80 || bytes.size() < kSizeAt + 1 + size) return std::nullopt;
  return bytes.substr(kSizeAt + 1 + size);
}

inline std::wstring HexOf(const std::string& bytes) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring hex;
  hex.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    hex += kDigits[(static_cast<unsigned char>(c) >> 4) & 15];
    hex += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}

inline std::string BytesOfHex(const std::wstring& hex) {
  const auto digit = [](wchar_t c) { return c <= L'9' ? c - L'0' : (c | 0x20) - L'a' + 10; };
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(digit(hex[i]) << 4 | digit(hex[i + 1]));
  return bytes;
}

// A file's CRC32, as the listing gives it.
inline std::uint32_t DataCrc32(const std::string& bytes) { return HeaderCrc32(bytes); }

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
    } else if (s == L"solid") {
      archive->Solid = true;
    } else if (s.starts_with(L"encrypted ")) {
      archive->EncryptedNames = true;
      archive->NamesPassword = UnescapeField(s.substr(10));
    } else if (s.starts_with(L"recovery ")) {
      archive->RecoveryPercent = static_cast<unsigned>(std::wcstoul(s.c_str() + 9, nullptr, 10));
    } else if (s.starts_with(L"comment ")) {
      archive->Comment = UnescapeField(s.substr(8));
    } else if (s.starts_with(L"entry ") && tab != std::wstring::npos) {
      const std::size_t second = s.find(L'\t', tab + 1);
      const std::size_t third = second == std::wstring::npos ? second : s.find(L'\t', second + 1);
      const std::wstring password = s.substr(tab + 1, second == std::wstring::npos ? std::wstring::npos : second - tab - 1);
      const std::wstring target =
          second == std::wstring::npos ? L"" : s.substr(second + 1, third == std::wstring::npos ? third : third - second - 1);
      const std::string data = third == std::wstring::npos ? "" : BytesOfHex(s.substr(third + 1));
      archive->Entries.push_back(
          {UnescapeField(s.substr(6, tab - 6)), UnescapeField(password), UnescapeField(target), data});
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
  if (archive.Solid) text += L"solid\n";
  if (archive.EncryptedNames) text += L"encrypted " + EscapeField(archive.NamesPassword) + L"\n";
  if (archive.RecoveryPercent > 0) text += L"recovery " + std::to_wstring(archive.RecoveryPercent) + L"\n";
  if (!archive.Comment.empty()) text += L"comment " + EscapeField(archive.Comment) + L"\n";
  for (const auto& e : archive.Entries) {
    text += L"entry " + EscapeField(e.Name) + L"\t" + EscapeField(e.Password);
    if (!e.Target.empty() || !e.Data.empty()) text += L"\t" + EscapeField(e.Target);
    if (!e.Data.empty()) text += L"\t" + HexOf(e.Data);
    text += L"\n";
  }
  return text;
}

}  // namespace rarbatch::fake
