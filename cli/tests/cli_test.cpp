// rarbatch-cli as a user runs it: a job file run on the stand-in archiver, its exit codes, both
// reports, Ctrl+C, the progress bar on a console, the preview, a scan, samples of content (added,
// listed, and previewed on the real archiver), and refused jobs and arguments.
#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "core/content_samples.h"
#include "core/job_file.h"
#include "core/utf8.h"
#include "tools/dialog_driver.h"
#include "tools/test_support.h"
#include "win/file_hash.h"
#include "win/files.h"
#include "win/handles.h"

namespace rarbatch {
namespace {

using testing::ScratchFolder;

struct CliRun {
  DWORD Code = 0xFFFFFFFF;
  std::string Out, Err;  // UTF-8, as the program writes to files
};

std::string ReadAll(const std::wstring& path) { return ReadFileStart(path, 64u << 20).Bytes; }

// rarbatch-cli started by a test, with standard input from NUL and the two outputs in files (or, with
// `console`, on a console of its own, which a test reaches through console_probe).
struct StartedCli {
  UniqueHandle Process;
  DWORD Id = 0;
  std::wstring OutPath, ErrPath;
};

// Starts rarbatch-cli with `arguments` (each quoted) and RARBATCH_PASSWORD set to `password` (unset
// when empty). Without `console` the program's console has no window and its outputs go to files.
StartedCli StartCli(const std::vector<std::wstring>& arguments, const std::wstring& scratch,
                    const std::wstring& password = L"", const std::wstring& currentFolder = L"", bool console = false) {
  std::wstring command = L"\"" + testing::ExecutableFolder() + L"rarbatch-cli.exe\"";
  for (const auto& argument : arguments) command += L" \"" + argument + L"\"";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  // Files of their own for each run: under Wine the last run's handles may still hold the last ones.
  static int runs = 0;
  const std::wstring number = std::to_wstring(++runs);
  StartedCli started;
  started.OutPath = scratch + L"stdout " + number + L".txt";
  started.ErrPath = scratch + L"stderr " + number + L".txt";
  UniqueHandle out, err, in;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!console) {
    out.reset(CreateFileW(started.OutPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    err.reset(CreateFileW(started.ErrPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    in.reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(out && err && in) << "could not make the files for rarbatch-cli's outputs";
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
  }
  SetEnvironmentVariableW(L"RARBATCH_PASSWORD", password.empty() ? nullptr : password.c_str());
  PROCESS_INFORMATION process{};
  const bool ok = testing::StartProcess(command, !console, CREATE_NO_WINDOW,
                                        currentFolder.empty() ? nullptr : currentFolder.c_str(), startup, process);
  SetEnvironmentVariableW(L"RARBATCH_PASSWORD", nullptr);
  EXPECT_TRUE(ok) << "could not start rarbatch-cli";
  if (!ok) return started;
  CloseHandle(process.hThread);
  started.Process.reset(process.hProcess);
  started.Id = process.dwProcessId;
  return started;
}

// Waits for a started rarbatch-cli to end; its exit code and the outputs it wrote to files.
CliRun FinishCli(StartedCli& started) {
  CliRun run;
  if (!started.Process) return run;
  EXPECT_TRUE(testing::WaitForExit(started.Process.get())) << "rarbatch-cli did not end";
  GetExitCodeProcess(started.Process.get(), &run.Code);
  run.Out = ReadAll(started.OutPath);
  run.Err = ReadAll(started.ErrPath);
  return run;
}

CliRun RunCli(const std::vector<std::wstring>& arguments, const std::wstring& scratch, const std::wstring& password = L"",
              const std::wstring& currentFolder = L"") {
  StartedCli started = StartCli(arguments, scratch, password, currentFolder);
  return FinishCli(started);
}

// Runs console_probe with `arguments`; its exit code (0: done).
DWORD Probe(const std::wstring& arguments) {
  std::wstring command = L"\"" + testing::ExecutableFolder() + L"console_probe.exe\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!testing::StartProcess(command, false, CREATE_NO_WINDOW, nullptr, startup, process)) return GetLastError();
  CloseHandle(process.hThread);
  UniqueHandle owned(process.hProcess);
  DWORD code = 0xFFFFFFFF;
  if (testing::WaitForExit(owned.get())) GetExitCodeProcess(owned.get(), &code);
  return code;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { rar_ = testing::InstallFakeRar(dir()); }
  const std::wstring& dir() const { return folder_.Path(); }
  std::wstring MakeArchive(const std::wstring& name) {
    testing::FakeArchive archive;
    archive.Entries = {{L"a.txt", L""}, {L"b.txt", L""}};
    const std::wstring path = dir() + name;
    EXPECT_TRUE(testing::WriteFakeArchive(path, archive));
    return path;
  }
  std::wstring SaveJob(const SavedJob& saved, const std::wstring& name = L"任务 1.rbjob") {
    const std::wstring path = dir() + name;
    EXPECT_EQ(WriteWholeFile(path, *WriteJobFile(saved)), static_cast<DWORD>(ERROR_SUCCESS));
    return path;
  }
  SavedJob DeleteJob(const std::vector<std::wstring>& archives) {
    SavedJob saved;
    saved.Job.RarPath = rar_;
    saved.Job.Archives = archives;
    saved.Job.DeleteNames = {L"a.txt"};
    return saved;
  }

  ScratchFolder folder_;
  std::wstring rar_;
};

TEST_F(CliTest, ExitCodesFollowTheWorstArchive) {
  const struct {
    const char* Name;
    int ForcedCode;  // on the second archive; 0 for none
    DWORD Exit;
    const char* Status;
  } cases[] = {
      {"all succeed", 0, 0, "成功"},
      {"a warning", 1, 1, "警告"},
      {"a failure", 3, 2, "失败"},
  };
  for (const auto& c : cases) {
    const std::wstring first = MakeArchive(L"甲 & 1.rar"), second = MakeArchive(L"乙 100%.rar");
    if (c.ForcedCode) {
      ASSERT_TRUE(testing::ForceExitCode(second, c.ForcedCode));
    }
    const CliRun run = RunCli({L"run", SaveJob(DeleteJob({first, second})), L"--workers", L"2"}, dir());
    EXPECT_EQ(run.Code, c.Exit) << c.Name << "\n" << run.Err;
    EXPECT_NE(run.Out.find("共 2 个压缩包"), std::string::npos) << c.Name << run.Out;
    EXPECT_NE(run.Err.find(c.Status), std::string::npos) << c.Name;
    EXPECT_NE(run.Err.find("[2/2]"), std::string::npos) << c.Name;
    // The first archive had its name deleted in every case.
    EXPECT_EQ(testing::ReadFakeArchive(first).Entries, (std::vector<testing::FakeEntry>{{L"b.txt", L""}})) << c.Name;
    DeleteFileW(second.c_str());
    DeleteFileW((second + L".exitcode").c_str());
  }
}

TEST_F(CliTest, BadJobsAndArgumentsExitWith7AndTouchNothing) {
  const std::wstring archive = MakeArchive(L"a.rar");
  const std::wstring cut = dir() + L"cut.rbjob";
  const std::string good = *WriteJobFile(DeleteJob({archive}));
  ASSERT_EQ(WriteWholeFile(cut, good.substr(0, good.size() / 2)), static_cast<DWORD>(ERROR_SUCCESS));
  SavedJob locked = DeleteJob({archive});
  locked.Job.UsePassword = true;
  locked.Job.AddFiles = {rar_};
  const std::wstring needsPassword = SaveJob(locked, L"密码.rbjob");
  SavedJob noRar = DeleteJob({archive});
  noRar.Job.RarPath.clear();
  const struct {
    const char* Name;
    std::vector<std::wstring> Arguments;
    const char* Reason;
  } cases[] = {
      {"cut", {L"run", cut}, "不是完整的 JSON"},
      {"missing", {L"run", dir() + L"none.rbjob"}, "错误 2"},
      {"no command", {}, "缺少命令"},
      {"bad workers", {L"run", cut, L"--workers", L"0"}, "--workers"},
      {"bad report", {L"run", cut, L"--report", L"r.xls"}, ".csv 或 .json"},
      {"password argument", {L"run", needsPassword, L"--password", L"x"}, "RARBATCH_PASSWORD"},
      {"no password", {L"run", needsPassword}, "RARBATCH_PASSWORD"},
      {"no archiver", {L"run", SaveJob(noRar, L"no rar.rbjob")}, "Rar.exe"},
  };
  for (const auto& c : cases) {
    const CliRun run = RunCli(c.Arguments, dir());
    EXPECT_EQ(run.Code, 7u) << c.Name << "\n" << run.Err;
    EXPECT_NE(run.Err.find(c.Reason), std::string::npos) << c.Name << "\n" << run.Err;
  }
  EXPECT_EQ(testing::ReadFakeArchive(archive).Entries.size(), 2u);
  EXPECT_TRUE(testing::ReadRecordedCalls(dir()).empty());
}

TEST_F(CliTest, ThePasswordComesFromTheEnvironmentAndNeverFromTheFile) {
  const std::wstring archive = MakeArchive(L"a.rar");
  const std::wstring added = dir() + L"新 文件.txt";
  ASSERT_EQ(WriteWholeFile(added, "x"), static_cast<DWORD>(ERROR_SUCCESS));
  SavedJob saved;
  saved.Job.RarPath = rar_;
  saved.Job.Archives = {archive};
  saved.Job.AddFiles = {added};
  saved.Job.UsePassword = true;
  saved.Job.Password = L"不会写入";
  const std::wstring job = SaveJob(saved);
  EXPECT_EQ(ReadAll(job).find(*ToUtf8(L"不会写入")), std::string::npos);
  const CliRun run = RunCli({L"run", job}, dir(), L"密码 \"&% x");
  EXPECT_EQ(run.Code, 0u) << run.Err;
  const auto entries = testing::ReadFakeArchive(archive).Entries;
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries.back(), (testing::FakeEntry{L"新 文件.txt", L"密码 \"&% x"}));
  // Read once, then gone from the environment that the archivers inherit.
  EXPECT_EQ(ReadAll(dir() + L"environment.log"), "") << "an archiver found RARBATCH_PASSWORD";
}

TEST_F(CliTest, ReportsHoldEveryArchiveWithItsCallsAndTime) {
  const std::wstring good = MakeArchive(L"好,1.rar"), bad = MakeArchive(L"坏.rar");
  const std::wstring notArchive = dir() + L"不是.rar";
  ASSERT_EQ(WriteWholeFile(notArchive, "hello"), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(testing::ForceExitCode(bad, 3));
  SavedJob saved = DeleteJob({good, bad, notArchive});
  saved.Job.Lock = true;
  const std::wstring job = SaveJob(saved);

  const CliRun csvRun = RunCli({L"run", job, L"--report", dir() + L"报告.CSV", L"--workers", L"1"}, dir());
  EXPECT_EQ(csvRun.Code, 2u) << csvRun.Err;
  const std::string csv = ReadAll(dir() + L"报告.CSV");
  ASSERT_TRUE(csv.starts_with("\xEF\xBB\xBF压缩包,状态,说明,调用,用时（秒）,完成时间,按名称删除,按内容删除\r\n")) << csv;
  EXPECT_NE(csv.find("\"" + *ToUtf8(good) + "\",成功,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(*ToUtf8(bad) + ",失败,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("删除：退出代码 3，"), std::string::npos) << csv;
  EXPECT_NE(csv.find(*ToUtf8(notArchive) + ",失败,不是 RAR 压缩包"), std::string::npos) << csv;

  MakeArchive(L"好,1.rar");  // as it was: the first run locked it
  const CliRun jsonRun = RunCli({L"run", job, L"--report", dir() + L"报告.json"}, dir());
  EXPECT_EQ(jsonRun.Code, 2u);
  const auto json = nlohmann::json::parse(ReadAll(dir() + L"报告.json"));
  EXPECT_EQ(json["exit_code"], 2);
  EXPECT_EQ(json["counts"]["total"], 3);
  EXPECT_EQ(json["counts"]["failure"], 2);
  ASSERT_EQ(json["archives"].size(), 3u);
  const auto& failed = json["archives"][1];
  EXPECT_EQ(failed["archive"], *ToUtf8(bad));
  EXPECT_EQ(failed["status"], "failure");
  EXPECT_EQ(failed["calls"][0]["operation"], "delete");
  EXPECT_EQ(failed["calls"][0]["exit_code"], 3);
  EXPECT_TRUE(failed["seconds"].is_number());
  EXPECT_TRUE(failed["finished"].is_string());
  EXPECT_TRUE(json["archives"][2]["calls"].empty());  // refused: no call at all

  // A report that cannot be written makes the run a failure, even when every archive succeeded.
  const CliRun lost = RunCli({L"run", SaveJob(DeleteJob({MakeArchive(L"c.rar")}), L"c.rbjob"), L"--report",
                              dir() + L"no folder\\r.csv"}, dir());
  EXPECT_EQ(lost.Code, 2u);
  EXPECT_NE(lost.Err.find("无法写入报告"), std::string::npos) << lost.Err;
}

TEST_F(CliTest, ScanWritesTheFirstVolumesOfTheTree) {
  const std::wstring tree = dir() + L"树 & 1";
  ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((tree + L"\\子").c_str(), nullptr));
  for (const wchar_t* name : {L"\\a.rar", L"\\说明.txt", L"\\子\\b.part1.rar", L"\\子\\b.part2.rar", L"\\子\\C.PART02.RAR"}) {
    ASSERT_EQ(WriteWholeFile(tree + name, "x"), static_cast<DWORD>(ERROR_SUCCESS));
  }
  const std::wstring out = dir() + L"扫描.rbjob";
  const CliRun run = RunCli({L"scan", tree, L"--out", out}, dir());
  EXPECT_EQ(run.Code, 0u) << run.Err;
  EXPECT_NE(run.Out.find("找到 2 个压缩包"), std::string::npos) << run.Out;
  const JobFileRead read = ReadJobFile(ReadAll(out));
  ASSERT_TRUE(read.Saved);
  EXPECT_EQ(read.Saved->Job.Archives, (std::vector<std::wstring>{tree + L"\\a.rar", tree + L"\\子\\b.part1.rar"}));

  // A folder given relative to the current one is written as a full path.
  const CliRun relative = RunCli({L"scan", L"子", L"--out", out}, dir(), L"", tree);
  EXPECT_EQ(relative.Code, 0u) << relative.Err;
  const JobFileRead again = ReadJobFile(ReadAll(out));
  ASSERT_TRUE(again.Saved);
  EXPECT_EQ(again.Saved->Job.Archives, (std::vector<std::wstring>{tree + L"\\子\\b.part1.rar"}));

  EXPECT_EQ(RunCli({L"scan", dir() + L"none", L"--out", out}, dir()).Code, 7u);
  EXPECT_EQ(RunCli({L"scan", tree}, dir()).Code, 7u);
}

TEST_F(CliTest, CtrlCLetsTheRunningCallEndAndCtrlCAgainEndsIt) {
  // One worker, each call held for a while: Ctrl+C comes while the first archive's call runs.
  for (const bool twice : {false, true}) {
    SCOPED_TRACE(twice ? "Ctrl+C twice" : "Ctrl+C once");
    std::vector<std::wstring> archives;
    for (const wchar_t* name : {L"一.rar", L"二.rar", L"三.rar"}) archives.push_back(MakeArchive(name));
    const std::wstring report = dir() + L"停止.json";
    StartedCli cli;
    {
      const testing::FakeArchiverDelay delay(twice ? 60000 : 3000);
      cli = StartCli({L"run", SaveJob(DeleteJob(archives)), L"--workers", L"1", L"--report", report}, dir(), L"",
                     L"", false);
    }
    ASSERT_TRUE(testing::WaitUntil([&] { return Exists(archives[0] + L".busy"); })) << "the first call never started";
    ASSERT_EQ(Probe(L"ctrl-c " + std::to_wstring(cli.Id)), 0u);
    if (twice) {
      ASSERT_TRUE(testing::WaitUntil([&] { return ReadAll(cli.ErrPath).find("正在停止") != std::string::npos; }));
      ASSERT_EQ(Probe(L"ctrl-c " + std::to_wstring(cli.Id)), 0u);
    }
    const CliRun run = FinishCli(cli);
    EXPECT_EQ(run.Code, 3u) << run.Err;
    EXPECT_NE(run.Err.find("正在停止"), std::string::npos) << run.Err;
    EXPECT_NE(run.Out.find("已停止 "), std::string::npos) << run.Out;
    const auto json = nlohmann::json::parse(ReadAll(report));
    EXPECT_EQ(json["exit_code"], 3);
    ASSERT_EQ(json["archives"].size(), 3u);
    // Once: the running call finished its work. Twice: it was ended, its archive left as it was.
    EXPECT_EQ(json["archives"][0]["status"], twice ? "stopped" : "success");
    EXPECT_EQ(testing::ReadFakeArchive(archives[0]).Entries.size(), twice ? 2u : 1u);
    for (std::size_t i = 1; i < 3; ++i) {
      EXPECT_EQ(json["archives"][i]["status"], "stopped") << i;
      EXPECT_TRUE(json["archives"][i]["calls"].empty() || json["archives"][i]["calls"][0]["outcome"] == "not_run") << i;
      EXPECT_EQ(testing::ReadFakeArchive(archives[i]).Entries.size(), 2u) << i;
    }
    std::size_t deletes = 0;
    for (const auto& call : testing::ReadRecordedCalls(dir())) deletes += !call.empty() && call[0] == L"d";
    EXPECT_EQ(deletes, 1u) << "no call starts after the stop";
    for (const auto& archive : archives) DeleteFileW(archive.c_str());
    DeleteFileW((dir() + L"args.log").c_str());
  }
}

TEST_F(CliTest, WithoutTheVariableThePasswordIsTypedAtTheConsoleWithoutEcho) {
  const std::wstring archive = MakeArchive(L"a.rar");
  const std::wstring added = dir() + L"新.txt";
  ASSERT_EQ(WriteWholeFile(added, "x"), static_cast<DWORD>(ERROR_SUCCESS));
  SavedJob saved = DeleteJob({archive});
  saved.Job.AddFiles = {added};
  saved.Job.UsePassword = true;
  StartedCli cli;
  {
    const testing::FakeArchiverDelay delay(3000);  // time to read the screen while the call runs
    cli = StartCli({L"run", SaveJob(saved)}, dir(), L"", L"", true);
  }
  const std::wstring screenFile = dir() + L"screen.txt";
  std::string screen;
  const auto screenHolds = [&](const char* text) {
    return testing::WaitUntil([&] {
      if (Probe(L"screen " + std::to_wstring(cli.Id) + L" \"" + screenFile + L"\"") != 0) return false;
      screen = ReadAll(screenFile);
      return screen.find(text) != std::string::npos;
    });
  };
  ASSERT_TRUE(screenHolds("此任务需要密码")) << screen;
  ASSERT_EQ(Probe(L"type " + std::to_wstring(cli.Id) + L" \"秘 密 1\""), 0u);
  // The calls run (each held 3 s), and the screen read meanwhile never showed the password.
  ASSERT_TRUE(testing::WaitUntil([&] { return Exists(archive + L".busy"); })) << "no call started";
  ASSERT_TRUE(screenHolds("此任务需要密码")) << screen;
  EXPECT_EQ(screen.find("秘 密 1"), std::string::npos) << screen;
  EXPECT_EQ(FinishCli(cli).Code, 0u);
  const auto entries = testing::ReadFakeArchive(archive).Entries;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries.back(), (testing::FakeEntry{L"新.txt", L"秘 密 1"}));
}

TEST_F(CliTest, OnAConsoleABarFollowsTheFinishedArchivesAndInAFileThereIsNone) {
  std::vector<std::wstring> archives;
  for (const wchar_t* name : {L"a.rar", L"b.rar", L"c.rar"}) archives.push_back(MakeArchive(name));
  const std::wstring job = SaveJob(DeleteJob(archives));
  StartedCli cli;
  {
    const testing::FakeArchiverDelay delay(4000);
    cli = StartCli({L"run", job, L"--workers", L"1"}, dir(), L"", L"", true);
  }
  // While the second or third archive's call runs, the screen holds the finished archives' lines and
  // the bar below them.
  const std::wstring screenFile = dir() + L"screen.txt";
  std::string screen;
  const bool shown = testing::WaitUntil([&] {
    if (Probe(L"screen " + std::to_wstring(cli.Id) + L" \"" + screenFile + L"\"") != 0) return false;
    screen = ReadAll(screenFile);
    return screen.find("-]  1/3  33%") != std::string::npos || screen.find("-]  2/3  66%") != std::string::npos;
  });
  EXPECT_TRUE(shown) << screen;
  EXPECT_NE(screen.find("[1/3] 成功"), std::string::npos) << screen;
  EXPECT_NE(screen.find("[#"), std::string::npos) << screen;
  // The bar is the last line: each archive's line is written above it.
  std::string last = screen.substr(0, screen.find_last_not_of('\n') + 1);
  last = last.substr(last.rfind('\n') + 1);
  EXPECT_TRUE(last.starts_with("[") && last.ends_with("%")) << screen;
  const CliRun console = FinishCli(cli);
  EXPECT_EQ(console.Code, 0u);

  for (const auto& archive : archives) MakeArchive(archive.substr(dir().size()));
  const CliRun file = RunCli({L"run", job}, dir());
  EXPECT_EQ(file.Code, 0u) << file.Err;
  EXPECT_NE(file.Err.find("[3/3] 成功"), std::string::npos) << file.Err;
  EXPECT_EQ(file.Err.find_first_of("\r#"), std::string::npos) << file.Err;
}

TEST_F(CliTest, PreviewChangesNothingAndReportsWhatTheRunWouldDo) {
  const std::wstring plain = MakeArchive(L"甲.rar"), emptied = dir() + L"乙.rar", missing = dir() + L"无.rar";
  testing::FakeArchive one;
  one.Entries = {{L"a.txt", L""}};
  ASSERT_TRUE(testing::WriteFakeArchive(emptied, one));
  SavedJob saved = DeleteJob({plain, emptied});
  saved.Job.UsePassword = true;  // a preview adds nothing, so it asks for no password
  saved.Job.AddFiles = {rar_};
  const std::wstring job = SaveJob(saved);

  const CliRun warned = RunCli({L"run", job, L"--preview", L"--report", dir() + L"预览.json"}, dir());
  EXPECT_EQ(warned.Code, 1u) << warned.Err;  // one archive would be emptied and deleted
  EXPECT_NE(warned.Err.find("将修改  " + *ToUtf8(plain)), std::string::npos) << warned.Err;
  EXPECT_NE(warned.Err.find("将被删除  " + *ToUtf8(emptied)), std::string::npos) << warned.Err;
  EXPECT_NE(warned.Out.find("没有修改任何压缩包"), std::string::npos) << warned.Out;
  const auto json = nlohmann::json::parse(ReadAll(dir() + L"预览.json"));
  EXPECT_EQ(json["mode"], "preview");
  EXPECT_EQ(json["archives"][0]["expected"], "change");
  EXPECT_EQ(json["archives"][0]["removed"], (nlohmann::json{"a.txt"}));
  EXPECT_EQ(json["archives"][0]["added"], (nlohmann::json{"Rar.exe"}));
  EXPECT_EQ(json["archives"][1]["expected"], "deleted");
  EXPECT_EQ(testing::ReadFakeArchive(plain).Entries.size(), 2u);
  EXPECT_EQ(testing::ReadFakeArchive(emptied).Entries.size(), 1u);
  for (const auto& call : testing::ReadRecordedCalls(dir())) {
    if (!call.empty()) {
      EXPECT_EQ(call[0], L"lb") << "a preview only lists";
    }
  }

  saved.Job.Archives.push_back(missing);
  const CliRun failed = RunCli({L"run", SaveJob(saved, L"缺.rbjob"), L"--preview", L"--report", dir() + L"预览.csv"}, dir());
  EXPECT_EQ(failed.Code, 2u) << failed.Err;
  const std::string csv = ReadAll(dir() + L"预览.csv");
  EXPECT_TRUE(csv.starts_with("\xEF\xBB\xBF压缩包,预计,说明,按内容删除\r\n")) << csv;
  EXPECT_NE(csv.find(*ToUtf8(missing) + ",无法"), std::string::npos) << csv;
}

// `sample add` keeps each file's size, CRC32 and SHA-256 in the job, refuses an empty or unreadable
// file and skips one already there, each with why; the rest of the job is kept. `sample list` shows
// them, one line each.
TEST_F(CliTest, SamplesAreAddedToTheJobFileAndListed) {
  SavedJob saved = DeleteJob({MakeArchive(L"甲.rar")});
  saved.BackupParent = dir() + L"备份";
  const std::wstring job = SaveJob(saved);
  const std::string bytes = "广告图片的内容 ad bytes";
  ASSERT_TRUE(testing::WriteFileBytes(dir() + L"广告.jpg", bytes));
  ASSERT_TRUE(testing::WriteFileBytes(dir() + L"copy.jpg", bytes));
  ASSERT_TRUE(testing::WriteFileBytes(dir() + L"空.txt", ""));
  ASSERT_TRUE(testing::MakeFolder(dir() + L"文件夹"));
  const CliRun added = RunCli({L"sample", L"add", dir() + L"广告.jpg", dir() + L"空.txt", dir() + L"copy.jpg",
                               dir() + L"没有.jpg", dir() + L"文件夹", L"--job", job}, dir());
  EXPECT_EQ(added.Code, 1u) << "one added, three refused: " << added.Err;
  EXPECT_NE(added.Out.find("已加入样本：广告.jpg"), std::string::npos) << added.Out;
  EXPECT_NE(added.Err.find("样本是空文件"), std::string::npos) << added.Err;
  EXPECT_NE(added.Err.find("已跳过：任务中已有内容相同的样本：" + *ToUtf8(dir() + L"copy.jpg")), std::string::npos)
      << added.Err;
  EXPECT_NE(added.Err.find("无法读取样本文件"), std::string::npos) << added.Err;
  EXPECT_NE(added.Err.find("是文件夹"), std::string::npos) << added.Err;

  const std::string written = ReadAll(job);
  const JobFileRead read = ReadJobFile(written);
  ASSERT_TRUE(read.Saved);
  ASSERT_EQ(read.Saved->Job.Samples.size(), 1u);
  const ContentSample& sample = read.Saved->Job.Samples[0];
  EXPECT_EQ(sample.Size, bytes.size());
  EXPECT_EQ(sample.Crc32, Crc32Update(0, bytes.data(), bytes.size()));
  EXPECT_TRUE(IsSha256Hex(sample.Sha256));
  EXPECT_EQ(sample.Origin, dir() + L"广告.jpg");
  EXPECT_EQ(read.Saved->Job.Archives, saved.Job.Archives) << "the rest of the job is kept";
  EXPECT_EQ(read.Saved->Job.DeleteNames, saved.Job.DeleteNames);
  EXPECT_EQ(read.Saved->BackupParent, saved.BackupParent);

  // The same bytes again: nothing to add, the file is left as it was; nothing readable at all fails.
  const CliRun again = RunCli({L"sample", L"add", dir() + L"copy.jpg", L"--job", job}, dir());
  EXPECT_EQ(again.Code, 0u) << again.Err;
  EXPECT_NE(again.Out.find("任务文件没有改动"), std::string::npos) << again.Out;
  EXPECT_EQ(ReadAll(job), written);
  EXPECT_EQ(RunCli({L"sample", L"add", dir() + L"空.txt", L"--job", job}, dir()).Code, 2u);
  EXPECT_EQ(RunCli({L"sample", L"add", dir() + L"广告.jpg", L"--job", dir() + L"没有.rbjob"}, dir()).Code, 7u);

  const CliRun list = RunCli({L"sample", L"list", L"--job", job}, dir());
  EXPECT_EQ(list.Code, 0u) << list.Err;
  const std::wstring crc = Crc32Text(sample.Crc32);
  EXPECT_NE(list.Out.find("广告.jpg  " + std::to_string(bytes.size()) + " 字节  CRC32 " + std::string(crc.begin(), crc.end()) +
                          "  SHA-256 " + sample.Sha256 + "  来源 " + *ToUtf8(dir() + L"广告.jpg")),
            std::string::npos)
      << list.Out;
  EXPECT_NE(RunCli({L"sample", L"list", L"--job", SaveJob(DeleteJob({}), L"无.rbjob")}, dir()).Out.find("任务中没有样本"),
            std::string::npos);
}

// The preview of a job with samples, on the real archiver (the host's rar through rar_bridge, which
// unpacks with p as the stand-in does not): the entry with the sample's bytes is named on its row,
// counted in the summary and reported with its sample; nothing is changed.
TEST_F(CliTest, APreviewWithSamplesNamesTheEntriesTakenByContent) {
  if (GetFileAttributesW(L"Z:\\usr\\bin\\rar") == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  }
  const std::wstring real = dir() + L"real\\";
  ASSERT_TRUE(testing::MakeFolder(real));
  ASSERT_TRUE(CopyFileW((testing::ExecutableFolder() + L"rar_bridge.exe").c_str(), (real + L"Rar.exe").c_str(), FALSE));
  std::string noise(3000, '\0');
  unsigned state = 5;
  for (auto& c : noise) state = state * 1103515245u + 12345u, c = static_cast<char>(state >> 23);
  for (const wchar_t* folder : {L"src", L"src\\pics"}) ASSERT_TRUE(testing::MakeFolder(dir() + folder));
  ASSERT_TRUE(testing::WriteFileBytes(dir() + L"ad.bin", noise));
  ASSERT_TRUE(testing::WriteFileBytes(dir() + L"src\\pics\\ad copy.jpg", noise));
  ASSERT_TRUE(testing::WriteFileBytes(dir() + L"src\\keep.txt", "text"));
  const std::wstring archive = dir() + L"x.rar";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(testing::StartProcess(L"\"" + real + L"Rar.exe\" a -idq -r -ep1 \"" + archive + L"\" \"" + dir() + L"src\\*\"",
                                    false, CREATE_NO_WINDOW, nullptr, startup, process));
  CloseHandle(process.hThread);
  UniqueHandle made(process.hProcess);
  DWORD code = 0xFFFFFFFF;
  ASSERT_TRUE(testing::WaitForExit(made.get()) && GetExitCodeProcess(made.get(), &code) && code == 0) << code;
  const std::string before = testing::ReadFileBytes(archive);

  SavedJob saved = DeleteJob({archive});
  saved.Job.RarPath = real + L"Rar.exe";
  const std::wstring job = SaveJob(saved);
  ASSERT_EQ(RunCli({L"sample", L"add", dir() + L"ad.bin", L"--job", job}, dir()).Code, 0u);
  const CliRun preview = RunCli({L"run", job, L"--preview", L"--report", dir() + L"预览.json"}, dir());
  EXPECT_EQ(preview.Code, 0u) << preview.Err;
  EXPECT_NE(preview.Err.find("将修改  " + *ToUtf8(archive) + "  删除 1 项；按内容删除（ad.bin）：pics"), std::string::npos)
      << preview.Err;
  EXPECT_NE(preview.Out.find("共删除 1 项（其中按内容删除 1 个文件）"), std::string::npos) << preview.Out;
  const auto json = nlohmann::json::parse(ReadAll(dir() + L"预览.json"));
  ASSERT_EQ(json["archives"][0]["by_content"].size(), 1u) << json.dump();
  EXPECT_EQ(json["archives"][0]["by_content"][0]["sample"], "ad.bin");
  EXPECT_EQ(testing::ReadFileBytes(archive), before);

  // Encrypted names: listed and compared with RARBATCH_PASSWORD, not previewed without it.
  const std::wstring hidden = dir() + L"名称加密.rar";
  ASSERT_TRUE(testing::StartProcess(L"\"" + real + L"Rar.exe\" a -idq -r -ep1 -hpsecret \"" + hidden + L"\" \"" +
                                        dir() + L"src\\*\"",
                                    false, CREATE_NO_WINDOW, nullptr, startup, process));
  CloseHandle(process.hThread);
  UniqueHandle madeHidden(process.hProcess);
  ASSERT_TRUE(testing::WaitForExit(madeHidden.get()) && GetExitCodeProcess(madeHidden.get(), &code) && code == 0) << code;
  saved.Job.Archives = {hidden};
  saved.Job.UsePassword = true;
  saved.Job.Samples = {SampleOfFile(dir() + L"ad.bin", &code).value()};
  const std::wstring hiddenJob = SaveJob(saved, L"加密.rbjob");
  const CliRun without = RunCli({L"run", hiddenJob, L"--preview"}, dir());
  EXPECT_EQ(without.Code, 2u) << without.Err;
  EXPECT_NE(without.Err.find("文件名已加密，需要密码"), std::string::npos) << without.Err;
  const CliRun with = RunCli({L"run", hiddenJob, L"--preview"}, dir(), L"secret");
  EXPECT_EQ(with.Code, 0u) << with.Err;
  EXPECT_NE(with.Err.find("按内容删除（ad.bin）：pics"), std::string::npos) << with.Err;
}

// A scheduled run has a way back: backups into the given folder, then `restore` puts the archives
// back and reports each; and a disk that cannot hold the run stops it before any call.
TEST_F(CliTest, TheRunBacksUpRestoreUndoesItAndADiskTooSmallStopsItFirst) {
  const std::wstring first = MakeArchive(L"甲.rar"), second = MakeArchive(L"乙.rar");
  const std::string before = testing::ReadFileBytes(first);
  SavedJob saved = DeleteJob({first, second});
  ASSERT_TRUE(testing::MakeFolder(dir() + L"备份"));
  const std::wstring job = SaveJob(saved);
  const CliRun run = RunCli({L"run", job, L"--backup-to", dir() + L"备份", L"--keep-times"}, dir());
  ASSERT_EQ(run.Code, 0u) << run.Err;
  EXPECT_NE(run.Err.find("备份文件夹："), std::string::npos) << run.Err;
  EXPECT_NE(testing::ReadFileBytes(first), before);
  const auto calls = testing::ReadRecordedCalls(dir());
  ASSERT_FALSE(calls.empty());
  EXPECT_NE(std::find(calls.back().begin(), calls.back().end(), L"-tk"), calls.back().end()) << "--keep-times";

  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileW((dir() + L"备份\\rarbatch 备份 *").c_str(), &found));
  ASSERT_TRUE(find);
  const std::wstring manifest = dir() + L"备份\\" + found.cFileName + L"\\备份清单.txt";
  const CliRun restore = RunCli({L"restore", manifest, L"--report", dir() + L"还原.json"}, dir());
  EXPECT_EQ(restore.Code, 0u) << restore.Err;
  EXPECT_EQ(testing::ReadFileBytes(first), before);
  EXPECT_NE(restore.Out.find("已还原 2，失败 0"), std::string::npos) << restore.Out;
  const std::string report = ReadAll(dir() + L"还原.json");
  EXPECT_NE(report.find("已还原"), std::string::npos) << report;
  EXPECT_EQ(RunCli({L"restore", dir() + L"甲.rar"}, dir()).Code, 7u) << "not a manifest";

  // An archive larger than any disk here (a sparse file): the run refuses before any call.
  const std::wstring huge = dir() + L"巨大.rar";
  {
    UniqueHandle file(CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    LARGE_INTEGER end;
    end.QuadPart = 15ll << 40;  // 15 TB, within what a Linux file system takes
    ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get()));
  }
  const std::size_t callsBefore = testing::ReadRecordedCalls(dir()).size();
  const CliRun full = RunCli({L"run", SaveJob(DeleteJob({first, huge}), L"大.rbjob")}, dir());
  EXPECT_EQ(full.Code, 2u) << full.Err;
  EXPECT_NE(full.Err.find("磁盘空间不足"), std::string::npos) << full.Err;
  EXPECT_EQ(testing::ReadRecordedCalls(dir()).size(), callsBefore) << "no call was made";
  DeleteFileW(huge.c_str());
}

}  // namespace
}  // namespace rarbatch
