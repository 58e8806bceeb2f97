// The results window on real controls, its job run against the stand-in archiver: rows and
// statuses, the buttons, the detail view, and closing while work runs.
#include "ui/results_window.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include "run/backup.h"
#include "tools/dialog_driver.h"
#include "tools/test_support.h"

namespace rarbatch {
namespace {

using testing::DialogAnswerer;
using testing::FakeArchive;
using testing::PumpUntil;
using testing::ScratchFolder;
using testing::TestWindow;
using Row = std::vector<std::wstring>;

std::wstring Cell(HWND table, int row, int column) {
  wchar_t text[1024] = {};
  ListView_GetItemText(table, row, column, text, 1024);
  return text;
}

class ResultsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring d = dir_.Path();
    job_.RarPath = testing::InstallFakeRar(d);
    job_.Archives = {d + L"a.rar", d + L"locked.rar", d + L"missing.rar", d + L"forced.rar"};
    job_.DeleteNames = {L"old.txt"};
    job_.AddFiles = {d + L"new.txt"};
    job_.Lock = true;
    ASSERT_TRUE(testing::WriteFileBytes(d + L"new.txt", "x"));
    FakeArchive plain;
    plain.Entries = {{L"old.txt", L""}, {L"keep.txt", L""}};
    ASSERT_TRUE(testing::WriteFakeArchive(d + L"a.rar", plain));
    FakeArchive locked = plain;
    locked.Locked = true;
    ASSERT_TRUE(testing::WriteFakeArchive(d + L"locked.rar", locked));
    ASSERT_TRUE(testing::WriteFakeArchive(d + L"forced.rar", plain));
    ASSERT_TRUE(testing::ForceExitCode(d + L"forced.rar", 11));
  }

  // Turns on backups for the job, into a run folder made in the scratch folder's "backups".
  void WithBackups() {
    ASSERT_TRUE(testing::MakeFolder(dir_.Path() + L"backups"));
    std::wstring error;
    job_.Backup = true;
    job_.BackupFolder = MakeRunBackupFolder(dir_.Path() + L"backups", &error);
    ASSERT_FALSE(job_.BackupFolder.empty()) << ::testing::PrintToString(error);
  }
  // Opens the window on the job and waits for the run to end.
  void RunToEnd(unsigned workers = 2) {
    window_ = std::make_unique<ResultsWindow>(job_, workers);
    ASSERT_NE(window_->Open(GetModuleHandleW(nullptr), owner_.get()), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !window_->IsRunning() && !IsWindowEnabled(Button(ResultsWindow::kStop)); }));
  }
  HWND Table() const { return window_->Control(ResultsWindow::kTable); }
  HWND Button(int id) const { return window_->Control(id); }
  Row RowAt(int row) const { return {Cell(Table(), row, 0), Cell(Table(), row, 1), Cell(Table(), row, 2)}; }

  ScratchFolder dir_;
  TestWindow owner_;
  BatchJob job_;
  std::unique_ptr<ResultsWindow> window_;
};

