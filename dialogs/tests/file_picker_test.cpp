// The file-open dialog: its record for each use, and the real dialog answered by the test.
#include "dialogs/file_picker.h"

#include <gtest/gtest.h>

#include <cderr.h>
#include <dlgs.h>

#include "tools/dialog_driver.h"
#include "dialogs/dialog_records.h"
#include "tools/test_support.h"

namespace rarbatch {
namespace {

using testing::DialogAnswerer;
using testing::TestWindow;

void CreateEmptyFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create test file";
  CloseHandle(file);
}

TEST(FilePickerRecord, HasTheExactFieldsForEachUse) {
  TestWindow owner;
  for (const FilePickerUse* use : {&kPickRar, &kPickComment, &kPickAddFile}) {
    SCOPED_TRACE(use->Title);
    OpenFileRequest request(owner.get(), *use);
    const OPENFILENAMEW& r = request.Record;
#if defined(_WIN64)
    EXPECT_EQ(r.lStructSize, static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400W));
#else
    EXPECT_EQ(r.lStructSize, 76u);
#endif
    EXPECT_LT(r.lStructSize, sizeof(OPENFILENAMEW)) << "the form without the extension fields";
    EXPECT_EQ(r.hwndOwner, owner.get());
    EXPECT_EQ(r.hInstance, GetModuleHandleW(nullptr));
    const std::wstring filter(r.lpstrFilter, request.Filter.size() + 1);
    EXPECT_EQ(filter, std::wstring(use->FilterDescription) + L'\0' + use->FilterPattern + L'\0' + L'\0');
    EXPECT_EQ(r.lpstrCustomFilter, nullptr);
    EXPECT_EQ(r.nMaxCustFilter, 0u);
    EXPECT_EQ(r.nFilterIndex, 0u);
    ASSERT_EQ(r.lpstrFile, request.File.data());
    EXPECT_EQ(r.lpstrFile[0], L'\0') << "the name box opens empty";
    EXPECT_EQ(r.nMaxFile, request.File.size()) << "characters, the buffer's real size";
    EXPECT_EQ(r.lpstrFileTitle, request.FileTitle);
    EXPECT_EQ(r.nMaxFileTitle, 256u);
    EXPECT_EQ(r.lpstrInitialDir, nullptr);
    EXPECT_STREQ(r.lpstrTitle, use->Title);
    EXPECT_EQ(r.Flags, 0x281805u);
    EXPECT_EQ(r.lpstrDefExt, nullptr);
    EXPECT_EQ(r.lCustData, 0);
    EXPECT_EQ(r.lpfnHook, nullptr);
    EXPECT_EQ(r.lpTemplateName, nullptr);
  }
  EXPECT_STREQ(kPickRar.Title, L"选择 RAR 执行文件...");
  EXPECT_STREQ(kPickAddFile.Title, L"选择 要添加的文件...");
}

// The box where the user types the file name: a combo box or an edit, depending on the dialog.
HWND FileNameBox(HWND dialog) {
  HWND box = GetDlgItem(dialog, cmb13);
  return box ? box : GetDlgItem(dialog, edt1);
}

struct DialogSeen {
  std::wstring Title;
  std::wstring InitialName = L"(not read)";
  bool ReadOnlyBoxVisible = true;
  bool FilterShown = false;
};

