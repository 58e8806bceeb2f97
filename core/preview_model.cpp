// A job's predicted effect on one archive, and the preview's texts for it.
#include "core/preview_model.h"

#include <algorithm>
#include <set>

#include "core/archive_plan.h"

#include "core/number_text.h"

namespace rarbatch {

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
  for (const std::wstring& path : storedPaths) stored.insert(FoldStoredPath(path));
  // The matches are paths of the same listing, spelled as it spells them.
  std::set<std::wstring> byContent;
  for (const ContentMatch& match : preview.Content.Matches) byContent.insert(match.Entry);
  for (const std::wstring& entry : preview.Entries) {
    bool taken = byContent.count(entry) > 0;
    for (const std::wstring& name : words.Names) {
      if (DeleteNameTakes(name, entry)) {
        taken = true;
        break;
      }
    }
    if (taken) {
      preview.Removed.push_back(entry);
    } else if (stored.count(FoldStoredPath(entry))) {
      preview.Replaced.push_back(entry);
    }
  }
  preview.Emptied = !preview.Entries.empty() && preview.Removed.size() == preview.Entries.size();
}

bool PreviewNeedsReferences(const ArchivePreview& preview) {
  return preview.Listed && preview.Refusal.empty() && !preview.Removed.empty();
}

void PredictBrokenReferences(const BatchJob& job, const CallResult& listing, ArchivePreview& preview) {
  const ListingRead read = ReadReferenceListing(listing);
  if (read.CutShort) {
    preview.Refusal = L"无法检查文件引用，压缩包没有改动：" + read.Problem;
  } else if (!read.Read) {
    preview.Listed = false;
    preview.ListProblem = L"无法列出文件引用：" + read.Problem;
  } else {
    PredictReferencesOf(job, read.Entries, preview);
  }
}

void PredictReferencesOf(const BatchJob& job, const std::vector<ListedEntry>& entries, ArchivePreview& preview) {
  // An entry found by content is deleted by its exact path, which takes it as a name would.
  std::vector<std::wstring> names = SplitDeleteEntries(job.DeleteNames).Names;
  const std::vector<std::wstring> content = ContentEntries(preview.Content);
  names.insert(names.end(), content.begin(), content.end());
  preview.BrokenReferences = ReferencesLeftWithoutTarget(entries, names);
  if (!preview.BrokenReferences.empty()) preview.Refusal = DescribeBrokenReferences(preview.BrokenReferences);
}

bool PreviewInRed(const ArchivePreview& preview) {
  return (preview.Emptied && !PreviewBlocked(preview)) || !preview.BrokenReferences.empty();
}

bool PreviewBlocked(const ArchivePreview& preview) { return !preview.Refusal.empty() || !preview.Listed; }

bool PreviewChanges(const BatchJob& job, const ArchivePreview& preview) {
  if (PreviewBlocked(preview)) return false;
  return !preview.Removed.empty() || !job.AddFiles.empty() || !job.CommentFile.empty() || job.Lock;
}

namespace {

// The archive's recovery record and what becomes of it: the program's run asks for it again on its
// last change; every line of the script that changes the archive drops it.
std::wstring RecoveryWords(const BatchJob& job, const ArchivePreview& preview) {
  std::wstring words = L"有恢复记录";
  if (preview.RecoverySize > 0) words += L" " + Decimal(preview.RecoverySize) + L" 字节";
  if (!PreviewChanges(job, preview) || (preview.Emptied && job.AddFiles.empty())) return words;
  return words + L"，本程序运行时保留（-rr" + Decimal(preview.RecoveryPercent) + L"%），批处理脚本会丢掉它";
}

// How many entries the row's words name before they only count the rest.
constexpr std::size_t kNamedInRow = 3;

// Per sample that matched, the entries it would take by their paths inside the archive:
// "按内容删除（a.bin）：x.bin，dir\y.bin", the first few of them, then how many in all.
std::vector<std::wstring> ContentWords(const BatchJob& job, const ArchivePreview& preview) {
  std::vector<std::wstring> parts;
  for (std::size_t s = 0; s < job.Samples.size(); ++s) {
    std::wstring named;
    std::size_t count = 0;
    for (const ContentMatch& match : preview.Content.Matches) {
      if (match.Sample != s) continue;
      if (count++ < kNamedInRow) named += (named.empty() ? L"" : L"，") + match.Entry;
    }
    if (count == 0) continue;
    if (count > kNamedInRow) named += L" 等共 " + Decimal(count) + L" 个";
    parts.push_back(L"按内容删除（" + SampleName(job.Samples[s]) + L"）：" + named);
  }
  return parts;
}

}  // namespace

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
  for (const std::wstring& part : ContentWords(job, preview)) add(part);
  if (const std::wstring problems = DescribeContentProblems(preview.Content, job.Samples); !problems.empty()) {
    add(problems);
  }
  if (!preview.Added.empty()) {
    std::wstring part = L"添加 " + Decimal(preview.Added.size()) + L" 项";
    if (!preview.Replaced.empty()) part += L"（替换 " + Decimal(preview.Replaced.size()) + L" 项）";
    add(part);
  }
  if (!job.CommentFile.empty()) add(L"设置注释");
  if (job.Lock) add(L"锁定");
  if (!preview.Unmodelled.empty()) add(L"删除项中的开关和列表文件未计入预览");
  if (!preview.State.empty()) add(preview.State);
  if (preview.RecoveryRecord) add(RecoveryWords(job, preview));
  if (!preview.Marks.empty() && PreviewChanges(job, preview)) {
    add(preview.Marks + L"：在本窗口中运行时保留，批处理文件不保留");
  }
  if (preview.Solid && PreviewChanges(job, preview)) {
    add(preview.Removed.empty() ? L"固实压缩包"
                                : L"固实压缩包：删除时要重新压缩整个压缩包，实测约为非固实压缩包的 25 至 40 倍时间");
  }
  if (!PreviewChanges(job, preview)) {
    return {L"不变", words.empty() ? L"没有要删除的文件" : L"没有要删除的文件；" + words};
  }
  return {preview.Emptied ? L"将被删除" : L"将修改", words};
}

