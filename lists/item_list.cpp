// The job's three lists, kept only in their list boxes and edited there.
#include "lists/item_list.h"

#include <algorithm>

#include "win/text.h"

namespace rarbatch {

HWND CreateItemList(HWND parent, int id, int x, int y, int width, int height) {
  return CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", nullptr,
                         WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_MULTIPLESEL |
                             LBS_NOINTEGRALHEIGHT,
                         x, y, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                         nullptr);
}

int Count(HWND list) {
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  return count < 0 ? 0 : static_cast<int>(count);
}

std::wstring Item(HWND list, int position) {
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(position), 0);
  if (length < 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT got = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(position),
                                   reinterpret_cast<LPARAM>(text.data()));
  text.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return text;
}

std::vector<std::wstring> Items(HWND list) {
  std::vector<std::wstring> items;
  const int count = Count(list);
  items.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) items.push_back(Item(list, i));
  return items;
}

AppendOutcome Append(HWND list, const std::wstring& item) {
  if (Count(list) >= kMaxListItems) return AppendOutcome::ListFull;
  const LRESULT at = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  return at < 0 ? AppendOutcome::OutOfMemory : AppendOutcome::Added;
}

int AppendMany(HWND list, const std::vector<std::wstring>& items) {
  const int room = kMaxListItems - Count(list);
  const int wanted = static_cast<int>(std::min<std::size_t>(items.size(), room > 0 ? room : 0));
  if (wanted == 0) return 0;

  std::size_t chars = 0;
  for (int i = 0; i < wanted; ++i) chars += items[static_cast<std::size_t>(i)].size() + 1;

  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_INITSTORAGE, static_cast<WPARAM>(wanted),
               static_cast<LPARAM>(chars * sizeof(wchar_t)));
  int appended = 0;
  for (; appended < wanted; ++appended) {
    const auto& item = items[static_cast<std::size_t>(appended)];
    if (SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str())) < 0) break;
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  return appended;
}

void RemoveSelected(HWND list) {
  const int count = Count(list);
  if (count == 0) return;
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  // Walking down keeps the positions still to visit valid while items go.
  for (int i = count - 1; i >= 0; --i) {
    if (SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) {
      SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(i), 0);
    }
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void Clear(HWND list) { SendMessageW(list, LB_RESETCONTENT, 0, 0); }

std::optional<TypedName> AppendTypedName(HWND edit, HWND list) {
  std::wstring text = WindowText(edit);
  if (text.empty()) return std::nullopt;
  const AppendOutcome outcome = Append(list, text);
  return TypedName{std::move(text), outcome};
}

}  // namespace rarbatch
