// settings.ini: read forgivingly (a damaged or foreign file gives what it can, never an error) and
// written whole.
#include "core/settings_text.h"

#include "core/utf8.h"

namespace rarbatch {

namespace {

constexpr std::string_view kSection = "[rarbatch]";

struct Key {
  std::string_view Name;
  std::wstring Settings::*Member;
};
constexpr Key kKeys[] = {
    {"archiver", &Settings::LastArchiver},
    {"archive_folder", &Settings::ArchiveFolder},
    {"add_folder", &Settings::AddFolder},
};

std::string_view TrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

}  // namespace

std::string FormatSettings(const Settings& settings) {
  std::string text = std::string(kSection) + "\r\n";
  for (const Key& key : kKeys) {
    const std::wstring& value = settings.*key.Member;
    if (value.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos) continue;
    const auto utf8 = ToUtf8(value);
    if (!utf8) continue;
    text += std::string(key.Name) + "=" + *utf8 + "\r\n";
  }
  return text;
}

Settings ParseSettings(std::string_view text) {
  Settings settings;
  if (text.size() > kMaxSettingsBytes) return settings;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  if (!FromUtf8(text) || text.find('\0') != std::string_view::npos) return settings;
  bool inSection = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = TrimLineEnd(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.starts_with("[")) {
      inSection = line == kSection;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inSection || equals == std::string_view::npos) continue;
    for (const Key& key : kKeys) {
      if (line.substr(0, equals) == key.Name) settings.*key.Member = *FromUtf8(line.substr(equals + 1));
    }
  }
  return settings;
}

}  // namespace rarbatch
