// What the archiver writes, and how its command line is split: the bare listing, the technical
// listing (with the references a delete would break) and the version banner never crash, and every word the splitter gives back is written so that it splits back whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/archive_names.h"
#include "core/archiver_args.h"
#include "core/archiver_calls.h"
#include "core/file_references.h"
#include "core/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<std::wstring> text =
      rarbatch::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!text) return 0;
  for (const std::wstring& entry : rarbatch::ParseBareListing(*text)) {
    if (entry.empty() || entry.find(L'\n') != std::wstring::npos) std::abort();
  }
  const std::vector<rarbatch::ListedEntry> listed = rarbatch::ParseTechnicalListing(*text);
  for (const rarbatch::ListedEntry& entry : listed) {
    if (entry.Name.empty() || entry.Name.find(L'\n') != std::wstring::npos) std::abort();
  }
  // A listing that is trusted gives exactly the entries parsed; one in words not known is not trusted.
  rarbatch::CallResult call;
  call.Outcome = rarbatch::CallOutcome::Exited;
  call.Output = *text;
  const rarbatch::ListingRead read = rarbatch::ReadReferenceListing(call);
  if (read.Read ? read.Entries.size() != listed.size() : read.Problem.empty()) std::abort();
  // Each target as a delete name: what breaks is a listed reference with its target.
  std::vector<std::wstring> names;
  for (const rarbatch::ListedEntry& entry : listed) names.push_back(entry.Target);
  for (const rarbatch::BrokenReference& broken : rarbatch::ReferencesLeftWithoutTarget(listed, names)) {
    if (broken.Reference.empty() || broken.Target.empty()) std::abort();
  }
  if (const auto version = rarbatch::ParseArchiverVersion(*text)) {
    std::wstring note;
    (void)rarbatch::RunOptionsFor(version, true, &note);
  }
  for (const std::wstring& word : rarbatch::DeleteEntryWords(*text)) {
    if (word.empty()) std::abort();
    const auto back = rarbatch::SplitArchiverArguments(rarbatch::QuoteArchiverArgument(word));
    if (back.size() != 1 || back[0] != word) std::abort();
  }
  return 0;
}