unsigned PredictedRewrites(const BatchJob& job, const ArchivePreview& preview) {
  if (!PreviewChanges(job, preview)) return 0;
  unsigned rewrites = 0;
  RunOptions options;
  options.ContentEntries = ContentEntries(preview.Content);
  for (const PlannedCall& call : RunPlan(job, options)) {
    switch (call.Command) {
      case ScriptOperation::Test: break;
      case ScriptOperation::Delete: rewrites += !preview.Removed.empty() || call.Comment || call.Lock; break;
      default: ++rewrites; break;
    }
  }
  return rewrites;
}

std::wstring FormatPreviewSummary(const BatchJob& job, const std::vector<ArchivePreview>& previews,
                                  const PreviewCost& cost) {
  std::size_t changing = 0, removed = 0, emptied = 0, blocked = 0, byContent = 0;
  std::uint64_t rewritten = 0;
  unsigned mostRewrites = 0;
  for (const ArchivePreview& preview : previews) {
    if (PreviewBlocked(preview)) {
      ++blocked;
      continue;
    }
    if (PreviewChanges(job, preview)) ++changing;
    removed += preview.Removed.size();
    byContent += preview.Content.Matches.size();
    if (preview.Emptied) ++emptied;
    const unsigned rewrites = PredictedRewrites(job, preview);
    mostRewrites = std::max(mostRewrites, rewrites);
    // An archive the deletions empty is deleted, not rewritten.
    if (!preview.Emptied) rewritten += preview.Size * rewrites;
  }
  std::wstring line = L"共 " + Decimal(previews.size()) + L" 个压缩包：" + Decimal(changing) +
                      L" 个将修改，共删除 " + Decimal(removed) + L" 项" +
                      (job.Samples.empty() ? L"" : L"（其中按内容删除 " + Decimal(byContent) + L" 个文件）") + L"；" +
                      Decimal(emptied) +
                      L" 个将被清空并删除；" + Decimal(blocked) + L" 个无法处理或无法预览";
  if (changing == 0) return line;
  line += L"；将重写约 " + SizeText(rewritten) + L"（每个压缩包最多 " + Decimal(mostRewrites) + L" 次）";
  if (cost.NeededAtOnce > 0) line += L"，同时需要可用空间约 " + SizeText(cost.NeededAtOnce);
  if (!cost.Shortfall.empty()) line += L"；" + cost.Shortfall;
  return line;
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
  std::vector<std::wstring> matches;
  for (const ContentMatch& match : preview.Content.Matches) {
    std::wstring line = match.Entry;
    if (match.Sample < job.Samples.size()) {
      const ContentSample& sample = job.Samples[match.Sample];
      line += L"  ← " + SampleName(sample) + L"（SHA-256 " + DigestStart(sample) + L"…）";
    }
    matches.push_back(std::move(line));
  }
  section(L"其中按内容删除", matches);
  section(L"无法比较，需要密码", preview.Content.NotCompared);
  section(L"无法读取内容，未比较", preview.Content.Unreadable);
  section(L"与样本相同但无法按确切路径删除，已保留", preview.Content.NotNameable);
  section(L"将添加到根目录", preview.Added);
  section(L"将被替换", preview.Replaced);
  section(L"未计入预览的开关和列表文件", preview.Unmodelled);
  if (preview.Listed) section(L"现有内容", preview.Entries);
  return text;
}

}  // namespace rarbatch