// Shows the picker for `use`, types `typed` into the name box and presses OK (or Cancel when `typed`
// is empty); the picker must report no failure.
std::optional<std::wstring> AnswerPicker(HWND owner, const FilePickerUse& use, const std::wstring& typed,
                                         DialogSeen& seen) {
  DialogAnswerer answer(owner, [&](HWND dialog) {
    testing::WaitUntil([&] { return FileNameBox(dialog) != nullptr; });
    seen.Title = testing::WindowText(dialog);
    seen.InitialName = testing::WindowText(FileNameBox(dialog));
    HWND readOnly = GetDlgItem(dialog, chx1);
    seen.ReadOnlyBoxVisible = readOnly && IsWindowVisible(readOnly);
    seen.FilterShown = testing::FindChildWithText(dialog, use.FilterDescription) != nullptr ||
                       testing::WindowText(GetDlgItem(dialog, cmb1)) == use.FilterDescription;
    if (typed.empty()) {
      testing::PressButton(dialog, IDCANCEL);
      return;
    }
    SendMessageW(FileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    testing::PressButton(dialog, IDOK);
  }, use.Title);
  PickedFile picked = PickFile(owner, use);
  EXPECT_TRUE(answer.Finish()) << "the file dialog never showed";
  EXPECT_EQ(picked.Error, L"") << "no failure expected";
  return picked.Path;
}

TEST(FilePicker, ReturnsTheFullPathOfTheChosenFile) {
  testing::ScratchFolder scratch;
  const std::wstring path = scratch.Path() + L"注释 文件.txt";
  CreateEmptyFile(path);
  TestWindow owner;
  DialogSeen seen;
  EXPECT_EQ(AnswerPicker(owner.get(), kPickComment, path, seen), path);
  EXPECT_EQ(seen.Title, L"选择 文本文件...");
  EXPECT_EQ(seen.InitialName, L"") << "the name box must not open full of spaces";
  EXPECT_FALSE(seen.ReadOnlyBoxVisible) << "the read-only check box is hidden";
  EXPECT_TRUE(seen.FilterShown);
}

TEST(FilePicker, CancelReturnsNothingAndSaysNothing) {
  TestWindow owner;
  DialogSeen seen;
  EXPECT_EQ(AnswerPicker(owner.get(), kPickRar, L"", seen), std::nullopt);
  EXPECT_EQ(seen.Title, L"选择 RAR 执行文件...");
}

TEST(FilePicker, APathLongerThanTheOldBufferIsReturnedWhole) {
  testing::ScratchFolder scratch;
  // 258 characters: longer than 256, yet within MAX_PATH, which is as far as the dialog itself can
  // take a typed path.
  ASSERT_LT(scratch.Path().size(), 250u);
  const std::wstring name = std::wstring(258 - 4 - scratch.Path().size(), L'x') + L".txt";
  const std::wstring path = scratch.Path() + name;
  ASSERT_EQ(path.size(), 258u);
  CreateEmptyFile(L"\\\\?\\" + path);
  TestWindow owner;
  DialogSeen seen;
  EXPECT_EQ(AnswerPicker(owner.get(), kPickAddFile, path, seen), path);
  DeleteFileW((L"\\\\?\\" + path).c_str());
}

// What the dialog leaves in its buffer when it takes several files: one full path, or the folder and
// the names, each ended by a NUL, with a second NUL at the end.
TEST(PickedFiles, OneFileIsItsPathAndSeveralAreTheirFolderWithEachName) {
  const std::wstring one = std::wstring(L"C:\\样本\\a b.png") + L'\0' + L"stale" + L'\0';
  EXPECT_EQ(SplitPickedFiles(one, 6), (std::vector<std::wstring>{L"C:\\样本\\a b.png"}));
  const std::wstring several = std::wstring(L"C:\\样本") + L'\0' + L"a b.png" + L'\0' + L"说明.txt" + L'\0' + L'\0';
  EXPECT_EQ(SplitPickedFiles(several, 6),
            (std::vector<std::wstring>{L"C:\\样本\\a b.png", L"C:\\样本\\说明.txt"}));
  // At a drive's root the folder already ends in its backslash.
  const std::wstring root = std::wstring(L"C:\\") + L'\0' + L"a" + L'\0' + L"b" + L'\0' + L'\0';
  EXPECT_EQ(SplitPickedFiles(root, 4), (std::vector<std::wstring>{L"C:\\a", L"C:\\b"}));
  EXPECT_EQ(SplitPickedFiles(std::wstring(8, L'\0'), 0), std::vector<std::wstring>{});
  // A buffer without its last NUL gives the names it holds whole.
  EXPECT_EQ(SplitPickedFiles(std::wstring(L"D:\\x") + L'\0' + L"n", 5), (std::vector<std::wstring>{L"D:\\x\\n"}));
}

TEST(FileDialogError, NamesTheCause) {
  EXPECT_NE(DescribeFileDialogError(FNERR_BUFFERTOOSMALL).find(L"32767"), std::wstring::npos);
  EXPECT_NE(DescribeFileDialogError(CDERR_INITIALIZATION).find(L"0x0002"), std::wstring::npos);
}

}  // namespace
}  // namespace rarbatch
