// The order and the choice of rows a results table shows: sorting by a column (the state column by how
// serious the state is), showing only the rows that need attention, the archive's path below the
// archives' common folder, and the mark drawn beside a state.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rarbatch {

// A row's cells as the table shows them.
struct TableCells {
  std::wstring Archive;  // as shown: below the common folder
  std::wstring State;
  std::wstring Words;
};

// The columns of a results table, in their order.
enum class TableColumn { Archive = 0, State = 1, Words = 2 };

// How the table is sorted and filtered. Without a column the rows keep the job's order.
struct TableOrder {
  bool Sorted = false;
  TableColumn Column = TableColumn::Archive;
  bool Descending = false;
  bool AttentionOnly = false;  // only rows whose state needs the user's attention
};

// The order after a click on the header of `column`: sorted by it ascending, or reversed when it
// was already the sort column.
TableOrder AfterHeaderClick(TableOrder order, TableColumn column);

// How serious a state word of the run or the preview is: 0 for the worst (失败, 还原失败, 无法处理),
// growing towards the plain outcomes (成功, 已还原, 不变); an unknown word comes last.
int StateSeverity(const std::wstring& state);

// Whether a row in this state needs the user's attention: it failed (失败, 还原失败), warned (警告),
// was stopped before it was done (已停止), or cannot be processed or foreseen (无法处理, 无法预览), or
// the preview says its archive would be emptied and deleted (将被删除).
bool NeedsAttention(const std::wstring& state);

// The positions in `rows` that the table shows under `order`, in the order it shows them. Sorting is
// stable: rows that compare equal keep the job's order. Text compares without regard to letter case.
std::vector<std::size_t> ShownRows(const std::vector<TableCells>& rows, const TableOrder& order);

// Each archive's path below the deepest folder holding them all ("D:\素材\2024\a.rar" and
// "D:\素材\b.rar" show as "2024\a.rar" and "b.rar"); the full paths when they share no folder
// (different drives or shares).
std::vector<std::wstring> ArchivesBelowCommonFolder(const std::vector<std::wstring>& paths);

// The mark drawn beside a state word.
enum class StateMark { Failure, Warning, Busy, Done, Waiting };
StateMark MarkOfState(const std::wstring& state);

}  // namespace rarbatch
