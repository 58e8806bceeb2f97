// The archiver's rules of matching delete names against stored paths, and a job's predicted effect.
#include "core/archive_names.h"

#include <cwctype>
#include <set>

#include "core/archiver_args.h"
#include "core/number_text.h"

namespace rarbatch {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool HasWildcard(const std::wstring& text) { return text.find_first_of(L"*?") != std::wstring::npos; }

// Lower case, with '/' as '\', so that two paths compare as the archiver on Windows compares them.
std::wstring Fold(const std::wstring& text) {
  std::wstring folded = text;
  for (auto& c : folded) c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
  return folded;
}

std::size_t NamePartStart(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? 0 : cut + 1;
}

// '*' any run of characters, separators included; '?' any one character.
bool Glob(const std::wstring& text, const std::wstring& mask) {
  std::size_t t = 0, m = 0, starM = std::wstring::npos, starT = 0;
  while (t < text.size()) {
    if (m < mask.size() && (mask[m] == L'?' || mask[m] == text[t])) {
      ++t, ++m;
    } else if (m < mask.size() && mask[m] == L'*') {
      starM = m++;
      starT = t;
    } else if (starM != std::wstring::npos) {
      m = starM + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == L'*') ++m;
  return m == mask.size();
}

// A mask against a folded text whose name part decides the dot rules: ".*" at the end also takes
// names without a dot, a lone '.' at the end takes only those.
bool MaskMatches(const std::wstring& text, const std::wstring& mask) {
  const bool nameHasDot = text.find(L'.', NamePartStart(text)) != std::wstring::npos;
  const std::size_t size = mask.size();
  if (size >= 2 && mask.compare(size - 2, 2, L".*") == 0) {
    return Glob(text, mask) || (!nameHasDot && Glob(text, mask.substr(0, size - 2)));
  }
  if (size >= 1 && mask[size - 1] == L'.') return !nameHasDot && Glob(text, mask.substr(0, size - 1));
  return Glob(text, mask);
}

bool StartsWith(const std::wstring& text, const std::wstring& start) {
  return text.size() >= start.size() && text.compare(0, start.size(), start) == 0;
}

}  // namespace

bool DeleteNameTakes(const std::wstring& name, const std::wstring& entry) {
  if (name.empty() || entry.empty()) return false;
  const std::wstring n = Fold(name), e = Fold(entry);
  if (n == L"." || n.back() == L'\\') return true;
  const std::size_t nameStart = NamePartStart(n);
  const std::wstring folder = n.substr(0, nameStart), own = n.substr(nameStart);
  if (HasWildcard(folder)) return MaskMatches(e, n);
  if (HasWildcard(own)) {
    return StartsWith(e, folder) && MaskMatches(e.substr(NamePartStart(e)), own);
  }
  if (own.back() == L'.') {
    std::wstring exact = n;
    while (!exact.empty() && exact.back() == L'.') exact.pop_back();
    return !exact.empty() && e == exact;
  }
  return e == n || (StartsWith(e, n) && e[n.size()] == L'\\');
}

DeleteWords SplitDeleteEntries(const std::vector<std::wstring>& entries) {
  DeleteWords words;
  for (const std::wstring& entry : entries) {
    for (std::wstring& word : DeleteEntryWords(entry)) {
      if (word[0] == L'-') {
        words.Switches.push_back(std::move(word));
      } else if (word[0] == L'@') {
        words.ListFiles.push_back(std::move(word));
      } else {
        words.Names.push_back(std::move(word));
      }
    }
  }
  return words;
}

std::wstring RootNameOfAdded(const std::wstring& path) {
  std::size_t end = path.size();
  while (end > 0 && IsSeparator(path[end - 1])) --end;
  const std::wstring trimmed = path.substr(0, end);
  const std::size_t cut = trimmed.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? trimmed : trimmed.substr(cut + 1);
}

std::vector<std::wstring> ParseBareListing(const std::wstring& output) {
  std::vector<std::wstring> entries;
  for (std::size_t start = 0; start < output.size();) {
    std::size_t end = output.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) end = output.size();
    if (end > start) entries.push_back(output.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

void PredictChanges(const BatchJob& job, const std::vector<std::wstring>& storedPaths,
                    ArchivePreview& preview) {
  const DeleteWords words = SplitDeleteEntries(job.DeleteNames);
  preview.Unmodelled = words.Switches;
  preview.Unmodelled.insert(preview.Unmodelled.end(), words.ListFiles.begin(), words.ListFiles.end());
  preview.Removed.clear();
  preview.Replaced.clear();
  preview.Added.clear();
  for (const std::wstring& file : job.AddFiles) preview.Added.push_back(RootNameOfAdded(file));

  std::set<std::wstring> stored;
  for (const std::wstring& path : storedPaths) stored.insert(Fold(path));
  for (const std::wstring& entry : preview.Entries) {
    bool taken = false;
    for (const std::wstring& name : words.Names) {
      if (DeleteNameTakes(name, entry)) {
        taken = true;
        break;
      }
    }
    if (taken) {
      preview.Removed.push_back(entry);
    } else if (stored.count(Fold(entry))) {
      preview.Replaced.push_back(entry);
    }
  }
  preview.Emptied = !preview.Entries.empty() && preview.Removed.size() == preview.Entries.size();
}

bool PreviewBlocked(const ArchivePreview& preview) { return !preview.Refusal.empty() || !preview.Listed; }

bool PreviewChanges(const BatchJob& job, const ArchivePreview& preview) {
  if (PreviewBlocked(preview)) return false;
  return !preview.Removed.empty() || !job.AddFiles.empty() || !job.CommentFile.empty() || job.Lock;
}

PreviewRow DescribePreview(const BatchJob& job, const ArchivePreview& preview) {
  if (!preview.Refusal.empty()) return {L"无法处理", preview.Refusal};
  if (!preview.Listed) return {L"无法预览", preview.ListProblem};
  std::wstring words;
  const auto add = [&words](const std::wstring& part) { words += (words.empty() ? L"" : L"；") + part; };
  if (preview.Emptied) {
    add(L"删除后压缩包为空，压缩程序会删除压缩包文件");
    if (!job.AddFiles.empty()) add(L"随后的添加会新建压缩包");
  }
  if (!preview.Removed.empty()) add(L"删除 " + Decimal(preview.Removed.size()) + L" 项");
  if (!preview.Added.empty()) {
    std::wstring part = L"添加 " + Decimal(preview.Added.size()) + L" 项";
    if (!preview.Replaced.empty()) part += L"（替换 " + Decimal(preview.Replaced.size()) + L" 项）";
    add(part);
  }
  if (!job.CommentFile.empty()) add(L"设置注释");
  if (job.Lock) add(L"锁定");
  if (!preview.Unmodelled.empty()) add(L"删除项中的开关和列表文件未计入预览");
  if (!preview.State.empty()) add(preview.State);
  if (!PreviewChanges(job, preview)) {
    return {L"不变", words.empty() ? L"没有要删除的文件" : L"没有要删除的文件；" + words};
  }
  return {preview.Emptied ? L"将被删除" : L"将修改", words};
}

std::wstring FormatPreviewSummary(const BatchJob& job, const std::vector<ArchivePreview>& previews) {
  std::size_t changing = 0, removed = 0, emptied = 0, blocked = 0;
  for (const ArchivePreview& preview : previews) {
    if (PreviewBlocked(preview)) {
      ++blocked;
      continue;
    }
    if (PreviewChanges(job, preview)) ++changing;
    removed += preview.Removed.size();
    if (preview.Emptied) ++emptied;
  }
  return L"共 " + Decimal(previews.size()) + L" 个压缩包：" + Decimal(changing) +
         L" 个将修改，共删除 " + Decimal(removed) + L" 项；" + Decimal(emptied) +
         L" 个将被清空并删除；" + Decimal(blocked) + L" 个无法处理或无法预览";
}

std::wstring FormatPreviewDetail(const BatchJob& job, const ArchivePreview& preview) {
  const PreviewRow row = DescribePreview(job, preview);
  std::wstring text = preview.Archive + L"\r\n" + row.State + L"：" + row.Words + L"\r\n";
  const auto section = [&text](const std::wstring& title, const std::vector<std::wstring>& items) {
    if (items.empty()) return;
    text += L"\r\n" + title + L"（" + Decimal(items.size()) + L"）：\r\n";
    for (const std::wstring& item : items) text += L"  " + item + L"\r\n";
  };
  section(L"将删除", preview.Removed);
  section(L"将添加到根目录", preview.Added);
  section(L"将被替换", preview.Replaced);
  section(L"未计入预览的开关和列表文件", preview.Unmodelled);
  if (preview.Listed) section(L"现有内容", preview.Entries);
  return text;
}

}  // namespace rarbatch
