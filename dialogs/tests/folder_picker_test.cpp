// The folder-browse dialog: its record, the real dialog answered by the test, and what it makes of
// folders whose path cannot be had whole or as it is named.
#include "dialogs/folder_picker.h"

#include <gtest/gtest.h>

#include <functional>

#include <commctrl.h>

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

// What a test made of the dialog: whether the folder it asked for showed as selected (only then was
// OK pressed; otherwise the dialog was cancelled), and what the picker returned.
struct DialogChoice {
  bool Selected = false;
  PickedFolder Picked;
};

// Shows the dialog, runs `select` on it from a second thread, and presses OK when that selected the
// folder, or Cancel when it could not, so that no other folder is taken for the chosen one.
DialogChoice ChooseWith(const std::function<bool(HWND dialog)>& select, bool* promptShown = nullptr) {
  TestWindow owner;
  DialogChoice choice;
  DialogAnswerer answer(owner.get(), [&](HWND dialog) {
    if (promptShown) *promptShown = testing::FindChildWithText(dialog, kPrompt) != nullptr;
    choice.Selected = select(dialog);
    testing::PressButton(dialog, choice.Selected ? IDOK : IDCANCEL);
  });
  choice.Picked = BrowseForFolder(owner.get(), kPrompt, L"");
  EXPECT_TRUE(answer.Finish()) << "the folder dialog never showed";
  return choice;
}

// Shows the dialog, selects `folder` in it and presses OK.
DialogChoice ChooseInDialog(const std::wstring& folder, bool* promptShown = nullptr) {
  return ChooseWith([&](HWND dialog) { return testing::SelectFolder(dialog, folder); }, promptShown);
}

// Shows the dialog, selects the folder `name` in `parent` through its shell item and presses OK.
DialogChoice ChooseItemInDialog(const std::wstring& parent, const std::wstring& name) {
  return ChooseWith([&](HWND dialog) { return testing::SelectFolderItem(dialog, parent, name); });
}

#define ASSERT_SELECTED(choice, folder)                                                        \
  ASSERT_TRUE((choice).Selected) << "could not set up the test: the folder dialog never showed " \
                                 << ::testing::PrintToString(folder) << " as selected"

// The chosen folder's path, or a failure naming what the picker said instead.
std::wstring ChosenPath(const PickedFolder& picked) {
  EXPECT_EQ(picked.Outcome, FolderPick::Chosen) << ::testing::PrintToString(picked.Path);
  return picked.Path;
}

TEST(FolderPicker, ReturnsTheChosenFolderWithoutTrailingBackslash) {
  testing::ScratchFolder scratch;  // its name holds a space and Chinese characters
  const std::wstring folder = scratch.Path().substr(0, scratch.Path().size() - 1);
  bool promptShown = false;
  const DialogChoice choice = ChooseInDialog(folder, &promptShown);
  ASSERT_SELECTED(choice, folder);
  EXPECT_EQ(ChosenPath(choice.Picked), folder);
  EXPECT_TRUE(promptShown) << "the prompt is shown above the tree";
}

TEST(FolderPicker, OpensAtTheStartFolder) {
  testing::ScratchFolder scratch;
  const std::wstring folder = scratch.Path() + L"上次 & 100%";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  TestWindow owner;
  bool shown = false;
  DialogAnswerer answer(owner.get(), [&](HWND dialog) {
    // The dialog selects the folder once it is up; OK is pressed when the tree shows it selected.
    HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
    const ULONGLONG deadline = GetTickCount64() + testing::kPatienceMs;
    while (tree && !shown && GetTickCount64() < deadline) {
      wchar_t text[MAX_PATH] = {};
      TVITEMW item{};
      item.mask = TVIF_TEXT;
      item.hItem = TreeView_GetSelection(tree);
      item.pszText = text;
      item.cchTextMax = MAX_PATH;
      shown = item.hItem && TreeView_GetItem(tree, &item) && std::wstring(text) == L"上次 & 100%";
      if (!shown) Sleep(100);
    }
    testing::PressButton(dialog, shown ? IDOK : IDCANCEL);
  });
  const PickedFolder picked = BrowseForFolder(owner.get(), kPrompt, folder);
  EXPECT_TRUE(answer.Finish());
  ASSERT_TRUE(shown) << "the dialog never showed the start folder selected";
  EXPECT_EQ(ChosenPath(picked), folder);
}

