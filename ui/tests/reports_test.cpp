// What the user is told when an edit of a list cannot take every item: on real list boxes, with the
// message boxes answered from a second thread.
#include "ui/reports.h"

#include <gtest/gtest.h>

#include "tools/dialog_driver.h"
#include "tools/test_support.h"
#include "core/paths.h"
#include "win/handles.h"

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

TEST(FolderPickReport, SaysWhyNothingIsImportedAndNamesThePath) {
  struct Case {
    FolderPick Outcome;
    std::wstring Path;
    Names Says;  // empty: no message
  };
  const std::wstring cut = L"C:\\归档\\" + std::wstring(240, L'p') + L"\\arch";
  const std::vector<Case> cases = {
      {FolderPick::Chosen, L"C:\\归档", {}},
      {FolderPick::Cancelled, L"", {}},
      {FolderPick::PathNotWhole, cut, {L"完整路径", L"未导入任何文件", cut}},
      {FolderPick::PathNotWhole, L"", {L"完整路径", L"未导入任何文件"}},
      {FolderPick::EndsInSpace, L"C:\\归档\\trail ", {L"空格", L"未导入任何文件", L"“C:\\归档\\trail ”"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Outcome));
    const auto message = FolderPickReport({c.Outcome, c.Path});
    ASSERT_EQ(message.has_value(), !c.Says.empty());
    for (const auto& part : c.Says) {
      EXPECT_NE(message->find(part), std::wstring::npos) << ::testing::PrintToString(*message);
    }
  }
}

TEST_F(Reports, AFolderWhosePathIsCutImportsNothingFromTheFolderItNamesAndSaysSo) {
  ComApartment com;
  // "parent\\name" runs past MAX_PATH; cut to MAX_PATH - 1 characters, as the shell gives it
  // under Wine, it names another folder with an archive in it.
  const std::wstring parent = scratch_.Path() + std::wstring(240 - scratch_.Path().size(), L'p');
  const std::wstring name = L"archives_far_past_the_limit_of_the_old_buffer";
  const std::wstring cut = (parent + L"\\" + name).substr(0, MAX_PATH - 1);
  for (const std::wstring& folder : {parent, parent + L"\\" + name, cut}) {
    ASSERT_TRUE(CreateDirectoryW(ExtendedLengthPath(folder).c_str(), nullptr));
  }
  ASSERT_TRUE(testing::WriteFileBytes(cut + L"\\not chosen.rar", ""));
  ASSERT_TRUE(testing::WriteFileBytes(parent + L"\\" + name + L"\\chosen.rar", ""));
  const auto item = testing::FolderItem(parent, name);
  ASSERT_TRUE(item);

  std::wstring text;
  DialogAnswerer choose(window_.get(), [&](HWND dialog) {
    EXPECT_TRUE(testing::SelectFolderItem(dialog, item.get(), name));
    testing::PressButton(dialog, IDOK);
  });
  DialogAnswerer message(window_.get(), [&](HWND box) {
    text = testing::MessageBoxText(box);
    testing::PressButton(box, IDOK);
  }, testing::WindowText(window_.get()));
  ImportFolder(window_.get(), list_, files_, L"请选择你要处理的包含 RAR 压缩文件的目录");
  ASSERT_TRUE(choose.Finish());
  const Names items = Items(list_);
  if (items == Names{parent + L"\\" + name + L"\\chosen.rar"}) {
    EXPECT_FALSE(message.Finish()) << "the shell gave the path whole: nothing to say";
    return;
  }
  EXPECT_TRUE(message.Finish()) << "no message";
  EXPECT_EQ(Count(list_), 0) << ::testing::PrintToString(items);
  EXPECT_EQ(files_.Path, L"");
  EXPECT_NE(text.find(L"未导入任何文件"), std::wstring::npos) << ::testing::PrintToString(text);
}

}  // namespace
}  // namespace rarbatch
