// What an archive file itself carries beside its contents, and which of it the program puts back
// after the archiver has replaced the file with a new one: the read-only, hidden and archive
// attributes, and the Zone.Identifier stream that marks a downloaded file. Extractors pass that mark
// on to the files they extract, so an archive that lost it would let files from the internet pass
// for local ones.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rarbatch {

// The attributes as the system numbers them.
inline constexpr std::uint32_t kReadOnlyAttribute = 0x1;
inline constexpr std::uint32_t kHiddenAttribute = 0x2;
inline constexpr std::uint32_t kArchiveAttribute = 0x20;
inline constexpr std::uint32_t kKeptAttributes = kReadOnlyAttribute | kHiddenAttribute | kArchiveAttribute;

// The stream's name, after the file's path and a colon.
inline constexpr wchar_t kZoneStreamName[] = L"Zone.Identifier";

struct FileMarks {
  std::uint32_t Attributes = 0;
  std::optional<std::string> Zone;  // the Zone.Identifier stream's bytes, when the file has one
  bool operator==(const FileMarks&) const = default;
};

// Whether `before` carries anything the program would put back.
bool CarriesMarks(const FileMarks& before);

// The marks the user would miss, named: "只读、隐藏、下载标记" (the archive attribute, which nearly
// every file has, is kept but not named); empty when there are none.
std::wstring NameMarks(const FileMarks& marks);

// What to give the file that now holds `now` so that it carries what `before` carried and it lacks:
// its attributes with the kept ones of `before` added, and the stream when it has none. Nothing is
// taken away: what the new file carries of its own stays.
FileMarks MarksToPutBack(const FileMarks& before, const FileMarks& now);

}  // namespace rarbatch
