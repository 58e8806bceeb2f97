// Job files in the window: save and open through the system menu's commands, a dropped job file, a
// refused file that changes nothing, the settings the window remembers, and a saved job run by the
// console companion as a scheduled task runs it.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include <nlohmann/json.hpp>

#include "core/backup_plan.h"
#include "core/job_file.h"
#include "core/utf8.h"
#include "lists/item_list.h"
#include "run/backup.h"
#include "run/tests/real_archiver.h"
#include "tools/dialog_driver.h"
#include "tools/test_support.h"
#include "ui/layout.h"
#include "ui/main_window.h"
#include "ui/results_window.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/user_settings.h"

namespace rarbatch {
namespace {

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

class JobWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Open();
  }
  void TearDown() override {
    if (window_ && window_->ScriptProcess()) testing::WaitForExit(window_->ScriptProcess());
    window_.reset();
    CoUninitialize();
  }
  void Open(MainWindow::Options options = {}) {
    window_.reset();
    options.ProgramFolder = folder_.Path();
    options.QuitOnClose = false;
    window_ = std::make_unique<MainWindow>(options);
    hwnd_ = window_->Create(GetModuleHandleW(nullptr));
    ASSERT_NE(hwnd_, nullptr);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
  }
  HWND Control(int id) const { return window_->Control(id); }
  bool Checked(int id) const { return Button_GetCheck(Control(id)) == BST_CHECKED; }
  void FillHostileJob() {
    SetWindowTextW(Control(Text1), L"C:\\工具 100% & x\\Rar.exe");
    for (const wchar_t* item : {L"D:\\归档\\\"引号\".rar", L"E:\\ภาษาไทย 😀\\b.rar ", L"\\\\srv\\s\\%a%^&.rar"}) {
      Append(Control(List2), item);
    }
    Append(Control(List1), L"*.bak");
    Append(Control(List3), L"C:\\新 文件.txt");
    SetWindowTextW(Control(Text3), L"C:\\注释.txt");
    SetWindowTextW(Control(Text4), L"密码\"&");
    for (int box : {Check1, Check2, Check3}) Button_SetCheck(Control(box), BST_CHECKED);
  }
  // Everything the window holds of a job, the password box included.
  std::vector<Strings> Everything() const {
    std::vector<Strings> all;
    for (int list : {List1, List2, List3}) all.push_back(Items(Control(list)));
    for (int box : {Text1, Text3, Text4}) all.push_back({testing::WindowText(Control(box))});
    all.push_back({Checked(Check1) ? L"1" : L"0", Checked(Check2) ? L"1" : L"0", Checked(Check3) ? L"1" : L"0"});
    return all;
  }

  testing::ScratchFolder folder_;
  std::unique_ptr<MainWindow> window_;
  HWND hwnd_ = nullptr;
};

TEST_F(JobWindowTest, ASavedJobOpensAgainWholeWithAnEmptyPasswordBox) {
  FillHostileJob();
  const auto before = Everything();
  const std::wstring path = folder_.Path() + L"任务 & 100%.rbjob";
  ASSERT_EQ(window_->SaveJobFile(path), L"");
  // The password never reaches the file.
  const FileStart saved = ReadFileStart(path, 1 << 20);
  EXPECT_EQ(saved.Bytes.find("\"&"), std::string::npos);
  EXPECT_NE(saved.Bytes.find("\"password\": true"), std::string::npos);

  Open();
  SetWindowTextW(Control(Text4), L"old");
  Append(Control(List1), L"left from before");
  ASSERT_EQ(window_->LoadJobFile(path), L"");
  auto expected = before;
  expected[5] = {L""};  // the password box
  EXPECT_EQ(Everything(), expected);
}

