// What the user is told when an edit of a list cannot take every item: on real list boxes, with the
// message boxes answered from a second thread.
#include "ui/reports.h"

#include <gtest/gtest.h>

#include "tools/dialog_driver.h"
#include "tools/test_support.h"

namespace rarbatch {
namespace {

using testing::DialogAnswerer;
using testing::MessageCatcher;
using testing::TestWindow;
using Names = std::vector<std::wstring>;

Names Numbered(const std::wstring& stem, int count) {
  Names names;
  for (int i = 0; i < count; ++i) names.push_back(stem + std::to_wstring(i));
  return names;
}

class Reports : public ::testing::Test {
 protected:
  // Runs `edit` and returns the text of the one message box it shows, titled with the window's
  // caption.
  std::wstring MessageOf(const std::function<void()>& edit) {
    std::wstring text;
    DialogAnswerer answer(window_.get(), [&](HWND box) {
      text = testing::MessageBoxText(box);
      testing::PressButton(box, IDOK);
    }, testing::WindowText(window_.get()));
    edit();
    EXPECT_TRUE(answer.Finish()) << "no message box, titled with the window's caption, showed";
    return text;
  }

  testing::ScratchFolder scratch_;
  TestWindow window_;
  HWND list_ = CreateItemList(window_.get(), 101, 10, 10, 300, 200);
  FileList files_{CreateFileList(window_.get(), 102, 0, 0, 10, 10), L"*.rar", L""};
};

TEST_F(Reports, AFullListRefusesOneMoreWithAMessage) {
  ASSERT_EQ(AppendMany(list_, Numbered(L"C:\\归档\\archive-", kMaxListItems)), kMaxListItems);
  const std::wstring text = MessageOf([&] { AppendAndReport(list_, L"one more.rar"); });
  EXPECT_NE(text.find(L"列表已满"), std::wstring::npos) << "says the list is full: " << ::testing::PrintToString(text);
  EXPECT_NE(text.find(L"32767"), std::wstring::npos) << "names the limit";
  EXPECT_NE(text.find(L"one more.rar"), std::wstring::npos) << "names the item refused";
  EXPECT_EQ(Count(list_), kMaxListItems);

  // The typed name goes the same way.
  HWND edit = CreateWindowExW(0, L"EDIT", L"typed.txt", WS_CHILD, 0, 0, 100, 20, window_.get(),
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  MessageCatcher messages(window_.get());
  AppendTypedNameAndReport(edit, list_);
  const Names shown = messages.Texts();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find(L"列表已满"), std::wstring::npos);
  EXPECT_EQ(Count(list_), kMaxListItems);
}

TEST_F(Reports, AFolderThatCannotBeListedIsReportedByName) {
  const std::wstring missing = scratch_.Path() + L"不存在";
  const std::wstring text = MessageOf([&] { ImportAndReport(list_, files_, missing); });
  EXPECT_NE(text.find(missing), std::wstring::npos) << "names the folder: " << ::testing::PrintToString(text);
  EXPECT_NE(text.find(L"错误 "), std::wstring::npos) << "with the system's error number";
  EXPECT_EQ(Count(list_), 0);
}

TEST_F(Reports, AnOverfullImportSaysHowManyWereLeftOut) {
  for (const wchar_t* name : {L"e.rar", L"d.rar", L"c.rar", L"b.rar", L"a.rar"}) {
    ASSERT_TRUE(testing::WriteFileBytes(scratch_.Path() + name, ""));
  }
  ASSERT_EQ(AppendMany(list_, Numbered(L"C:\\old\\", kMaxListItems - 2)), kMaxListItems - 2);
  const std::wstring text = MessageOf([&] { ImportAndReport(list_, files_, scratch_.Path()); });
  EXPECT_NE(text.find(L"列表已满"), std::wstring::npos) << ::testing::PrintToString(text);
  EXPECT_NE(text.find(L"已添加 2 个文件"), std::wstring::npos) << ::testing::PrintToString(text);
  EXPECT_NE(text.find(L"另有 3 个文件未添加"), std::wstring::npos) << ::testing::PrintToString(text);
}

}  // namespace
}  // namespace rarbatch
