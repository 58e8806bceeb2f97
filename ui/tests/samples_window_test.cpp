// 按内容删除 under Wine: the samples window fed by drops (files read away from the window's thread),
// what it refuses and skips, removing, 确定 and 取消, and the samples in the main window's job, its job
// file and its generate button.
#include "ui/samples_window.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/content_samples.h"
#include "lists/item_list.h"
#include "tools/dialog_driver.h"
#include "tools/test_support.h"
#include "ui/layout.h"
#include "ui/main_window.h"
#include "win/file_hash.h"

namespace rarbatch {
namespace {

using testing::PumpUntil;
using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WriteFileBytes;
using Strings = std::vector<std::wstring>;

HDROP MakeDrop(const Strings& paths) {
  std::wstring names;
  for (const auto& path : paths) names += path + L'\0';
  names += L'\0';
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
  auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
  *files = DROPFILES{sizeof(DROPFILES), {5, 5}, FALSE, TRUE};
  std::memcpy(files + 1, names.data(), names.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

// The sample a file gives, as the window reads it.
ContentSample SampleOf(const std::wstring& path) {
  DWORD error = ERROR_SUCCESS;
  std::optional<ContentSample> sample = SampleOfFile(path, &error);
  return sample ? *sample : ContentSample{};
}

// The texts of the list view's row.
Strings RowTexts(HWND list, int row) {
  Strings cells;
  for (int column = 0; column < 4; ++column) {
    wchar_t text[1024] = {};
    ListView_GetItemText(list, row, column, text, 1024);
    cells.push_back(text);
  }
  return cells;
}

// Drops `paths` on the window as the file manager does, and waits until they are read and listed.
void DropAndWait(SamplesWindow& window, const Strings& paths) {
  SendMessageW(window.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
  ASSERT_TRUE(PumpUntil([&] { return !window.IsReading(); }));
}

class SamplesWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    d_ = folder_.Path();
    ASSERT_TRUE(WriteFileBytes(d_ + L"广告 图.png", std::string(3000, 'a')));
    ASSERT_TRUE(WriteFileBytes(d_ + L"说明.txt", "visit our site"));
    ASSERT_TRUE(WriteFileBytes(d_ + L"广告副本.png", std::string(3000, 'a')));
    ASSERT_TRUE(WriteFileBytes(d_ + L"空.txt", ""));
    ASSERT_TRUE(testing::MakeFolder(d_ + L"文件夹"));
  }
  void TearDown() override { CoUninitialize(); }

  ScratchFolder folder_;
  std::wstring d_;
};

TEST_F(SamplesWindowTest, DroppedFilesAreListedTheEmptyFolderAndUnreadableRefusedTheSameBytesSkipped) {
  testing::TestWindow owner;
  std::vector<std::vector<ContentSample>> applied;
  auto window = std::make_unique<SamplesWindow>(
      std::vector<ContentSample>{}, [&](std::vector<ContentSample> samples) { applied.push_back(std::move(samples)); });
  ASSERT_NE(window->Open(GetModuleHandleW(nullptr), owner.get()), nullptr);
  EXPECT_FALSE(IsWindowEnabled(owner.get())) << "the main window waits, as for a dialog";

  testing::MessageCatcher catcher(window->Handle());
  DropAndWait(*window, {d_ + L"广告 图.png", d_ + L"空.txt", d_ + L"说明.txt", d_ + L"广告副本.png",
                        d_ + L"文件夹", d_ + L"不存在.bin"});
  const Strings messages = catcher.Texts();

  const ContentSample png = SampleOf(d_ + L"广告 图.png");
  const ContentSample txt = SampleOf(d_ + L"说明.txt");
  ASSERT_EQ(png.Size, 3000u);
  EXPECT_EQ(window->Samples(), (std::vector<ContentSample>{png, txt})) << "the copy has the same bytes: skipped";
  HWND list = window->Control(SamplesWindow::kList);
  ASSERT_EQ(ListView_GetItemCount(list), 2);
  EXPECT_EQ(RowTexts(list, 0), (Strings{L"广告 图.png", L"3 KB", DigestStart(png), d_ + L"广告 图.png"}));
  EXPECT_EQ(DigestStart(png).size(), 12u);
  EXPECT_NE(testing::WindowText(window->Control(SamplesWindow::kStatusLine)).find(L"已跳过 1 个"), std::wstring::npos);

  ASSERT_EQ(messages.size(), 1u) << "one message for the whole drop";
  const std::wstring& text = messages[0];
  EXPECT_NE(text.find(L"样本是空文件"), std::wstring::npos) << text;
  EXPECT_NE(text.find(d_ + L"空.txt"), std::wstring::npos);
  EXPECT_NE(text.find(L"文件夹不能作为样本：" + d_ + L"文件夹"), std::wstring::npos);
  EXPECT_NE(text.find(L"无法读取文件：" + d_ + L"不存在.bin\n错误 2："), std::wstring::npos) << "the system's text";
  EXPECT_EQ(text.find(L"广告副本"), std::wstring::npos) << "a file already listed is no problem";

  // 删除 takes the selected row; 确定 hands back what is left and the main window takes the keyboard again.
  ListView_SetItemState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
  SendMessageW(window->Control(SamplesWindow::kRemove), BM_CLICK, 0, 0);
  EXPECT_EQ(window->Samples(), std::vector<ContentSample>{txt});
  EXPECT_EQ(ListView_GetItemCount(list), 1);
  SendMessageW(window->Control(SamplesWindow::kOk), BM_CLICK, 0, 0);
  EXPECT_EQ(applied, (std::vector<std::vector<ContentSample>>{{txt}}));
  EXPECT_FALSE(window->Handle());
  EXPECT_TRUE(IsWindowEnabled(owner.get()));
}

TEST_F(SamplesWindowTest, CancelAndClosingHandNothingBack) {
  testing::TestWindow owner;
  int applied = 0;
  for (const bool close : {false, true}) {
    SamplesWindow window({SampleOf(d_ + L"说明.txt")}, [&](std::vector<ContentSample>) { ++applied; });
    ASSERT_NE(window.Open(GetModuleHandleW(nullptr), owner.get()), nullptr);
    EXPECT_EQ(ListView_GetItemCount(window.Control(SamplesWindow::kList)), 1) << "the job's samples are listed";
    DropAndWait(window, {d_ + L"广告 图.png"});
    EXPECT_EQ(window.Samples().size(), 2u);
    if (close) {
      SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
    } else {
      SendMessageW(window.Control(SamplesWindow::kCancel), BM_CLICK, 0, 0);
    }
    EXPECT_FALSE(window.Handle());
    EXPECT_TRUE(IsWindowEnabled(owner.get()));
  }
  EXPECT_EQ(applied, 0);
}

class MainWindowSamplesTest : public SamplesWindowTest {
 protected:
  void SetUp() override {
    SamplesWindowTest::SetUp();
    window_ = Open();
    ASSERT_NE(window_->Handle(), nullptr);
  }
  void TearDown() override {
    window_.reset();
    SamplesWindowTest::TearDown();
  }
  std::unique_ptr<MainWindow> Open() {
    MainWindow::Options options;
    options.ProgramFolder = d_;
    options.QuitOnClose = false;
    auto window = std::make_unique<MainWindow>(options);
    if (window->Create(GetModuleHandleW(nullptr))) ShowWindow(window->Handle(), SW_SHOWNORMAL);
    return window;
  }
  // 按内容删除… with `paths` dropped on its window, then 确定.
  void AddSamples(const Strings& paths) {
    SendMessageW(window_->Control(Command15), BM_CLICK, 0, 0);
    ASSERT_TRUE(window_->Samples() && window_->Samples()->Handle());
    EXPECT_FALSE(IsWindowEnabled(window_->Handle()));
    DropAndWait(*window_->Samples(), paths);
    SendMessageW(window_->Samples()->Control(SamplesWindow::kOk), BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(window_->Handle()));
  }

  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowSamplesTest, TheJobCarriesTheSamplesAndItsFileKeepsThem) {
  EXPECT_EQ(testing::WindowText(window_->Control(Command15)), L"按内容删除…");
  AddSamples({d_ + L"广告 图.png", d_ + L"说明.txt"});
  const std::vector<ContentSample> want = {SampleOf(d_ + L"广告 图.png"), SampleOf(d_ + L"说明.txt")};
  EXPECT_EQ(window_->GatherJob().Samples, want);
  EXPECT_EQ(testing::WindowText(window_->Control(Command15)), L"按内容删除（2）…");

  // Saved and opened in another window: the samples come back, and the list of the window shows them.
  ASSERT_EQ(window_->SaveJobFile(d_ + L"任务.rbjob"), L"");
  EXPECT_NE(ReadFileBytes(d_ + L"任务.rbjob").find("\"samples\""), std::string::npos);
  auto other = Open();
  ASSERT_EQ(other->LoadJobFile(d_ + L"任务.rbjob"), L"");
  EXPECT_EQ(other->GatherJob().Samples, want);
  EXPECT_EQ(testing::WindowText(other->Control(Command15)), L"按内容删除（2）…");
  SendMessageW(other->Control(Command15), BM_CLICK, 0, 0);
  ASSERT_TRUE(other->Samples());
  EXPECT_EQ(ListView_GetItemCount(other->Samples()->Control(SamplesWindow::kList)), 2);
  SendMessageW(other->Samples()->Control(SamplesWindow::kCancel), BM_CLICK, 0, 0);

  // A job without samples opened over it takes them away; its file has no "samples".
  auto plain = Open();
  ASSERT_EQ(plain->SaveJobFile(d_ + L"无样本.rbjob"), L"");
  EXPECT_EQ(ReadFileBytes(d_ + L"无样本.rbjob").find("samples"), std::string::npos);
  ASSERT_EQ(window_->LoadJobFile(d_ + L"无样本.rbjob"), L"");
  EXPECT_EQ(window_->GatherJob().Samples, std::vector<ContentSample>{});
  EXPECT_EQ(testing::WindowText(window_->Control(Command15)), L"按内容删除…");
}

TEST_F(MainWindowSamplesTest, GenerateWithSamplesAndWithoutTheRunInTheProgramWritesNoScript) {
  SetWindowTextW(window_->Control(Text1), testing::InstallFakeRar(d_).c_str());
  Append(window_->Control(List2), d_ + L"one.rar");
  Append(window_->Control(List1), L"readme.txt");
  AddSamples({d_ + L"说明.txt"});
  std::wstring text;
  testing::DialogAnswerer answerer(window_->Handle(), [&](HWND box) {
    text = testing::StaticTexts(box);
    testing::PressButton(box, IDOK);
  });
  SendMessageW(window_->Control(Command9), BM_CLICK, 0, 0);
  ASSERT_TRUE(answerer.Finish());
  EXPECT_NE(text.find(L"批处理文件做不到"), std::wstring::npos) << text;
  EXPECT_NE(text.find(L"没有生成批处理文件"), std::wstring::npos) << text;
  EXPECT_EQ(GetFileAttributesW((d_ + L"tmp.bat").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(window_->ScriptProcess());
  EXPECT_EQ(testing::ReadRecordedCalls(d_), std::vector<Strings>{}) << "the archiver was never called";
}

// Not a check: the picture of the samples window in the README. Run with
// --gtest_also_run_disabled_tests and RARBATCH_SAMPLES_SHOT set to a .bmp path.
TEST_F(SamplesWindowTest, DISABLED_Screenshot) {
  wchar_t shot[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"RARBATCH_SAMPLES_SHOT", shot, MAX_PATH)) GTEST_SKIP() << "RARBATCH_SAMPLES_SHOT is not set";
  testing::TestWindow owner;
  // Read from the scratch folder, shown as they would come from a user's folder.
  std::vector<ContentSample> samples = {SampleOf(d_ + L"广告 图.png"), SampleOf(d_ + L"说明.txt")};
  samples[0].Origin = L"D:\\素材\\样本\\广告 图.png";
  samples[1].Origin = L"D:\\素材\\样本\\说明.txt";
  SamplesWindow window(samples, [](std::vector<ContentSample>) {});
  ASSERT_NE(window.Open(GetModuleHandleW(nullptr), owner.get()), nullptr);
  SetWindowPos(window.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
  PumpUntil([] { return false; }, 1000);
  EXPECT_TRUE(testing::SaveWindowBitmap(window.Handle(), shot));
}

}  // namespace
}  // namespace rarbatch