TEST_F(JobWindowTest, ARefusedFileChangesNothingAndSaysWhy) {
  FillHostileJob();
  const auto before = Everything();
  const std::string newer = R"({"version":99,"archiver":"","archives":[],"delete":[],"add":[],"comment_file":"","lock":false,"password":false,"run_in_window":false})";
  const struct {
    const wchar_t* Name;
    std::string Bytes;
    const wchar_t* Reason;
  } cases[] = {
      {L"cut.rbjob", "{\"version\":1,\"archiver\":\"C:", L"不是完整的 JSON"},
      {L"newer.rbjob", newer, L"新版程序"},
      {L"garbage.rbjob", std::string(70u * 1024 * 1024, 'x'), L"太大"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(WriteWholeFile(folder_.Path() + c.Name, c.Bytes), static_cast<DWORD>(ERROR_SUCCESS));
    const std::wstring refusal = window_->LoadJobFile(folder_.Path() + c.Name);
    EXPECT_NE(refusal.find(c.Reason), std::wstring::npos) << c.Name;
    EXPECT_EQ(Everything(), before) << c.Name;
  }
  EXPECT_NE(window_->LoadJobFile(folder_.Path() + L"missing.rbjob").find(L"错误 2"), std::wstring::npos);
  // Opened from the menu, the drop or the command line, the reason is shown.
  testing::MessageCatcher messages(hwnd_);
  window_->OpenJobFile(folder_.Path() + L"newer.rbjob");
  const Strings shown = messages.Texts();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find(L"新版程序"), std::wstring::npos);
  EXPECT_EQ(Everything(), before);
}

TEST_F(JobWindowTest, ADroppedJobFileOpensAndOtherDropsGoToTheLists) {
  FillHostileJob();
  const std::wstring path = folder_.Path() + L"拖放.RBJOB";
  ASSERT_EQ(window_->SaveJobFile(path), L"");
  const auto saved = Everything();
  SendMessageW(Control(List2), LB_RESETCONTENT, 0, 0);
  SendMessageW(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({path})), 0);
  EXPECT_EQ(Items(Control(List2)), saved[1]);
  // A job file among other files is no job: the drop goes where it lands, as before.
  testing::MessageCatcher messages(hwnd_);
  SendMessageW(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({path, path + L".txt"})), 0);
  messages.Texts();
  EXPECT_EQ(Items(Control(List2)), saved[1]);
}

TEST_F(JobWindowTest, TheSystemMenuCarriesSaveAndOpen) {
  HMENU menu = GetSystemMenu(hwnd_, FALSE);
  ASSERT_NE(menu, nullptr);
  Strings captions;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
    captions.push_back(text);
  }
  EXPECT_NE(std::find(captions.begin(), captions.end(), L"保存任务…"), captions.end());
  EXPECT_NE(std::find(captions.begin(), captions.end(), L"打开任务…"), captions.end());
}