TEST_F(ResultsWindowTest, OneRowPerArchiveWithItsStatusAndFirstFailure) {
  RunToEnd();
  const std::wstring d = dir_.Path();
  EXPECT_EQ(testing::WindowText(window_->Handle()), L"处理结果");
  EXPECT_EQ(GetWindow(window_->Handle(), GW_OWNER), owner_.get()) << "owned by the main window";
  ASSERT_EQ(ListView_GetItemCount(Table()), 4);
  // The archive column shows the path below the archives' common folder; the detail keeps the full path.
  EXPECT_EQ(RowAt(0), (Row{L"a.rar", L"成功", L""}));
  EXPECT_EQ(RowAt(1), (Row{L"locked.rar", L"失败", L"已锁定"}));
  EXPECT_EQ(window_->ArchivePathAt(1), d + L"locked.rar");
  EXPECT_EQ(RowAt(2), (Row{L"missing.rar", L"失败", L"删除：打开文件错误 (6)"}));
  EXPECT_EQ(RowAt(3), (Row{L"forced.rar", L"失败", L"删除：密码错误 (11)"}));
  EXPECT_EQ(testing::WindowText(window_->Control(ResultsWindow::kStatusLine)).rfind(L"已完成 4 / 4，成功 1，警告 0，失败 3，用时 ", 0), 0u);
  EXPECT_EQ(SendMessageW(window_->Control(ResultsWindow::kProgress), PBM_GETPOS, 0, 0), 4);
  EXPECT_TRUE(IsWindowEnabled(Button(ResultsWindow::kRetry)));

  // The archive that succeeded now holds what the job asked for.
  const FakeArchive a = testing::ReadFakeArchive(d + L"a.rar");
  EXPECT_TRUE(a.Locked);
  EXPECT_EQ(a.Entries, (std::vector<testing::FakeEntry>{{L"keep.txt", L""}, {L"new.txt", L""}}));

  // The detail of an archive: each command line with its exit code; of the locked one, that no call
  // was made, and why.
  const std::wstring detail = window_->DetailText(0);
  EXPECT_NE(detail.find(L"\"" + job_.RarPath + L"\" d -scfr \"" + d + L"a.rar\" \"old.txt\""), std::wstring::npos) << detail;
  EXPECT_NE(detail.find(L"删除：退出代码 0（成功）"), std::wstring::npos) << detail;
  EXPECT_NE(detail.find(L" a -ep1 -k -scfr \"" + d + L"a.rar\""), std::wstring::npos) << detail;
  const std::wstring refused = window_->DetailText(1);
  EXPECT_NE(refused.find(L"说明：已锁定\r\n\r\n没有调用压缩程序。"), std::wstring::npos) << refused;
}

