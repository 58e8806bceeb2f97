// The rules of the run's backups, free of the system: where each archive's copy goes, the manifest
// that lists the copies, and the free space a run needs before it may start.
#include "backup_plan.h"
#include "core/number_text.h"

#include <algorithm>

namespace rarbatch {
namespace {

wchar_t FoldAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::wstring Folded(std::wstring s) {
  std::transform(s.begin(), s.end(), s.begin(), FoldAscii);
  return s;
}

bool StartsWithFolded(const std::wstring& s, const std::wstring& prefix, PathCaseFold fold) {
  if (s.size() < prefix.size()) return false;
  if (fold) return fold(s.substr(0, prefix.size())) == fold(prefix);
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (FoldAscii(s[i]) != FoldAscii(prefix[i])) return false;
  }
  return true;
}

// The shortest folder a path may have as its root: "C:\" or "\\server\share\"; 0 when neither.
std::size_t RootLength(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return 3;
  if (path.starts_with(L"\\\\")) {
    const std::size_t server = path.find(L'\\', 2);
    if (server == std::wstring::npos || server == 2) return 0;
    const std::size_t share = path.find(L'\\', server + 1);
    if (share == std::wstring::npos || share == server + 1) return 0;
    return share + 1;
  }
  return 0;
}

std::vector<std::wstring> Fields(const std::wstring& line) {
  std::vector<std::wstring> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find(L'\t', start);
    fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
    if (tab == std::wstring::npos) return fields;
    start = tab + 1;
  }
}

std::optional<std::uint64_t> Number(const std::wstring& text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    const std::uint64_t next = value * 10 + static_cast<std::uint64_t>(c - L'0');
    if (next / 10 != value) return std::nullopt;
    value = next;
  }
  return value;
}

// A copy's path as a manifest may hold it: relative, backslashes, no empty, "." or ".." step.
bool IsPlainRelative(const std::wstring& path) {
  if (path.empty() || path.find_first_of(L":/") != std::wstring::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find(L'\\', start);
    const std::wstring step = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (step.empty() || step == L"." || step == L"..") return false;
    if (end == std::wstring::npos) return true;
    start = end + 1;
  }
}

bool IsDigestText(const std::wstring& text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](wchar_t c) {
           return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
         });
}

}  // namespace

std::wstring CommonRoot(const std::vector<std::wstring>& paths, PathCaseFold fold) {
  if (paths.empty()) return {};
  std::wstring root = paths.front().substr(0, paths.front().find_last_of(L'\\') + 1);
  const std::size_t shortest = RootLength(paths.front());
  for (const std::wstring& path : paths) {
    while (root.size() >= shortest && shortest > 0 && !StartsWithFolded(path, root, fold)) {
      root.pop_back();
      root.erase(root.find_last_of(L'\\') + 1);
    }
    if (shortest == 0 || root.size() < shortest || RootLength(path) != shortest) return {};
  }
  return root;
}

std::wstring PathBelowRoot(const std::wstring& path, const std::wstring& root, PathCaseFold fold) {
  if (!root.empty() && StartsWithFolded(path, root, fold)) return path.substr(root.size());
  std::wstring below;
  for (wchar_t c : path) {
    if (c == L':') continue;
    if (c == L'\\' && (below.empty() || below.back() == L'\\')) continue;
    below.push_back(c);
  }
  return below;
}

std::wstring FormatAfterLine(const std::wstring& archive, const AfterRun& after) {
  return L"after\t" + (after.Gone ? std::wstring(L"gone") : std::wstring(after.Sha256.begin(), after.Sha256.end())) +
         L"\t" + Decimal(after.Gone ? 0 : after.Size) + L"\t" + archive + L"\r\n";
}

std::wstring FormatManifestLine(const BackupRecord& r) {
  return r.CopiedAt + L"\t" + std::wstring(r.Sha256.begin(), r.Sha256.end()) + L"\t" +
         Decimal(r.Size) + L"\t" + Decimal(r.Created) + L"\t" + Decimal(r.Modified) +
         L"\t" + r.Copy + L"\t" + r.Archive + L"\r\n";
}

std::optional<std::vector<BackupRecord>> ParseManifest(const std::wstring& text, std::size_t* badLine,
                                                       bool* tornEnd) {
  std::vector<BackupRecord> records;
  std::map<std::wstring, AfterRun> after;  // by the archive's folded path
  std::size_t number = 0, start = 0;
  bool header = false;
  if (tornEnd) *tornEnd = false;
  while (start < text.size()) {
    std::size_t end = text.find(L'\n', start);
    const bool ended = end != std::wstring::npos;
    if (!ended) end = text.size();
    std::wstring line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    *badLine = number;
    if (header && !ended) {
      // Cut short, a line may still read as a record, with its archive's path cut short too.
      if (tornEnd) *tornEnd = !line.empty();
      break;
    }
    if (!header) {
      if (line != kManifestHeader) return std::nullopt;
      header = true;
      continue;
    }
    if (line.empty()) continue;
    const std::vector<std::wstring> f = Fields(line);
    if (f.size() == 4 && f[0] == L"after") {
      const auto size = Number(f[2]);
      if ((f[1] == L"gone" || IsDigestText(f[1])) && size && RootLength(f[3]) != 0) {
        const bool gone = f[1] == L"gone";
        after[Folded(f[3])] = {gone, gone ? std::string() : std::string(f[1].begin(), f[1].end()), gone ? 0 : *size};
        continue;
      }
    } else if (f.size() == 7 && IsDigestText(f[1]) && IsPlainRelative(f[5]) && RootLength(f[6]) != 0) {
      const auto size = Number(f[2]), created = Number(f[3]), modified = Number(f[4]);
      if (size && created && modified) {
        records.push_back({f[0], std::string(f[1].begin(), f[1].end()), *size, *created, *modified, f[5], f[6], {}});
        continue;
      }
    }
    return std::nullopt;
  }
  *badLine = header ? 0 : 1;
  if (!header) return std::nullopt;
  for (BackupRecord& record : records) {
    const auto found = after.find(Folded(record.Archive));
    if (found != after.end()) record.After = found->second;
  }
  return records;
}

std::map<std::wstring, std::uint64_t> SpaceNeeded(const std::vector<ArchiveOnVolume>& archives,
                                                  std::uint64_t addedBytes, const std::wstring& backupVolume,
                                                  unsigned workers) {
  struct Volume {
    std::wstring Name;
    std::uint64_t Largest = 0, Count = 0;
  };
  std::map<std::wstring, Volume> volumes;  // by folded name
  std::uint64_t total = 0;
  for (const ArchiveOnVolume& a : archives) {
    Volume& v = volumes[Folded(a.Volume)];
    if (v.Name.empty()) v.Name = a.Volume;
    v.Largest = std::max(v.Largest, a.Size);
    ++v.Count;
    total += a.Size;
  }
  std::map<std::wstring, std::uint64_t> needed;
  std::map<std::wstring, std::wstring> names;  // folded name to the name shown
  for (const auto& [key, v] : volumes) {
    const std::uint64_t atOnce = std::min<std::uint64_t>(std::max(workers, 1u), v.Count);
    needed[key] += (v.Largest + addedBytes) * atOnce;
    names[key] = v.Name;
  }
  if (!backupVolume.empty()) {
    const std::wstring key = Folded(backupVolume);
    needed[key] += total;
    if (!names.count(key)) names[key] = backupVolume;
  }
  std::map<std::wstring, std::uint64_t> shown;
  for (const auto& [key, bytes] : needed) shown[names[key]] = bytes;
  return shown;
}

}  // namespace rarbatch
