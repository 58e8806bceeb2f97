// Samples of content to delete, and what an archive's listing and unpacked bytes say of them.
#include "core/content_samples.h"

#include <array>
#include <map>
#include <set>

#include "core/archive_names.h"
#include "core/number_text.h"

namespace rarbatch {
namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

// How many entries a problem's words name before they only count the rest.
constexpr std::size_t kNamedInWords = 3;

std::wstring NameSome(const std::vector<std::wstring>& entries) {
  std::wstring text;
  for (std::size_t i = 0; i < entries.size() && i < kNamedInWords; ++i) text += (i ? L"，" : L"") + entries[i];
  if (entries.size() > kNamedInWords) text += L" 等共 " + Decimal(entries.size()) + L" 个";
  return text;
}

// Whether the entry holds bytes of its own that unpack to what it is: a plain file (not a folder, a
// link or a reference).
bool HoldsOwnBytes(const ListedEntry& entry) { return entry.Type == L"File" && entry.Size.has_value(); }

// Whether the name, given to the delete, takes exactly this entry of the listing and nothing else.
bool NamesOnlyItself(const std::vector<ListedEntry>& entries, const std::wstring& name) {
  if (name.find_first_of(L"*?") != std::wstring::npos) return false;
  const std::wstring folded = FoldStoredPath(name);
  for (const ListedEntry& entry : entries) {
    const bool same = FoldStoredPath(entry.Name) == folded;
    if (DeleteNameTakes(name, entry.Name) != same) return false;
  }
  return true;
}

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::wstring Crc32Text(std::uint32_t crc) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring text(8, L'0');
  for (int i = 7; i >= 0; --i, crc >>= 4) text[static_cast<std::size_t>(i)] = kDigits[crc & 15];
  return text;
}

std::optional<std::uint32_t> ParseCrc32Text(const std::wstring& text) {
  if (text.size() != 8) return std::nullopt;
  std::uint32_t value = 0;
  for (wchar_t c : text) {
    unsigned digit;
    if (c >= L'0' && c <= L'9') digit = static_cast<unsigned>(c - L'0');
    else if (c >= L'A' && c <= L'F') digit = static_cast<unsigned>(c - L'A' + 10);
    else if (c >= L'a' && c <= L'f') digit = static_cast<unsigned>(c - L'a' + 10);
    else return std::nullopt;
    value = value << 4 | digit;
  }
  return value;
}

bool IsSha256Hex(const std::string& text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::wstring DigestStart(const ContentSample& sample) {
  const std::string start = sample.Sha256.substr(0, 12);
  return std::wstring(start.begin(), start.end());
}

std::wstring SampleName(const ContentSample& sample) {
  const std::size_t slash = sample.Origin.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? sample.Origin : sample.Origin.substr(slash + 1);
  return name.empty() ? L"样本 " + DigestStart(sample) : name;
}

std::optional<std::wstring> SampleRefusal(const ContentSample& sample) {
  if (sample.Size == 0) return L"样本是空文件，它会与每个空文件相同：" + SampleName(sample);
  if (!IsSha256Hex(sample.Sha256)) return L"样本的 SHA-256 无效：" + SampleName(sample);
  return std::nullopt;
}

bool HasSample(const std::vector<ContentSample>& samples, const ContentSample& sample) {
  for (const ContentSample& kept : samples) {
    if (kept.Size == sample.Size && kept.Sha256 == sample.Sha256) return true;
  }
  return false;
}

ContentScan ScanForContent(const std::vector<ListedEntry>& entries, const std::vector<ContentSample>& samples,
                           bool havePassword) {
  ContentScan scan;
  for (std::size_t e = 0; e < entries.size(); ++e) {
    const ListedEntry& entry = entries[e];
    if (!HoldsOwnBytes(entry)) continue;
    // The CRC32 tells only when it is the bytes' own: not a MAC, and known.
    const bool crcTells = entry.Crc32.has_value() && !entry.CrcIsMac;
    ContentCandidate candidate{e, {}};
    for (std::size_t s = 0; s < samples.size(); ++s) {
      if (samples[s].Size != *entry.Size || SampleRefusal(samples[s])) continue;
      if (crcTells && *entry.Crc32 != samples[s].Crc32) continue;
      candidate.Samples.push_back(s);
    }
    if (candidate.Samples.empty()) continue;
    if (entry.Encrypted && !havePassword) {
      scan.NeedPassword.push_back(e);
    } else {
      scan.Candidates.push_back(std::move(candidate));
    }
  }
  return scan;
}

ContentFindings ConcludeContent(const std::vector<ListedEntry>& entries, const std::vector<ContentSample>& samples,
                                const ContentScan& scan, const std::vector<std::optional<std::string>>& digests,
                                const std::vector<std::wstring>& deleteNames) {
  ContentFindings findings;
  findings.Listed = true;
  // Each confirmed entry's sample, by its folded path, for the references that follow it.
  std::map<std::wstring, std::size_t> confirmed;
  std::map<std::size_t, std::size_t> bySample;
  for (std::size_t c = 0; c < scan.Candidates.size(); ++c) {
    const ContentCandidate& candidate = scan.Candidates[c];
    const ListedEntry& entry = entries[candidate.Entry];
    if (c >= digests.size() || !digests[c]) {
      findings.Unreadable.push_back(entry.Name);
      continue;
    }
    for (std::size_t s : candidate.Samples) {
      if (samples[s].Sha256 != *digests[c]) continue;
      confirmed.emplace(FoldStoredPath(entry.Name), s);
      break;
    }
  }
  for (const ListedEntry& entry : entries) {
    auto found = confirmed.find(FoldStoredPath(entry.Name));
    if (found == confirmed.end() && NeedsTargetInArchive(entry)) found = confirmed.find(FoldStoredPath(entry.Target));
    if (found == confirmed.end()) continue;
    if (!NamesOnlyItself(entries, entry.Name)) {
      findings.NotNameable.push_back(entry.Name);
      continue;
    }
    findings.Matches.push_back({entry.Name, found->second});
    ++bySample[found->second];
  }
  for (const auto& [sample, count] : bySample) {
    if (count * 2 > entries.size()) findings.Overbroad.push_back(sample);
  }
  for (std::size_t e : scan.NeedPassword) findings.NotCompared.push_back(entries[e].Name);
  for (const ListedEntry& entry : entries) {
    for (const std::wstring& name : deleteNames) {
      if (!DeleteNameTakes(name, entry.Name)) continue;
      findings.ByName.push_back(entry.Name);
      break;
    }
  }
  return findings;
}

std::wstring DescribeContentProblems(const ContentFindings& findings, const std::vector<ContentSample>& samples) {
  std::wstring text;
  const auto add = [&text](const std::wstring& part) { text += (text.empty() ? L"" : L"；") + part; };
  if (!findings.NotCompared.empty()) add(L"无法比较：需要密码：" + NameSome(findings.NotCompared));
  if (!findings.Unreadable.empty()) add(L"无法读取内容，未比较：" + NameSome(findings.Unreadable));
  if (!findings.NotNameable.empty()) add(L"无法按确切路径删除，已保留：" + NameSome(findings.NotNameable));
  for (std::size_t s : findings.Overbroad) {
    if (s < samples.size()) add(L"样本 " + SampleName(samples[s]) + L" 与压缩包中超过一半的文件相同");
  }
  return text;
}

std::vector<std::wstring> ContentEntries(const ContentFindings& findings) {
  std::vector<std::wstring> paths;
  paths.reserve(findings.Matches.size());
  for (const ContentMatch& match : findings.Matches) paths.push_back(match.Entry);
  return paths;
}

}  // namespace rarbatch
