// The results tables' sorting, filtering and shorter archive paths.
#include "core/table_order.h"

#include <gtest/gtest.h>

namespace rarbatch {
namespace {

using Positions = std::vector<std::size_t>;

// A run's rows as the results window shows them, in the job's order.
const std::vector<TableCells> kRunRows = {
    {L"b.rar", L"成功", L""},                 // 0
    {L"A.rar", L"失败", L"已锁定"},           // 1
    {L"c.rar", L"警告", L"删除：没有找到文件"},  // 2
    {L"sub\\d.rar", L"已停止", L""},          // 3
    {L"a.rar", L"成功", L""},                 // 4
    {L"e.rar", L"等待", L""},                 // 5
    {L"f.rar", L"还原失败", L"拒绝访问"},     // 6
    {L"g.rar", L"正在处理", L""},             // 7
};

TEST(TableOrder, AHeaderClickSortsAndASecondReverses) {
  TableOrder order;
  order = AfterHeaderClick(order, TableColumn::State);
  EXPECT_TRUE(order.Sorted);
  EXPECT_FALSE(order.Descending);
  order = AfterHeaderClick(order, TableColumn::State);
  EXPECT_TRUE(order.Descending);
  order = AfterHeaderClick(order, TableColumn::State);
  EXPECT_FALSE(order.Descending);
  // Another column starts ascending again, and the filter stays as it was.
  order.AttentionOnly = true;
  order = AfterHeaderClick(AfterHeaderClick(order, TableColumn::State), TableColumn::Archive);
  EXPECT_EQ(order.Column, TableColumn::Archive);
  EXPECT_FALSE(order.Descending);
  EXPECT_TRUE(order.AttentionOnly);
}

TEST(TableOrder, RowsSortByColumnStableAndStateBySeverity) {
  EXPECT_EQ(ShownRows(kRunRows, {}), (Positions{0, 1, 2, 3, 4, 5, 6, 7})) << "unsorted: the job's order";
  // The state column: the worst first, not in the order of the words' characters; states equally bad
  // (失败, 还原失败) stay together by their words, and equal states keep the job's order, also when
  // reversed.
  EXPECT_EQ(ShownRows(kRunRows, {true, TableColumn::State, false}), (Positions{1, 6, 3, 2, 7, 5, 0, 4}));
  EXPECT_EQ(ShownRows(kRunRows, {true, TableColumn::State, true}), (Positions{0, 4, 5, 7, 2, 3, 6, 1}));
  // Archives without regard to letter case; "A.rar" and "a.rar" by their exact characters.
  EXPECT_EQ(ShownRows(kRunRows, {true, TableColumn::Archive, false}), (Positions{1, 4, 0, 2, 5, 6, 7, 3}));
  EXPECT_EQ(ShownRows(kRunRows, {true, TableColumn::Words, false}).front(), 0u) << "empty words first";
  // The preview's states sort by severity too.
  const std::vector<TableCells> preview = {{L"a", L"不变", L""},      {L"b", L"将修改", L""},
                                           {L"c", L"无法处理", L""},  {L"d", L"将被删除", L""},
                                           {L"e", L"无法预览", L""},  {L"f", L"等待", L""}};
  EXPECT_EQ(ShownRows(preview, {true, TableColumn::State, false}), (Positions{2, 4, 3, 1, 5, 0}));
}

TEST(TableOrder, TheFilterKeepsOnlyRowsThatNeedAttention) {
  for (const wchar_t* state : {L"失败", L"警告", L"已停止", L"还原失败", L"无法处理", L"无法预览", L"将被删除"}) {
    EXPECT_TRUE(NeedsAttention(state)) << state;
  }
  for (const wchar_t* state : {L"成功", L"已还原", L"等待", L"正在处理", L"将修改", L"不变", L""}) {
    EXPECT_FALSE(NeedsAttention(state)) << state;
  }
  TableOrder attention;
  attention.AttentionOnly = true;
  EXPECT_EQ(ShownRows(kRunRows, attention), (Positions{1, 2, 3, 6}));
  // Filtered and sorted together.
  attention = AfterHeaderClick(attention, TableColumn::State);
  EXPECT_EQ(ShownRows(kRunRows, attention), (Positions{1, 6, 3, 2}));
  // A row that changes state comes and goes with the next ordering.
  std::vector<TableCells> rows = kRunRows;
  rows[7].State = L"失败";
  rows[1].State = L"成功";
  EXPECT_EQ(ShownRows(rows, attention), (Positions{7, 6, 3, 2}));
  EXPECT_TRUE(ShownRows({}, attention).empty());
}

TEST(TableOrder, MarksOfStates) {
  EXPECT_EQ(MarkOfState(L"失败"), StateMark::Failure);
  EXPECT_EQ(MarkOfState(L"无法处理"), StateMark::Failure);
  EXPECT_EQ(MarkOfState(L"警告"), StateMark::Warning);
  EXPECT_EQ(MarkOfState(L"将被删除"), StateMark::Warning);
  EXPECT_EQ(MarkOfState(L"正在处理"), StateMark::Busy);
  EXPECT_EQ(MarkOfState(L"成功"), StateMark::Done);
  EXPECT_EQ(MarkOfState(L"等待"), StateMark::Waiting);
}

TEST(ArchivesBelowCommonFolder, ShowsThePathBelowTheSharedFolder) {
  EXPECT_EQ(ArchivesBelowCommonFolder({L"D:\\素材\\2024\\a.rar", L"d:\\素材\\b.rar"}),
            (std::vector<std::wstring>{L"2024\\a.rar", L"b.rar"}));
  EXPECT_EQ(ArchivesBelowCommonFolder({L"D:\\素材\\a.rar"}), (std::vector<std::wstring>{L"a.rar"}));
  EXPECT_EQ(ArchivesBelowCommonFolder({L"C:\\a.rar", L"C:\\x\\b.rar"}),
            (std::vector<std::wstring>{L"a.rar", L"x\\b.rar"}));
  // A folder that only begins like another is not shared.
  EXPECT_EQ(ArchivesBelowCommonFolder({L"C:\\ab\\x.rar", L"C:\\abc\\y.rar"}),
            (std::vector<std::wstring>{L"ab\\x.rar", L"abc\\y.rar"}));
  // Nothing shared: the full paths, as the detail shows them.
  const std::vector<std::wstring> apart = {L"C:\\a\\x.rar", L"D:\\a\\y.rar", L"\\\\srv\\share\\z.rar"};
  EXPECT_EQ(ArchivesBelowCommonFolder(apart), apart);
  EXPECT_TRUE(ArchivesBelowCommonFolder({}).empty());
}

}  // namespace
}  // namespace rarbatch