TEST_F(JobWindowTest, TheArchiverIsFoundAtStartAndRememberedAfterARun) {
  const std::wstring settings = folder_.Path() + L"设置\\settings.ini";
  const std::wstring rar = testing::InstallFakeRar(folder_.Path());
  ASSERT_TRUE(CreateDirectoryW((folder_.Path() + L"另一个").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((folder_.Path() + L"设置").c_str(), nullptr));
  ASSERT_EQ(SaveSettings(settings, Settings{rar, L"", L""}), static_cast<DWORD>(ERROR_SUCCESS));
  MainWindow::Options options;
  options.SettingsFile = settings;
  options.LookForArchiver = true;
  Open(options);
  EXPECT_EQ(testing::WindowText(Control(Text1)), rar);

  // The archiver of a press of the generate button is the one remembered.
  const std::wstring other = testing::InstallFakeRar(folder_.Path() + L"另一个\\");
  SetWindowTextW(Control(Text1), other.c_str());
  {
    testing::MessageCatcher messages(hwnd_);
    SendMessageW(Control(Command9), BM_CLICK, 0, 0);
    messages.Texts();
  }
  EXPECT_EQ(LoadSettings(settings).LastArchiver, other);

  // A last archiver that is gone is not filled in (nor is anything else here).
  ASSERT_EQ(SaveSettings(settings, Settings{folder_.Path() + L"gone\\Rar.exe", L"", L""}),
            static_cast<DWORD>(ERROR_SUCCESS));
  Open(options);
  const std::wstring found = testing::WindowText(Control(Text1));
  EXPECT_NE(found, folder_.Path() + L"gone\\Rar.exe");
  EXPECT_EQ(found, FindArchiver(L""));
}

// The results window's table, a row of its three columns each, the archive by its full path: the
// table shows it below the archives' common folder, which must be where the full path ends.
std::vector<Strings> TableRows(const ResultsWindow& results) {
  const HWND table = results.Control(ResultsWindow::kTable);
  std::vector<Strings> rows;
  for (int row = 0; row < ListView_GetItemCount(table); ++row) {
    Strings cells;
    for (int column = 0; column < 3; ++column) {
      wchar_t text[1024] = {};
      ListView_GetItemText(table, row, column, text, 1024);
      cells.push_back(text);
    }
    const std::wstring full = results.ArchivePathAt(row);
    EXPECT_TRUE(!cells[0].empty() && full.ends_with(L"\\" + cells[0])) << full << L" shown as " << cells[0];
    cells[0] = full;
    rows.push_back(cells);
  }
  return rows;
}

// The same three columns from the companion's JSON report.
std::vector<Strings> ReportRows(const nlohmann::json& report) {
  std::vector<Strings> rows;
  for (const auto& row : report["archives"]) {
    rows.push_back({testing::FromUtf8(row["archive"].get<std::string>()),
                    testing::FromUtf8(row["status_text"].get<std::string>()),
                    testing::FromUtf8(row["detail"].get<std::string>())});
  }
  return rows;
}

// Runs rarbatch-cli as the Task Scheduler would: no console window, standard input and outputs on
// NUL, another current folder, the password in the environment. Its exit code.
DWORD RunCompanion(const std::wstring& arguments, const std::wstring& password) {
  std::wstring command = L"\"" + testing::ExecutableFolder() + L"rarbatch-cli.exe\" " + arguments;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  UniqueHandle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  SetEnvironmentVariableW(L"RARBATCH_PASSWORD", password.c_str());
  PROCESS_INFORMATION process{};
  const bool started = testing::StartProcess(command, true, CREATE_NO_WINDOW, system, startup, process);
  SetEnvironmentVariableW(L"RARBATCH_PASSWORD", nullptr);
  if (!started) return 0xFFFFFFFF;
  CloseHandle(process.hThread);
  UniqueHandle owned(process.hProcess);
  DWORD code = 0xFFFFFFFE;
  if (testing::WaitForExit(owned.get())) GetExitCodeProcess(owned.get(), &code);
  return code;
}

TEST_F(JobWindowTest, AJobSavedFromTheWindowGivesTheSameRowsFromTheCompanion) {
  const std::wstring d = folder_.Path();
  const std::wstring rar = testing::InstallFakeRar(d);
  const std::wstring added = d + L"新 文件 & 1.txt";
  ASSERT_TRUE(testing::WriteFileBytes(added, "x"));
  // Every kind of row: changed, nothing to delete, locked (refused), missing, a wrong password (11), a
  // warning (1), and an archive whose only entry the deletion takes.
  const Strings names = {L"甲,1.rar", L"无关.rar", L"锁.rar", L"不在.rar", L"密码.rar", L"警告.rar", L"空.rar"};
  const auto makeArchives = [&] {
    for (const std::wstring& name : names) {
      const std::wstring path = d + name;
      DeleteFileW(path.c_str());
      DeleteFileW((path + L".exitcode").c_str());
      if (name == L"不在.rar") continue;
      testing::FakeArchive archive;
      archive.Entries = {{L"旧.txt", L""}, {L"留.txt", L""}};
      if (name == L"无关.rar") archive.Entries = {{L"留.txt", L""}};
      if (name == L"空.rar") archive.Entries = {{L"旧.txt", L""}};
      archive.Locked = name == L"锁.rar";
      ASSERT_TRUE(testing::WriteFakeArchive(path, archive));
      const int forced = name == L"密码.rar" ? 11 : name == L"警告.rar" ? 1 : 0;
      if (forced) {
        ASSERT_TRUE(testing::ForceExitCode(path, forced));
      }
    }
  };
  makeArchives();
  SetWindowTextW(Control(Text1), rar.c_str());
  for (const std::wstring& name : names) Append(Control(List2), d + name);
  Append(Control(List1), L"旧.txt");
  Append(Control(List3), added);
  SetWindowTextW(Control(Text4), L"密 \"码\" &%");
  for (int box : {Check1, Check2, Check3, Check5, Check6}) Button_SetCheck(Control(box), BST_CHECKED);
  const std::wstring job = d + L"每周 任务.rbjob";
  ASSERT_EQ(window_->SaveJobFile(job), L"");

  SendMessageW(Control(Command9), BM_CLICK, 0, 0);
  ResultsWindow* results = window_->Results();
  ASSERT_NE(results, nullptr);
  ASSERT_TRUE(testing::PumpUntil([&] { return !results->IsRunning(); }));
  const std::vector<Strings> windowRows = TableRows(*results);
  ASSERT_EQ(windowRows.size(), names.size());
  // The rows differ from one another, so that the comparison below means something.
  EXPECT_EQ(windowRows[0][1], L"成功");
  EXPECT_EQ(windowRows[2][1], L"失败");
  EXPECT_EQ(windowRows[5][1], L"警告");
  const testing::FakeArchive changed = testing::ReadFakeArchive(d + names[0]);

  makeArchives();
  const std::wstring report = d + L"报告.json";
  const DWORD code = RunCompanion(L"run \"" + job + L"\" --report \"" + report + L"\"", L"密 \"码\" &%");
  EXPECT_EQ(code, 2u);
  const auto json = nlohmann::json::parse(ReadFileStart(report, 1 << 20).Bytes);
  EXPECT_EQ(ReportRows(json), windowRows);
  // And the archive each changed is the same, the added file under the same password.
  EXPECT_EQ(testing::ReadFakeArchive(d + names[0]).Entries, changed.Entries);
  EXPECT_EQ(testing::ReadFakeArchive(d + names[0]).Locked, changed.Locked);
}

// The backups in a run's backup folder below `parent`: each copy's place, size and SHA-256.
std::vector<Strings> BackupsIn(const std::wstring& parent) {
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileW((parent + L"\\rarbatch 备份 *").c_str(), &found));
  EXPECT_TRUE(find) << "no backup folder in " << ::testing::PrintToString(parent);
  std::vector<Strings> copies;
  if (!find) return copies;
  std::wstring error;
  const auto records = ReadManifestRecords(parent + L"\\" + found.cFileName + L"\\" + kManifestName, &error);
  EXPECT_TRUE(records) << ::testing::PrintToString(error);
  if (!records) return copies;
  for (const BackupRecord& r : *records) {
    copies.push_back({r.Copy, std::to_wstring(r.Size), std::wstring(r.Sha256.begin(), r.Sha256.end())});
  }
  std::sort(copies.begin(), copies.end());
  return copies;
}