TEST(FolderPicker, ADriveRootKeepsItsBackslash) {
  const DialogChoice choice = ChooseInDialog(L"C:\\");
  ASSERT_SELECTED(choice, L"C:\\");
  EXPECT_EQ(ChosenPath(choice.Picked), L"C:\\");
}

TEST(FolderPicker, CancelChoosesNothing) {
  TestWindow owner;
  DialogAnswerer answer(owner.get(), [](HWND dialog) { testing::PressButton(dialog, IDCANCEL); });
  const PickedFolder picked = BrowseForFolder(owner.get(), kPrompt);
  EXPECT_EQ(picked.Outcome, FolderPick::Cancelled);
  EXPECT_EQ(picked.Path, L"");
  EXPECT_TRUE(answer.Finish());
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
  ASSERT_TRUE(deepItem && testing::FolderItem(parent, fits)) << "the shell does not list the folders";
  const DialogChoice deepChoice = ChooseItemInDialog(parent, name);
  ASSERT_SELECTED(deepChoice, name);
  const DialogChoice fitsChoice = ChooseItemInDialog(parent, fits);
  ASSERT_SELECTED(fitsChoice, fits);

  // Where the shell gives the path whole (Windows) the folder is chosen; where it cuts it, nothing.
  for (const PickedFolder& picked : {FolderOfItem(deepItem.get()), deepChoice.Picked}) {
    EXPECT_TRUE(picked.Outcome == FolderPick::PathNotWhole ||
                (picked.Outcome == FolderPick::Chosen && picked.Path == deep))
        << static_cast<int>(picked.Outcome) << " " << ::testing::PrintToString(picked.Path);
  }
  EXPECT_EQ(ChosenPath(fitsChoice.Picked), parent + L"\\" + fits);
}

TEST(FolderPicker, AFolderNamedWithATrailingSpaceIsNotTakenForItsNamesake) {
  ComApartment com;
  testing::ScratchFolder scratch;
  const std::wstring parent = scratch.Path() + L"父";
  ASSERT_TRUE(testing::MakeFolder(parent));
  ASSERT_TRUE(testing::MakeFolder(parent + L"\\trail"));
  if (!testing::MakeFolder(parent + L"\\trail ")) GTEST_SKIP() << "the file system takes no name ending in a space";
  ASSERT_TRUE(testing::FolderItem(parent, L"trail ")) << "the shell does not list the folder";
  const DialogChoice choice = ChooseItemInDialog(parent, L"trail ");
  ASSERT_SELECTED(choice, L"trail ");
  EXPECT_EQ(choice.Picked.Outcome, FolderPick::EndsInSpace);
  EXPECT_EQ(choice.Picked.Path, parent + L"\\trail ");
}

// The shell's items carry each folder's time of change, and the tree matches items by those bytes.
// A folder on the way that changed after the tree listed it (the temp folder changes whenever any
// program makes a temporary file) must not keep the dialog from being driven to the folder.
TEST(FolderPicker, AFolderIsSelectedAfterTheFoldersOnTheWayChanged) {
  ComApartment com;
  testing::ScratchFolder scratch;
  const std::wstring parent = scratch.Path() + L"父";
  ASSERT_TRUE(testing::MakeFolder(parent) && testing::MakeFolder(parent + L"\\child"));
  bool before = false, after = false;
  const DialogChoice choice = ChooseWith([&](HWND dialog) {
    before = testing::SelectFolderItem(dialog, parent, L"child");
    if (!before || !testing::SelectFolder(dialog, L"C:\\")) return false;
    Sleep(2100);  // the times kept in an item count in steps of 2 seconds
    if (!testing::MakeEmptyFile(scratch.Path() + L"new.tmp") || !testing::MakeEmptyFile(parent + L"\\new.tmp")) {
      return false;
    }
    after = testing::SelectFolderItem(dialog, parent, L"child", 20000);
    return after;
  });
  EXPECT_TRUE(before) << "the first selection";
  ASSERT_TRUE(after) << "the folder was not selected once the folders on the way had changed";
  EXPECT_EQ(ChosenPath(choice.Picked), parent + L"\\child");
}

}  // namespace
}  // namespace rarbatch
