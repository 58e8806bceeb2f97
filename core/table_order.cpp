// Sorting and filtering of the results tables, and the archive column's shorter paths.
#include "core/table_order.h"

#include <algorithm>
#include <cwctype>

#include "core/backup_plan.h"

namespace rarbatch {
namespace {

struct StateInfo {
  const wchar_t* Word;
  int Severity;
  bool Attention;
  StateMark Mark;
};

// Every state word the run's and the preview's tables show, worst first.
constexpr StateInfo kStates[] = {
    {L"失败", 0, true, StateMark::Failure},      {L"还原失败", 0, true, StateMark::Failure},
    {L"无法处理", 0, true, StateMark::Failure},  {L"无法预览", 1, true, StateMark::Warning},
    {L"已停止", 1, true, StateMark::Warning},    {L"警告", 2, true, StateMark::Warning},
    {L"将被删除", 2, true, StateMark::Warning},  {L"正在处理", 3, false, StateMark::Busy},
    {L"将修改", 3, false, StateMark::Busy},      {L"等待", 4, false, StateMark::Waiting},
    {L"成功", 5, false, StateMark::Done},        {L"已还原", 5, false, StateMark::Done},
    {L"不变", 5, false, StateMark::Done},
};
constexpr int kUnknownSeverity = 6;

const StateInfo* FindState(const std::wstring& state) {
  for (const StateInfo& info : kStates) {
    if (state == info.Word) return &info;
  }
  return nullptr;
}

// -1, 0 or 1 as `a` sorts before, with or after `b`, letter case aside; then by exact characters.
int CompareText(const std::wstring& a, const std::wstring& b) {
  const auto fold = [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); };
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const wchar_t x = fold(a[i]), y = fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a == b ? 0 : (a < b ? -1 : 1);
}

int CompareRows(const TableCells& a, const TableCells& b, TableColumn column) {
  switch (column) {
    case TableColumn::State: {
      const int x = StateSeverity(a.State), y = StateSeverity(b.State);
      if (x != y) return x < y ? -1 : 1;
      return CompareText(a.State, b.State);
    }
    case TableColumn::Words:
      return CompareText(a.Words, b.Words);
    case TableColumn::Archive:
      break;
  }
  return CompareText(a.Archive, b.Archive);
}

}  // namespace

TableOrder AfterHeaderClick(TableOrder order, TableColumn column) {
  order.Descending = order.Sorted && order.Column == column ? !order.Descending : false;
  order.Sorted = true;
  order.Column = column;
  return order;
}

int StateSeverity(const std::wstring& state) {
  const StateInfo* info = FindState(state);
  return info ? info->Severity : kUnknownSeverity;
}

bool NeedsAttention(const std::wstring& state) {
  const StateInfo* info = FindState(state);
  return info && info->Attention;
}

StateMark MarkOfState(const std::wstring& state) {
  const StateInfo* info = FindState(state);
  return info ? info->Mark : StateMark::Waiting;
}

std::vector<std::size_t> ShownRows(const std::vector<TableCells>& rows, const TableOrder& order) {
  std::vector<std::size_t> shown;
  shown.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!order.AttentionOnly || NeedsAttention(rows[i].State)) shown.push_back(i);
  }
  if (!order.Sorted) return shown;
  std::stable_sort(shown.begin(), shown.end(), [&](std::size_t a, std::size_t b) {
    const int compared = CompareRows(rows[a], rows[b], order.Column);
    return order.Descending ? compared > 0 : compared < 0;
  });
  return shown;
}

std::vector<std::wstring> ArchivesBelowCommonFolder(const std::vector<std::wstring>& paths) {
  const std::wstring root = CommonRoot(paths);
  if (root.empty()) return paths;
  std::vector<std::wstring> below;
  below.reserve(paths.size());
  for (const std::wstring& path : paths) below.push_back(PathBelowRoot(path, root));
  return below;
}

}  // namespace rarbatch