// The companion's report says the archive whose name ends in `name` had its test call.
void ExpectTestedBeforeLock(const nlohmann::json& report, const std::string& name) {
  for (const auto& row : report["archives"]) {
    if (!row["archive"].get<std::string>().ends_with(name)) continue;
    bool tested = false;
    for (const auto& call : row["calls"]) tested = tested || call["operation"].get<std::string>() == "test";
    EXPECT_TRUE(tested) << row.dump();
  }
}

// The run's three options travel with the job: saved from the window, the companion makes the same
// backups, keeps the same times, tests before the lock and gives the same rows, on the real archiver.
TEST_F(JobWindowTest, TheRunsOptionsGiveTheSameArchivesBackupsAndRowsFromTheWindowAndTheCompanion) {
  if (!testing::RealArchiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  const std::wstring d = folder_.Path();
  const testing::RealArchiver rar(d);
  for (const wchar_t* name : {L"ad.url", L"keep.txt"}) ASSERT_TRUE(testing::WriteFileBytes(d + name, "text"));
  ASSERT_TRUE(testing::MakeFolder(d + L"原件"));
  ASSERT_TRUE(testing::MakeFolder(d + L"压缩包"));
  const std::wstring q = L"\"" + d;
  ASSERT_EQ(rar.Run(L"a -idq -ep1 " + q + L"原件\\a.rar\" " + q + L"ad.url\" " + q + L"keep.txt\""), 0u);
  ASSERT_EQ(rar.Run(L"a -idq -ep1 " + q + L"原件\\b.rar\" " + q + L"keep.txt\""), 0u);
  ASSERT_EQ(rar.Run(L"a -idq -ep1 " + q + L"原件\\c.rar\" " + q + L"ad.url\""), 0u);
  const Strings names = {L"a.rar", L"b.rar", L"c.rar"};
  constexpr FILETIME kOld{0x12345678u, 0x01C00000u};
  const auto putOriginals = [&] {
    for (const std::wstring& name : names) {
      ASSERT_TRUE(CopyFileW((d + L"原件\\" + name).c_str(), (d + L"压缩包\\" + name).c_str(), FALSE));
      UniqueHandle file(CreateFileW((d + L"压缩包\\" + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(file && SetFileTime(file.get(), nullptr, nullptr, &kOld));
    }
  };
  // What a run leaves: each archive's entries, lock and modification time (or that it is gone).
  const auto leftBehind = [&] {
    std::vector<Strings> state;
    for (const std::wstring& name : names) {
      const std::wstring path = d + L"压缩包\\" + name;
      WIN32_FILE_ATTRIBUTE_DATA data{};
      if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        state.push_back({name, L"gone"});
        continue;
      }
      Strings entries = rar.Entries(path);
      entries.insert(entries.begin(), name);
      entries.push_back(rar.Locked(path) ? L"locked" : L"open");
      entries.push_back(CompareFileTime(&data.ftLastWriteTime, &kOld) == 0 ? L"time kept" : L"time changed");
      state.push_back(entries);
    }
    return state;
  };
  putOriginals();
  SetWindowTextW(Control(Text1), rar.Exe().c_str());
  for (const std::wstring& name : names) Append(Control(List2), d + L"压缩包\\" + name);
  Append(Control(List1), L"ad.url");
  for (int box : {Check1, Check3, Check4, Check5, Check6}) Button_SetCheck(Control(box), BST_CHECKED);
  ASSERT_TRUE(testing::MakeFolder(d + L"窗口的备份"));
  ASSERT_TRUE(testing::MakeFolder(d + L"任务的备份"));
  {
    testing::DialogAnswerer picker(hwnd_, [&](HWND dialog) { testing::ChooseFolder(dialog, d + L"窗口的备份"); });
    SendMessageW(Control(Command9), BM_CLICK, 0, 0);
    ASSERT_TRUE(picker.Finish());
  }
  ResultsWindow* results = window_->Results();
  ASSERT_NE(results, nullptr);
  ASSERT_TRUE(testing::PumpUntil([&] { return !results->IsRunning(); }));
  const std::vector<Strings> windowRows = TableRows(*results);
  const std::vector<Strings> windowLeft = leftBehind();
  EXPECT_EQ(windowLeft[0], (Strings{L"a.rar", L"keep.txt", L"locked", L"time kept"}));
  EXPECT_EQ(windowLeft[2], (Strings{L"c.rar", L"gone"}));
  const std::vector<Strings> windowBackups = BackupsIn(d + L"窗口的备份");
  EXPECT_EQ(windowBackups.size(), 3u);

  // Saved with the folder the window's run used; opened again, the options come back.
  const std::wstring job = d + L"每周 任务.rbjob";
  ASSERT_EQ(window_->SaveJobFile(job), L"");
  for (int box : {Check4, Check5, Check6}) Button_SetCheck(Control(box), BST_UNCHECKED);
  ASSERT_EQ(window_->LoadJobFile(job), L"");
  for (int box : {Check4, Check5, Check6}) EXPECT_TRUE(Checked(box)) << box;

  putOriginals();
  const std::wstring report = d + L"报告.json";
  const DWORD code = RunCompanion(L"run \"" + job + L"\" --backup-to \"" + d + L"任务的备份\" --report \"" + report + L"\"", L"");
  EXPECT_EQ(code, 1u) << "the emptied archive is a warning";
  const auto json = nlohmann::json::parse(ReadFileStart(report, 1 << 20).Bytes);
  EXPECT_EQ(ReportRows(json), windowRows);
  EXPECT_EQ(leftBehind(), windowLeft);
  EXPECT_EQ(BackupsIn(d + L"任务的备份"), windowBackups);
  // Each ran the test before the lock.
  ExpectTestedBeforeLock(json, "a.rar");
}

}  // namespace
}  // namespace rarbatch
