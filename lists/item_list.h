// The job's three lists, edited in place in their list boxes: the controls are the only store.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rarbatch {

// The most items one of the program's lists takes; appends past it are refused.
inline constexpr int kMaxListItems = 32767;

// The first line of what the user is told when a list is full.
std::wstring ListFullText();

// Creates one of the window's item lists: a child list box with multiple selection (a click toggles
// one item), not sorted, with a vertical scroll bar and a tab stop.
HWND CreateItemList(HWND parent, int id, int x, int y, int width, int height);

// Adds the item as the last one. Refused, with a message box owned by the list's top-level window
// that says so, when the list is full; returns whether the item was added.
bool Append(HWND list, const std::wstring& item);

// Appends as many items as fit, with redrawing suspended and storage reserved first. Returns how many
// were appended; the caller tells the user about the rest.
int AppendMany(HWND list, const std::vector<std::wstring>& items);

// Removes every selected item, walking down from the last position.
void RemoveSelected(HWND list);

// Removes every item.
void Clear(HWND list);

int Count(HWND list);
std::wstring Item(HWND list, int position);

// Every item, first to last: what the generate button reads.
std::vector<std::wstring> Items(HWND list);

// The add button of the delete list: appends the text of `edit` unless it is empty.
void AppendTypedName(HWND edit, HWND list);

}  // namespace rarbatch
