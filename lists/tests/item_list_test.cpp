// The item lists on real list boxes: order, removing the selection, multiple selection, the limit.
#include "lists/item_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/dialog_driver.h"

namespace rarbatch {
namespace {

using testing::MessageCatcher;
using testing::TestWindow;
using Names = std::vector<std::wstring>;

Names Numbered(const std::wstring& stem, int count) {
  Names names;
  names.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) names.push_back(stem + std::to_wstring(i));
  return names;
}

std::vector<int> SelectedPositions(HWND list) {
  std::vector<int> selected;
  for (int i = 0; i < Count(list); ++i) {
    if (SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) selected.push_back(i);
  }
  return selected;
}

// Clicks the item at `position` with the left button, as the user would.
void ClickItem(HWND list, int position) {
  RECT item{};
  ASSERT_NE(SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(position),
                         reinterpret_cast<LPARAM>(&item)),
            LB_ERR);
  const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(list, WM_LBUTTONUP, 0, at);
}

class ItemList : public ::testing::Test {
 protected:
  TestWindow window_;
  HWND list_ = CreateItemList(window_.get(), 101, 10, 10, 300, 200);
};

TEST_F(ItemList, KeepsItemsInTheOrderAppended) {
  ASSERT_NE(list_, nullptr);
  const Names items = {L"D:\\压缩 包\\b.rar", L"a.rar", L"C:\\x 1.RAR", L"a.rar"};
  for (const auto& item : items) EXPECT_EQ(Append(list_, item), AppendOutcome::Added);
  EXPECT_EQ(Count(list_), 4);
  EXPECT_EQ(Items(list_), items) << "not sorted, duplicates kept";
  EXPECT_EQ(Item(list_, 2), L"C:\\x 1.RAR");
  EXPECT_EQ(Item(list_, 4), L"") << "past the end";
  EXPECT_EQ(Item(list_, -1), L"");
}

TEST_F(ItemList, RemoveSelectedRemovesExactlyTheSelectedItems) {
  struct Case {
    std::vector<int> selected;
    Names left;
  };
  const Names items = Numbered(L"item ", 8);
  const Case cases[] = {
      {{0, 2, 3, 5, 7}, {L"item 1", L"item 4", L"item 6"}},  // first, last, a run and single ones
      {{}, items},
      {{4}, {L"item 0", L"item 1", L"item 2", L"item 3", L"item 5", L"item 6", L"item 7"}},
      {{0, 1, 2, 3, 4, 5, 6, 7}, {}},
  };
  for (const auto& c : cases) {
    Clear(list_);
    ASSERT_EQ(AppendMany(list_, items), 8);
    for (int position : c.selected) SendMessageW(list_, LB_SETSEL, TRUE, position);
    RemoveSelected(list_);
    EXPECT_EQ(Items(list_), c.left) << "selected " << ::testing::PrintToString(c.selected);
  }
}

TEST_F(ItemList, AClickTogglesOneItemAndLeavesTheOthers) {
  ASSERT_EQ(AppendMany(list_, Numbered(L"item ", 5)), 5);
  ClickItem(list_, 1);
  EXPECT_EQ(SelectedPositions(list_), (std::vector<int>{1}));
  ClickItem(list_, 3);
  EXPECT_EQ(SelectedPositions(list_), (std::vector<int>{1, 3})) << "a second click adds to the selection";
  ClickItem(list_, 1);
  EXPECT_EQ(SelectedPositions(list_), (std::vector<int>{3})) << "clicking a selected item deselects it";

  RemoveSelected(list_);
  EXPECT_EQ(Items(list_), (Names{L"item 0", L"item 1", L"item 2", L"item 4"}));
}

TEST_F(ItemList, ClearEmptiesTheList) {
  ASSERT_EQ(AppendMany(list_, Numbered(L"item ", 3)), 3);
  Clear(list_);
  EXPECT_EQ(Count(list_), 0);
  EXPECT_TRUE(Items(list_).empty());
  EXPECT_EQ(Append(list_, L"again"), AppendOutcome::Added);
  EXPECT_EQ(Items(list_), Names{L"again"});
}

TEST_F(ItemList, AppendTypedNameTakesTheEditTextAndIgnoresAnEmptyEdit) {
  HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 10, 220, 200, 24, window_.get(),
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(edit, nullptr);
  MessageCatcher messages(window_.get());
  EXPECT_EQ(AppendTypedName(edit, list_), std::nullopt);
  EXPECT_EQ(Count(list_), 0);

  SetWindowTextW(edit, L"说明 文件.txt");
  AppendTypedName(edit, list_);
  EXPECT_EQ(Items(list_), Names{L"说明 文件.txt"});
  EXPECT_TRUE(messages.Texts().empty());
}

// The limit: a full list is built once per test, as the user would reach it only by imports.
class FullItemList : public ItemList {
 protected:
  void Fill(int count) { ASSERT_EQ(AppendMany(list_, Numbered(L"C:\\归档\\archive-", count)), count); }
};

TEST_F(FullItemList, AFullListRefusesOneMoreAndLosesNothing) {
  Fill(kMaxListItems);
  MessageCatcher messages(window_.get());
  EXPECT_EQ(Append(list_, L"one more.rar"), AppendOutcome::ListFull);
  EXPECT_EQ(Count(list_), kMaxListItems);
  EXPECT_EQ(Item(list_, 0), L"C:\\归档\\archive-0");
  EXPECT_EQ(Item(list_, kMaxListItems - 1), L"C:\\归档\\archive-32766");

  // The typed name goes the same way.
  HWND edit = CreateWindowExW(0, L"EDIT", L"typed.txt", WS_CHILD, 0, 0, 100, 20, window_.get(),
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  const auto typed = AppendTypedName(edit, list_);
  ASSERT_TRUE(typed.has_value());
  EXPECT_EQ(typed->Outcome, AppendOutcome::ListFull);
  EXPECT_EQ(typed->Text, L"typed.txt");
  EXPECT_EQ(Count(list_), kMaxListItems);
  EXPECT_TRUE(messages.Texts().empty()) << "the caller, not the list, tells the user";
}

TEST_F(FullItemList, AppendManyFillsOnlyToTheLimitAndSaysHowMany) {
  Fill(kMaxListItems - 3);
  MessageCatcher messages(window_.get());
  EXPECT_EQ(AppendMany(list_, Numbered(L"new ", 10)), 3);
  EXPECT_EQ(Count(list_), kMaxListItems);
  EXPECT_EQ(Item(list_, kMaxListItems - 4), L"C:\\归档\\archive-32763");
  EXPECT_EQ(Item(list_, kMaxListItems - 3), L"new 0");
  EXPECT_EQ(Item(list_, kMaxListItems - 1), L"new 2");

  EXPECT_EQ(AppendMany(list_, Numbered(L"more ", 2)), 0) << "a full list takes none";
  EXPECT_EQ(AppendMany(list_, {}), 0);
  EXPECT_EQ(Count(list_), kMaxListItems);
  EXPECT_TRUE(messages.Texts().empty()) << "the caller, not AppendMany, tells the user";

  // Room made by removing items is usable again.
  SendMessageW(list_, LB_SETSEL, TRUE, 0);
  RemoveSelected(list_);
  EXPECT_EQ(Append(list_, L"last"), AppendOutcome::Added);
  EXPECT_EQ(Item(list_, kMaxListItems - 1), L"last");
  EXPECT_EQ(Item(list_, 0), L"C:\\归档\\archive-1");
}

}  // namespace
}  // namespace rarbatch
