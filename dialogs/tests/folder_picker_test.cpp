// The folder-browse dialog: its record, the real dialog answered by the test, and what it makes of
// folders whose path cannot be had whole or as it is named.
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
PickedFolder ChooseInDialog(const std::wstring& folder, bool* promptShown = nullptr) {
  TestWindow owner;
  DialogAnswerer answer(owner.get(), [&](HWND dialog) {
    if (promptShown) *promptShown = testing::FindChildWithText(dialog, kPrompt) != nullptr;
    EXPECT_TRUE(testing::SelectFolder(dialog, folder)) << "not shown as selected: " << ::testing::PrintToString(folder);
    testing::PressButton(dialog, IDOK);
  });
  PickedFolder chosen = BrowseForFolder(owner.get(), kPrompt, L"");
  EXPECT_TRUE(answer.Finish()) << "the folder dialog never showed";
  return chosen;
}

// The chosen folder's path, or a failure naming what the picker said instead.
std::wstring ChosenPath(const PickedFolder& picked) {
  EXPECT_EQ(picked.Outcome, FolderPick::Chosen) << ::testing::PrintToString(picked.Path);
  return picked.Path;
}

TEST(FolderPicker, ReturnsTheChosenFolderWithoutTrailingBackslash) {
  testing::ScratchFolder scratch;  // its name holds a space and Chinese characters
  const std::wstring folder = scratch.Path().substr(0, scratch.Path().size() - 1);
  bool promptShown = false;
  EXPECT_EQ(ChosenPath(ChooseInDialog(folder, &promptShown)), folder);
  EXPECT_TRUE(promptShown) << "the prompt is shown above the tree";
}

TEST(FolderPicker, ADriveRootKeepsItsBackslash) {
  EXPECT_EQ(ChosenPath(ChooseInDialog(L"C:\\")), L"C:\\");
}

TEST(FolderPicker, CancelChoosesNothing) {
  TestWindow owner;
  DialogAnswerer answer(owner.get(), [](HWND dialog) { testing::PressButton(dialog, IDCANCEL); });
  const PickedFolder picked = BrowseForFolder(owner.get(), kPrompt);
  EXPECT_EQ(picked.Outcome, FolderPick::Cancelled);
  EXPECT_EQ(picked.Path, L"");
  EXPECT_TRUE(answer.Finish());
}

// Shows the dialog, selects `item` (shown in the tree as `label`) and presses OK.
PickedFolder ChooseItemInDialog(PCIDLIST_ABSOLUTE item, const std::wstring& label) {
  TestWindow owner;
  DialogAnswerer answer(owner.get(), [&](HWND dialog) {
    EXPECT_TRUE(testing::SelectFolderItem(dialog, item, label)) << "not shown as selected: " << ::testing::PrintToString(label);
    testing::PressButton(dialog, IDOK);
  });
  PickedFolder chosen = BrowseForFolder(owner.get(), kPrompt, L"");
  EXPECT_TRUE(answer.Finish()) << "the folder dialog never showed";
  return chosen;
}

TEST(FolderPicker, AFolderWhosePathIsCutIsNotChosenAndOneThatJustFitsIs) {
  ComApartment com;
  testing::ScratchFolder scratch;
  // parent + "\\" + name runs past MAX_PATH. Cut to MAX_PATH - 1 characters, as Wine's shell gives
  // it, it names another folder that is there too: one the user never chose.
  const std::wstring parent = scratch.Path() + std::wstring(240 - scratch.Path().size(), L'p');
  const std::wstring name = L"archives_far_past_the_limit_of_the_old_buffer";
  const std::wstring deep = parent + L"\\" + name;
  const std::wstring fits(MAX_PATH - 1 - parent.size() - 1, L'n');  // parent\fits: MAX_PATH - 1
  for (const std::wstring& folder : {parent, deep, deep.substr(0, MAX_PATH - 1), parent + L"\\" + fits}) {
    ASSERT_TRUE(testing::MakeFolder(folder));
  }
  const auto deepItem = testing::FolderItem(parent, name);
  const auto fitsItem = testing::FolderItem(parent, fits);
  ASSERT_TRUE(deepItem && fitsItem) << "the shell does not list the folders";

  // Where the shell gives the path whole (Windows) the folder is chosen; where it cuts it, nothing.
  for (const PickedFolder& picked : {FolderOfItem(deepItem.get()), ChooseItemInDialog(deepItem.get(), name)}) {
    EXPECT_TRUE(picked.Outcome == FolderPick::PathNotWhole ||
                (picked.Outcome == FolderPick::Chosen && picked.Path == deep))
        << static_cast<int>(picked.Outcome) << " " << ::testing::PrintToString(picked.Path);
  }
  EXPECT_EQ(ChosenPath(ChooseItemInDialog(fitsItem.get(), fits)), parent + L"\\" + fits);
}

TEST(FolderPicker, AFolderNamedWithATrailingSpaceIsNotTakenForItsNamesake) {
  ComApartment com;
  testing::ScratchFolder scratch;
  const std::wstring parent = scratch.Path() + L"父";
  ASSERT_TRUE(testing::MakeFolder(parent));
  ASSERT_TRUE(testing::MakeFolder(parent + L"\\trail"));
  if (!testing::MakeFolder(parent + L"\\trail ")) GTEST_SKIP() << "the file system takes no name ending in a space";
  const auto item = testing::FolderItem(parent, L"trail ");
  ASSERT_TRUE(item) << "the shell does not list the folder";
  const PickedFolder picked = ChooseItemInDialog(item.get(), L"trail ");
  EXPECT_EQ(picked.Outcome, FolderPick::EndsInSpace);
  EXPECT_EQ(picked.Path, parent + L"\\trail ");
}

}  // namespace
}  // namespace rarbatch
