// The archiver-free half of the rewrite benchmark, kept apart so that its tests need no archiver.
#include "bench/rewrite_support.h"

#include <algorithm>
#include <sstream>

namespace rarbatch::bench {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string BaseName(const std::string& entry) {
  const std::size_t slash = entry.find_last_of("/\\");
  return slash == std::string::npos ? entry : entry.substr(slash + 1);
}

bool IsAdded(const std::string& entry, const std::vector<std::string>& addedBaseNames) {
  return std::find(addedBaseNames.begin(), addedBaseNames.end(), BaseName(entry)) !=
         addedBaseNames.end();
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

std::optional<ProcessIo> ParseProcessIo(const std::string& text) {
  ProcessIo io;
  int found = 0;
  for (const std::string& line : Lines(text)) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = line.substr(0, colon);
    std::uint64_t* field = key == "wchar"                   ? &io.Wchar
                           : key == "write_bytes"           ? &io.WriteBytes
                           : key == "cancelled_write_bytes" ? &io.CancelledWriteBytes
                                                            : nullptr;
    if (field == nullptr) continue;
    try {
      *field = std::stoull(line.substr(colon + 1));
    } catch (...) {
      return std::nullopt;
    }
    ++found;
  }
  if (found != 3) return std::nullopt;
  return io;
}

std::wstring InterpretScriptLine(const std::wstring& line) {
  std::wstring expanded;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == L'\r' || line[i] == L'\n') break;
    if (line[i] == L'%' && i + 1 < line.size() && line[i + 1] == L'%') ++i;
    expanded.push_back(line[i]);
  }
  std::wstring out;
  bool quoted = false;
  for (std::size_t i = 0; i < expanded.size(); ++i) {
    const wchar_t c = expanded[i];
    if (c == L'"') quoted = !quoted;
    if (c == L'^' && !quoted && i + 1 < expanded.size()) {
      out.push_back(expanded[++i]);
      continue;
    }
    out.push_back(c);
  }
  return out;
}

std::vector<std::string> ComparableEntries(const std::string& bareListing,
                                           const std::vector<std::string>& addedBaseNames) {
  std::vector<std::string> entries;
  for (const std::string& line : Lines(bareListing)) {
    if (line.empty()) continue;
    entries.push_back(IsAdded(line, addedBaseNames) ? BaseName(line) : line);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::vector<std::string> AddedEntries(const std::string& bareListing,
                                      const std::vector<std::string>& addedBaseNames) {
  std::vector<std::string> entries;
  for (const std::string& line : Lines(bareListing)) {
    if (!line.empty() && IsAdded(line, addedBaseNames)) entries.push_back(line);
  }
  return entries;
}

ArchiveListing ParseArchiveListing(const std::string& listing) {
  ArchiveListing result;
  enum class Part { Before, Comment, Header, Entries, After } part = Part::Before;
  std::vector<std::string> comment;
  for (const std::string& line : Lines(listing)) {
    switch (part) {
      case Part::Before:
      case Part::Comment:
        if (line == "Archive comment:") {
          part = Part::Comment;
        } else if (StartsWith(line, "Archive: ")) {
          part = Part::Header;
        } else if (part == Part::Comment) {
          comment.push_back(line);
        }
        break;
      case Part::Header:
        if (StartsWith(line, "Details: ")) {
          std::istringstream items(line.substr(9));
          std::string item;
          while (std::getline(items, item, ',')) {
            item.erase(0, item.find_first_not_of(' '));
            if (item == "lock") result.Locked = true;
          }
        } else if (StartsWith(line, "-----------")) {
          part = Part::Entries;
        }
        break;
      case Part::Entries:
        if (StartsWith(line, "-----------")) {
          part = Part::After;
        } else if (!line.empty() && line.front() == '*') {
          ++result.EncryptedEntries;
        }
        break;
      case Part::After:
        break;
    }
  }
  while (!comment.empty() && comment.back().empty()) comment.pop_back();
  for (std::size_t i = 0; i < comment.size(); ++i) {
    if (i > 0) result.Comment += '\n';
    result.Comment += comment[i];
  }
  return result;
}

std::string WithThousands(std::uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(',');
    grouped.push_back(digits[i]);
  }
  return grouped;
}

std::string ToUtf8(const std::wstring& s) {
  std::string out;
  for (wchar_t wc : s) {
    const auto c = static_cast<std::uint32_t>(wc);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace rarbatch::bench
