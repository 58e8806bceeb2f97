// Which stored references a job's deletes would leave without their target, read from the archiver's
// technical listing.
#include "core/file_references.h"

#include <set>

#include "core/archive_names.h"
#include "core/content_samples.h"
#include "core/archiver_args.h"
#include "core/kept_output.h"
#include "core/number_text.h"

namespace rarbatch {
namespace {

// "Key: value" of one line of a block, the key's indent dropped; false for any other line.
bool SplitKeyLine(const std::wstring& line, std::wstring& key, std::wstring& value) {
  const std::size_t start = line.find_first_not_of(L' ');
  if (start == std::wstring::npos) return false;
  const std::size_t colon = line.find(L": ", start);
  if (colon == std::wstring::npos || colon == start) return false;
  key = line.substr(start, colon - start);
  value = line.substr(colon + 2);
  return true;
}

// A decimal count of at most 19 digits; nothing for anything else.
std::optional<std::uint64_t> ParseCount(const std::wstring& text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - L'0');
  }
  return value;
}

// Calls `visit(line, keyLine, key, value)` for each line of a listing, its line break dropped; keyLine
// says whether it is a "Key: value" line (SplitKeyLine).
template <typename Visit>
void ForEachListingLine(const std::wstring& output, Visit visit) {
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find(L'\n', start);
    if (end == std::wstring::npos) end = output.size();
    std::wstring line = output.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    std::wstring key, value;
    const bool keyLine = SplitKeyLine(line, key, value);
    visit(line, keyLine, key, value);
  }
}

// Whether every indented block of "Key: value" lines opens with "Name: ", as each entry's block of an
// English listing does. An archiver that speaks another language names its keys otherwise, and its
// listing would read as an archive without entries: nothing found, and a delete let through unchecked.
bool ListingWordsKnown(const std::wstring& output) {
  bool known = true, afterKeyLine = false;
  ForEachListingLine(output, [&](const std::wstring& line, bool keyLine, const std::wstring& key,
                                 const std::wstring&) {
    if (keyLine && !afterKeyLine && line.front() == L' ' && key != L"Name") known = false;
    afterKeyLine = keyLine;
  });
  return known;
}

// How many broken references the refusal names before it only counts the rest.
constexpr std::size_t kNamedInRefusal = 3;

}  // namespace

std::vector<ListedEntry> ParseTechnicalListing(const std::wstring& output) {
  std::vector<ListedEntry> entries;
  bool inBlock = false;
  ForEachListingLine(output, [&](const std::wstring& line, bool keyLine, const std::wstring& key,
                                 const std::wstring& value) {
    if (!keyLine) {
      // A blank line, or any line that is no "Key: value", ends the entry's block.
      inBlock = false;
      return;
    }
    // Only an indented "Name: " opens a block: the listing's own lines at the left edge
    // ("Archive: …", "Details: …") never do.
    if (key == L"Name" && line.front() == L' ' && !value.empty()) {
      entries.emplace_back().Name = value;
      inBlock = true;
    } else if (inBlock && key == L"Type") {
      entries.back().Type = value;
    } else if (inBlock && key == L"Target") {
      entries.back().Target = value;
    } else if (inBlock && key == L"Size") {
      entries.back().Size = ParseCount(value);
    } else if (inBlock && (key == L"CRC32" || key == L"CRC32 MAC")) {
      entries.back().Crc32 = ParseCrc32Text(value);
      entries.back().CrcIsMac = key == L"CRC32 MAC";
    } else if (inBlock && key == L"Flags") {
      entries.back().Encrypted = value.find(L"encrypted") != std::wstring::npos;
    }
  });
  return entries;
}

bool NeedsTargetInArchive(const ListedEntry& entry) {
  return !entry.Target.empty() && (entry.Type == L"File reference" || entry.Type == L"Hard link");
}

std::vector<BrokenReference> ReferencesLeftWithoutTarget(const std::vector<ListedEntry>& entries,
                                                         const std::vector<std::wstring>& names) {
  const auto taken = [&names](const std::wstring& entry) {
    for (const std::wstring& name : names) {
      if (DeleteNameTakes(name, entry)) return true;
    }
    return false;
  };
  std::set<std::wstring> stored;
  for (const ListedEntry& entry : entries) stored.insert(FoldStoredPath(entry.Name));
  std::vector<BrokenReference> broken;
  for (const ListedEntry& entry : entries) {
    if (!NeedsTargetInArchive(entry) || !stored.count(FoldStoredPath(entry.Target))) continue;
    if (taken(entry.Target) && !taken(entry.Name)) broken.push_back({entry.Name, entry.Target});
  }
  return broken;
}

std::wstring DescribeBrokenReferences(const std::vector<BrokenReference>& broken) {
  std::wstring text = L"删除会使文件引用无法解压：";
  for (std::size_t i = 0; i < broken.size() && i < kNamedInRefusal; ++i) {
    text += (i ? L"；" : L"") + broken[i].Reference + L" → " + broken[i].Target;
  }
  if (broken.size() > kNamedInRefusal) text += L"；等共 " + Decimal(broken.size()) + L" 个";
  return text;
}

CallResult ReferenceListingCall(const BatchJob& job, std::size_t archive, const RunOptions& options,
                                bool withPassword) {
  CallResult call;
  call.Operation = ScriptOperation::Delete;  // it serves the delete that follows
  call.Utf8Output = options.Utf8Output;
  call.CommandLine = QuoteArchiverArgument(job.RarPath) + L" lt -c-";
  AppendReadingPassword(call, options, withPassword);
  if (options.Utf8Output) call.CommandLine += L" -scfr";
  call.CommandLine += L" " + QuoteArchiverArgument(job.Archives[archive]);
  return call;
}

void AppendReadingPassword(CallResult& call, const RunOptions& options, bool withPassword) {
  if (!withPassword || options.Password == PasswordSource::None) {
    call.CommandLine += L" -p-";
  } else if (options.Password == PasswordSource::StandardInput) {
    call.CommandLine += L" -p";
    call.PasswordOnInput = true;
  } else {
    call.CommandLine += L" ";
    call.PasswordAt = call.CommandLine.size();
    call.CommandLine += kMaskedPasswordSwitch;
  }
}

ListingRead ReadReferenceListing(const CallResult& call) {
  ListingRead listing;
  if (call.Outcome == CallOutcome::StartFailed) {
    listing.Problem = L"无法启动压缩程序：" + call.Output;
  } else if (call.Outcome != CallOutcome::Exited) {
    listing.Problem = L"列出文件时被中止";
  } else if (call.ExitCode != 0) {
    listing.Problem = ExitCodeMeaning(call.ExitCode) + L" (" + Decimal(call.ExitCode) + L")";
  } else if (call.Output.find(kLeftOutMark) != std::wstring::npos) {
    listing.CutShort = true;
    listing.Problem = L"文件太多，无法完整列出";
  } else if (!ListingWordsKnown(call.Output)) {
    listing.Problem = L"无法读懂压缩程序的列表（需要英文版的压缩程序）";
  } else {
    listing.Read = true;
    listing.Entries = ParseTechnicalListing(call.Output);
  }
  return listing;
}

}  // namespace rarbatch
