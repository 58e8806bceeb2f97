// A job's predicted effect on one archive, and the preview's texts for it.
#include "core/preview_model.h"

#include <set>

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
    } else if (stored.count(FoldStoredPath(entry))) {
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

namespace {

// The archive's recovery record and what becomes of it: the program's run asks for it again on its
// last change; every line of the script that changes the archive drops it.
std::wstring RecoveryWords(const BatchJob& job, const ArchivePreview& preview) {
  std::wstring words = L"有恢复记录";
  if (preview.RecoverySize > 0) words += L" " + Decimal(preview.RecoverySize) + L" 字节";
  if (!PreviewChanges(job, preview) || (preview.Emptied && job.AddFiles.empty())) return words;
  return words + L"，本程序运行时保留（-rr" + Decimal(preview.RecoveryPercent) + L"%），批处理脚本会丢掉它";
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