TEST_F(ResultsWindowTest, CopySaveRetryAndTheDetailWindow) {
  RunToEnd();
  const std::wstring report = window_->ReportText();
  EXPECT_EQ(report.rfind(L"压缩包\t状态\t说明\r\n" + dir_.Path() + L"a.rar\t成功\t\r\n", 0), 0u) << report;

  SendMessageW(Button(ResultsWindow::kCopy), BM_CLICK, 0, 0);
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  const std::wstring copied = data ? static_cast<const wchar_t*>(GlobalLock(data)) : L"";
  if (data) GlobalUnlock(data);
  CloseClipboard();
  EXPECT_EQ(copied, report);

  const std::wstring saved = dir_.Path() + L"报告.txt";
  EXPECT_EQ(window_->SaveReport(saved), L"");
  EXPECT_EQ(testing::ReadFileBytes(saved), "\xEF\xBB\xBF" + *ToCodePage(report, CP_UTF8));

  // Enter on a row, or a double click, opens its detail.
  auto detailOf = [&](const wchar_t* name) {
    return FindWindowW(nullptr, (L"处理详情 - " + dir_.Path() + name).c_str());
  };
  SetActiveWindow(window_->Handle());
  SetFocus(Table());
  ListView_SetItemState(Table(), 1, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  MSG enter{Table(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  IsDialogMessageW(window_->Handle(), &enter);
  EXPECT_TRUE(PumpUntil([&] { return detailOf(L"locked.rar") != nullptr; }));

  RECT item{};
  ListView_GetItemRect(Table(), 2, &item, LVIR_BOUNDS);
  const LPARAM at = MAKELPARAM(item.left + 20, (item.top + item.bottom) / 2);
  SendMessageW(Table(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(Table(), WM_LBUTTONUP, 0, at);
  SendMessageW(Table(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(Table(), WM_LBUTTONUP, 0, at);
  EXPECT_TRUE(PumpUntil([&] { return detailOf(L"missing.rar") != nullptr; }));
  // The detail window has a font of its own: a DPI change of the results window, which makes that
  // window's font anew, leaves the detail's text with a font that still exists.
  RECT suggested;
  GetWindowRect(window_->Handle(), &suggested);
  SendMessageW(window_->Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  HWND detailText = GetDlgItem(detailOf(L"missing.rar"), 100);
  const auto detailFont = reinterpret_cast<HGDIOBJ>(SendMessageW(detailText, WM_GETFONT, 0, 0));
  EXPECT_EQ(GetObjectType(detailFont), static_cast<DWORD>(OBJ_FONT)) << "the detail's font was deleted";

  // Retry runs only the failed archives: with the lock taken off one, it now succeeds.
  FakeArchive unlocked = testing::ReadFakeArchive(dir_.Path() + L"locked.rar");
  unlocked.Locked = false;
  ASSERT_TRUE(testing::WriteFakeArchive(dir_.Path() + L"locked.rar", unlocked));
  SendMessageW(Button(ResultsWindow::kRetry), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !window_->IsRunning() && Cell(Table(), 1, 1) == L"成功"; }));
  EXPECT_EQ(RowAt(0)[1], L"成功");
  EXPECT_EQ(RowAt(3), (Row{L"forced.rar", L"失败", L"删除：密码错误 (11)"}));
  EXPECT_NE(testing::ReadFileBytes(dir_.Path() + L"args.log").find("old.txt"), std::string::npos);
}

TEST_F(ResultsWindowTest, StopTwiceEndsTheArchiverAndClosingWhileWorkRunsAsks) {
  testing::FakeArchiverDelay slow(400);
  job_.Lock = false;  // so that a.rar can be worked on again and again
  job_.Archives.resize(1);
  for (int i = 0; i < 5; ++i) job_.Archives.push_back(dir_.Path() + L"a.rar");  // one at a time
  window_ = std::make_unique<ResultsWindow>(job_, 2);
  ASSERT_NE(window_->Open(GetModuleHandleW(nullptr), owner_.get()), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return Cell(Table(), 0, 1) == L"正在处理"; }));

  // Closing asks; "no" keeps the window and the work going.
  {
    DialogAnswerer no(window_->Handle(), [](HWND box) { testing::PressButton(box, IDNO); });
    SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(no.Finish()) << "closing during work did not ask";
  }
  EXPECT_TRUE(IsWindow(window_->Handle()));
  EXPECT_TRUE(window_->IsRunning());

  // The first press lets the running call end; the second ends it at once, and the archive is left
  // as it was.
  SendMessageW(Button(ResultsWindow::kStop), BM_CLICK, 0, 0);
  const std::wstring line = testing::WindowText(window_->Control(ResultsWindow::kStatusLine));
  EXPECT_NE(line.find(L"正在停止"), std::wstring::npos) << line;
  EXPECT_TRUE(IsWindowEnabled(Button(ResultsWindow::kStop)));
  SendMessageW(Button(ResultsWindow::kStop), BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindowEnabled(Button(ResultsWindow::kStop)));
  ASSERT_TRUE(PumpUntil([&] { return !window_->IsRunning(); }));
  EXPECT_EQ(RowAt(5)[1], L"已停止");
  EXPECT_TRUE(IsWindowEnabled(Button(ResultsWindow::kRetry)));

  // Retry, then close and say "yes": the window goes once the running call has ended.
  SendMessageW(Button(ResultsWindow::kRetry), BM_CLICK, 0, 0);
  ASSERT_TRUE(window_->IsRunning());
  DialogAnswerer yes(window_->Handle(), [](HWND box) { testing::PressButton(box, IDYES); });
  SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(yes.Finish());
  HWND handle = window_->Handle();
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(handle); }));
  EXPECT_FALSE(window_->IsRunning()) << "closed before the running call ended";
}

// With backups, 还原 puts the archives back: asked first, then each row says so, and retrying is over.
TEST_F(ResultsWindowTest, RestorePutsTheArchivesBackAndSaysSoInEachRow) {
  const std::wstring d = dir_.Path();
  const std::string before = testing::ReadFileBytes(d + L"a.rar");
  ASSERT_NO_FATAL_FAILURE(WithBackups());
  RunToEnd();
  EXPECT_TRUE(IsWindowVisible(Button(ResultsWindow::kRestore)));
  EXPECT_TRUE(IsWindowEnabled(Button(ResultsWindow::kRestore)));
  ASSERT_NE(testing::ReadFileBytes(d + L"a.rar"), before);

  HWND owner = window_->Handle();
  std::wstring report;
  DialogAnswerer yes(owner, [&](HWND box) {
    const std::wstring question = testing::MessageBoxText(box);
    testing::PressButton(box, IDYES);
    // The next box may get the same handle: it is told apart by its text.
    testing::WaitUntil([&] {
      HWND next = testing::WaitForDialog(owner, {}, 200);
      // A closing box answers with no text.
      const std::wstring text = next ? testing::MessageBoxText(next) : std::wstring();
      if (text.empty() || text == question) return false;
      report = text;
      testing::PressButton(next, IDOK);
      return true;
    });
  });
  SendMessageW(Button(ResultsWindow::kRestore), BM_CLICK, 0, 0);
  EXPECT_TRUE(yes.Finish());
  // The message's words are DescribeRestore's, tested with the restore itself; here the box is only
  // closed (the answerer cannot always tell it from the question under Wine, which reuses handles).
  EXPECT_EQ(testing::ReadFileBytes(d + L"a.rar"), before);
  EXPECT_EQ(RowAt(0)[1], L"已还原");
  EXPECT_EQ(RowAt(1)[1], L"失败") << "locked: refused, never copied, left as it was";
  EXPECT_EQ(RowAt(3)[1], L"已还原");
  EXPECT_FALSE(IsWindowEnabled(Button(ResultsWindow::kRetry)));
  EXPECT_NE(window_->ReportText().find(L"已还原"), std::wstring::npos);
}

// 重试 and 还原 ask what else is at work on the archives first, and start nothing while it is.
TEST_F(ResultsWindowTest, RetryAndRestoreWaitForWhatElseWorksOnTheArchives) {
  const std::wstring d = dir_.Path();
  ASSERT_NO_FATAL_FAILURE(WithBackups());
  RunToEnd();
  const std::string after = testing::ReadFileBytes(d + L"a.rar");
  const Row failed = RowAt(3);
  std::wstring asked;
  window_->SetBusyCheck([&](const wchar_t* action) -> std::optional<std::wstring> {
    asked = action;
    return L"上一次生成的批处理文件仍在运行，请等它结束后再" + std::wstring(action) + L"。";
  });
  for (int button : {ResultsWindow::kRetry, ResultsWindow::kRestore}) {
    std::wstring text;
    DialogAnswerer told(window_->Handle(), [&](HWND box) {
      text = testing::MessageBoxText(box);
      testing::PressButton(box, IDOK);
    });
    SendMessageW(Button(button), BM_CLICK, 0, 0);
    ASSERT_TRUE(told.Finish());
    const std::wstring action = button == ResultsWindow::kRetry ? L"重试" : L"还原";
    EXPECT_EQ(asked, action);
    EXPECT_EQ(text, L"上一次生成的批处理文件仍在运行，请等它结束后再" + action + L"。");
    EXPECT_FALSE(window_->IsRunning());
  }
  EXPECT_EQ(RowAt(3), failed) << "not retried";
  EXPECT_EQ(testing::ReadFileBytes(d + L"a.rar"), after) << "not restored";
}

// A click on a column header, as the user makes it: on the list view's header control.
void ClickHeader(HWND table, int column) {
  HWND header = ListView_GetHeader(table);
  RECT rect{};
  ASSERT_TRUE(Header_GetItemRect(header, column, &rect));
  const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(header, WM_LBUTTONUP, 0, at);
}

int SortArrow(HWND table, int column) {
  HDITEMW item{};
  item.mask = HDI_FORMAT;
  Header_GetItem(ListView_GetHeader(table), column, &item);
  return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
}

int StateImage(HWND table, int row) {
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  item.iSubItem = 1;
  ListView_GetItem(table, &item);
  return item.iImage;
}

// The table as a user of many rows needs it: sorted by a header click (the state by severity, a
// second click reversed, kept while rows change), only the rows that need attention on request, the
// archive below the common folder, and a mark beside each state.
TEST_F(ResultsWindowTest, HeadersSortTheFilterShowsWhatNeedsAttentionAndPathsAreShort) {
  const std::wstring d = dir_.Path();
  ASSERT_TRUE(testing::MakeFolder(d + L"sub"));
  FakeArchive plain;
  plain.Entries = {{L"old.txt", L""}, {L"keep.txt", L""}};
  ASSERT_TRUE(testing::WriteFakeArchive(d + L"sub\\b.rar", plain));
  job_.Archives.push_back(d + L"sub\\b.rar");
  RunToEnd();
  ASSERT_EQ(ListView_GetItemCount(Table()), 5);
  EXPECT_EQ(RowAt(4), (Row{L"sub\\b.rar", L"成功", L""}));
  EXPECT_EQ(window_->ArchivePathAt(4), d + L"sub\\b.rar");
  const auto archives = [&] {
    std::vector<std::wstring> shown;
    for (int row = 0; row < ListView_GetItemCount(Table()); ++row) shown.push_back(Cell(Table(), row, 0));
    return shown;
  };
  using Names = std::vector<std::wstring>;

  // The state: failures first, equal states in the job's order; again: reversed.
  ClickHeader(Table(), 1);
  EXPECT_EQ(archives(), (Names{L"locked.rar", L"missing.rar", L"forced.rar", L"a.rar", L"sub\\b.rar"}));
  EXPECT_EQ(SortArrow(Table(), 1), HDF_SORTUP);
  EXPECT_EQ(SortArrow(Table(), 0), 0);
  // The detail follows the row shown, not the row's place in the job.
  EXPECT_EQ(window_->ArchivePathAt(0), d + L"locked.rar");
  ClickHeader(Table(), 1);
  EXPECT_EQ(archives(), (Names{L"a.rar", L"sub\\b.rar", L"locked.rar", L"missing.rar", L"forced.rar"}));
  EXPECT_EQ(SortArrow(Table(), 1), HDF_SORTDOWN);
  ClickHeader(Table(), 0);
  EXPECT_EQ(archives(), (Names{L"a.rar", L"forced.rar", L"locked.rar", L"missing.rar", L"sub\\b.rar"}));

  // The marks: the failure's and the success's differ, and the table has one per kind.
  HIMAGELIST marks = ListView_GetImageList(Table(), LVSIL_SMALL);
  ASSERT_NE(marks, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(marks), 5);
  EXPECT_EQ(StateImage(Table(), 0), static_cast<int>(StateMark::Done));
  EXPECT_EQ(StateImage(Table(), 1), static_cast<int>(StateMark::Failure));

  // Only what needs attention: the three failures, still sorted by the archive.
  SendMessageW(Button(ResultsWindow::kAttentionOnly), BM_CLICK, 0, 0);
  EXPECT_EQ(archives(), (Names{L"forced.rar", L"locked.rar", L"missing.rar"}));
  // A row that changes during a retry leaves the filtered table: the unlocked archive now succeeds.
  FakeArchive unlocked = testing::ReadFakeArchive(d + L"locked.rar");
  unlocked.Locked = false;
  ASSERT_TRUE(testing::WriteFakeArchive(d + L"locked.rar", unlocked));
  SendMessageW(Button(ResultsWindow::kRetry), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !window_->IsRunning() && archives() == Names{L"forced.rar", L"missing.rar"}; }))
      << ::testing::PrintToString(archives());
  SendMessageW(Button(ResultsWindow::kAttentionOnly), BM_CLICK, 0, 0);
  EXPECT_EQ(archives(), (Names{L"a.rar", L"forced.rar", L"locked.rar", L"missing.rar", L"sub\\b.rar"}));
  // The report keeps the job's order and the full paths.
  EXPECT_EQ(window_->ReportText().rfind(L"压缩包\t状态\t说明\r\n" + d + L"a.rar\t成功\t\r\n" + d + L"locked.rar\t成功", 0), 0u);
}

TEST_F(ResultsWindowTest, WithoutBackupsThereIsNoRestoreButton) {
  RunToEnd();
  EXPECT_FALSE(IsWindowVisible(Button(ResultsWindow::kRestore)));
}

}  // namespace
}  // namespace rarbatch
