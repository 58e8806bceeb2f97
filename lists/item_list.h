// The job's three lists, edited in place in their list boxes: the controls are the only store.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace rarbatch {

// The most items one of the program's lists takes; appends past it are refused.
inline constexpr int kMaxListItems = 32767;

// Creates one of the window's item lists: a child list box with multiple selection (a click toggles
// one item), not sorted, with a vertical scroll bar and a tab stop.
HWND CreateItemList(HWND parent, int id, int x, int y, int width, int height);

// What became of one item to append.
enum class AppendOutcome { Added, ListFull, OutOfMemory };

// Adds the item as the last one, unless the list is full or the system has no memory for it; the
// list is then unchanged.
AppendOutcome Append(HWND list, const std::wstring& item);

// Appends as many items as fit, with redrawing suspended and storage reserved first. Returns how many
// were appended; the caller decides what to tell about the rest.
int AppendMany(HWND list, const std::vector<std::wstring>& items);

// Removes every selected item, walking down from the last position.
void RemoveSelected(HWND list);

// Removes every item.
void Clear(HWND list);

int Count(HWND list);
std::wstring Item(HWND list, int position);

// Every item, first to last: what the generate button reads.
std::vector<std::wstring> Items(HWND list);

// The add button of the delete list: appends the text of `edit` unless it is empty. Returns the
// text and what became of it, or nothing for an empty edit.
struct TypedName {
  std::wstring Text;
  AppendOutcome Outcome;
};
std::optional<TypedName> AppendTypedName(HWND edit, HWND list);

}  // namespace rarbatch
