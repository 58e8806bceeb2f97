// What the program remembers for the user between runs, and its settings.ini text. The text is the
// program's own: UTF-8, one "key=value" a line under [rarbatch].
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rarbatch {

struct Settings {
  std::wstring LastArchiver;   // the archiver of the last run or script
  std::wstring ArchiveFolder;  // the folder last imported into the archive list
  std::wstring AddFolder;      // the folder last imported into the add list
  bool operator==(const Settings&) const = default;
};

// A settings file larger than this is not the program's: it is ignored unread.
inline constexpr std::size_t kMaxSettingsBytes = 64 * 1024;

// The file's text. A value holding a line break or NUL cannot be kept in a line and is left out.
std::string FormatSettings(const Settings& settings);

// The settings a file's text holds. Whatever is not the program's (another section, an unknown key,
// a line without '=') is passed over; text that is not UTF-8, or is too large, gives no settings.
Settings ParseSettings(std::string_view text);

}  // namespace rarbatch
