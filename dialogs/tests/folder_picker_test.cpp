// The folder-browse dialog: its record, and the real dialog answered by the test.
#include "dialogs/folder_picker.h"

#include <gtest/gtest.h>

#include "tools/dialog_driver.h"
#include "dialogs/dialog_records.h"
#include "tools/test_support.h"

namespace rarbatch {
namespace {

using testing::DialogAnswerer;
using testing::TestWindow;

const std::wstring kPrompt = L"请选择你要处理的包含 RAR 压缩文件的目录";

TEST(FolderPickerRecord, StartsAtTheDesktopAndTakesOnlyFileSystemFolders) {
  TestWindow owner;
  const BROWSEINFOW info = MakeBrowseInfo(owner.get(), kPrompt);
  EXPECT_EQ(info.hwndOwner, owner.get());
  EXPECT_EQ(info.pidlRoot, nullptr);
  EXPECT_EQ(info.pszDisplayName, nullptr);
  EXPECT_EQ(info.lpszTitle, kPrompt.c_str());
  EXPECT_EQ(info.ulFlags, 1u);
  EXPECT_EQ(info.lpfn, nullptr);
  EXPECT_EQ(info.lParam, 0);
  EXPECT_EQ(info.iImage, 0);
}

// Shows the dialog, selects `folder` in it and presses OK; returns what the picker returned.
std::wstring ChooseInDialog(const std::wstring& folder, bool* promptShown = nullptr) {
  TestWindow owner;
  DialogAnswerer answer(owner.get(), [&](HWND dialog) {
    if (promptShown) *promptShown = testing::FindChildWithText(dialog, kPrompt) != nullptr;
    EXPECT_TRUE(testing::SelectFolder(dialog, folder)) << "not shown as selected: " << ::testing::PrintToString(folder);
    testing::PressButton(dialog, IDOK);
  });
  std::wstring chosen = BrowseForFolder(owner.get(), kPrompt, L"");
  EXPECT_TRUE(answer.Finish()) << "the folder dialog never showed";
  return chosen;
}

TEST(FolderPicker, ReturnsTheChosenFolderWithoutTrailingBackslash) {
  testing::ScratchFolder scratch;  // its name holds a space and Chinese characters
  const std::wstring folder = scratch.Path().substr(0, scratch.Path().size() - 1);
  bool promptShown = false;
  EXPECT_EQ(ChooseInDialog(folder, &promptShown), folder);
  EXPECT_TRUE(promptShown) << "the prompt is shown above the tree";
}

TEST(FolderPicker, ADriveRootKeepsItsBackslash) {
  EXPECT_EQ(ChooseInDialog(L"C:\\"), L"C:\\");
}

TEST(FolderPicker, CancelGivesTheEmptyString) {
  TestWindow owner;
  DialogAnswerer answer(owner.get(), [](HWND dialog) { testing::PressButton(dialog, IDCANCEL); });
  EXPECT_EQ(BrowseForFolder(owner.get(), kPrompt), L"");
  EXPECT_TRUE(answer.Finish());
}

}  // namespace
}  // namespace rarbatch
