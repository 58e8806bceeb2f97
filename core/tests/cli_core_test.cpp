// rarbatch-cli's pieces that need no system: its arguments, which volumes a scan lists, and its
// reports.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/cli_arguments.h"
#include "core/run_export.h"
#include "core/utf8.h"
#include "core/volume_names.h"

namespace rarbatch {
namespace {

using Args = std::vector<std::wstring>;

TEST(CliArguments, GoodCommandLines) {
  auto run = ParseCliArguments({L"run", L"C:\\任务 1.rbjob", L"--workers", L"3", L"--report", L"D:\\r.JSON"});
  ASSERT_TRUE(run.Arguments) << ToUtf8(run.Error).value_or("");
  EXPECT_EQ(run.Arguments->Command, CliCommand::Run);
  EXPECT_EQ(run.Arguments->JobFile, L"C:\\任务 1.rbjob");
  EXPECT_EQ(run.Arguments->Workers, 3u);
  EXPECT_EQ(run.Arguments->Report, ReportFormat::Json);
  auto csv = ParseCliArguments({L"run", L"--report", L"a.csv", L"j.rbjob"});
  ASSERT_TRUE(csv.Arguments);
  EXPECT_EQ(csv.Arguments->Report, ReportFormat::Csv);
  EXPECT_EQ(csv.Arguments->Workers, 0u);
  auto scan = ParseCliArguments({L"scan", L"D:\\归档", L"--out", L"x.rbjob"});
  ASSERT_TRUE(scan.Arguments);
  EXPECT_EQ(scan.Arguments->Folder, L"D:\\归档");
  EXPECT_EQ(scan.Arguments->OutFile, L"x.rbjob");
}

TEST(CliArguments, BadCommandLinesAreRefusedWithAReason) {
  const struct {
    Args Arguments;
    const wchar_t* Reason;
  } cases[] = {
      {{}, L"缺少命令"},
      {{L"go", L"j.rbjob"}, L"未知的命令"},
      {{L"run"}, L"需要一个任务文件"},
      {{L"run", L"a.rbjob", L"b.rbjob"}, L"需要一个任务文件"},
      {{L"run", L"j.rbjob", L"--workers"}, L"缺少值"},
      {{L"run", L"j.rbjob", L"--workers", L"0"}, L"1 到 32"},
      {{L"run", L"j.rbjob", L"--workers", L"33"}, L"1 到 32"},
      {{L"run", L"j.rbjob", L"--workers", L"-1"}, L"1 到 32"},
      {{L"run", L"j.rbjob", L"--workers", L"2x"}, L"1 到 32"},
      {{L"run", L"j.rbjob", L"--workers", L"2", L"--workers", L"2"}, L"只能给一次"},
      {{L"run", L"j.rbjob", L"--report", L"r.txt"}, L".csv 或 .json"},
      {{L"run", L"j.rbjob", L"--out", L"x.rbjob"}, L"不能用于 run"},
      {{L"run", L"j.rbjob", L"--password", L"secret"}, L"RARBATCH_PASSWORD"},
      {{L"run", L"j.rbjob", L"-psecret"}, L"RARBATCH_PASSWORD"},
      {{L"run", L"j.rbjob", L"--verbose"}, L"未知的选项"},
      {{L"scan", L"D:\\a"}, L"--out"},
      {{L"scan", L"D:\\a", L"--out", L"x", L"--report", L"r.csv"}, L"不能用于 scan"},
      {{L"run", L""}, L"不能为空"},
  };
  for (const auto& c : cases) {
    const ParsedArguments parsed = ParseCliArguments(c.Arguments);
    EXPECT_FALSE(parsed.Arguments) << ::testing::PrintToString(c.Arguments);
    EXPECT_NE(parsed.Error.find(c.Reason), std::wstring::npos) << ToUtf8(parsed.Error).value_or("");
  }
}

TEST(VolumeNames, OnlyTheFirstVolumeOfASetIsListed) {
  for (const wchar_t* later : {L"x.part2.rar", L"D:\\a\\X.PART002.RAR", L"x.part10.rar", L"x.part0.rar"}) {
    EXPECT_TRUE(IsLaterVolume(later)) << ToUtf8(later).value_or("");
  }
  for (const wchar_t* first : {L"x.part1.rar", L"x.part01.rar", L"x.Part001.rar", L"x.rar", L"part2.rar",
                               L"x.part.rar", L"x.part2.rar.bak", L"x2.rar", L"D:\\a.part2\\x.rar"}) {
    EXPECT_FALSE(IsLaterVolume(first)) << ToUtf8(first).value_or("");
  }
}

ExportRun SampleRun() {
  CallResult deleted;
  deleted.Operation = ScriptOperation::Delete;
  deleted.Outcome = CallOutcome::Exited;
  deleted.ExitCode = 0;
  CallResult added;
  added.Operation = ScriptOperation::Add;
  added.Outcome = CallOutcome::Exited;
  added.ExitCode = 3;
  CallResult skipped;
  skipped.Operation = ScriptOperation::Lock;
  skipped.Outcome = CallOutcome::Skipped;
  ExportRun run;
  run.JobFile = L"C:\\任务.rbjob";
  run.ExitCode = 2;
  run.Rows = {
      {L"D:\\归档\\a,\"b\".rar", ArchiveState::Success, L"", {deleted}, 0.25, L"2026-01-02T03:04:05Z"},
      {L"D:\\c.rar", ArchiveState::Failure, L"添加：压缩包已损坏\n(3)", {deleted, added, skipped}, 1.5, L"2026-01-02T03:04:06Z"},
      {L"D:\\d.rar", ArchiveState::Stopped, L"", {}, -1, L""},
      {std::wstring(L"D:\\bad") + static_cast<wchar_t>(0xD800) + L".rar", ArchiveState::Warning, L"", {}, 0, L""},
  };
  return run;
}

TEST(RunExport, CsvIsUtf8WithABomAndQuotedFields) {
  const std::string csv = FormatCsvReport(SampleRun());
  ASSERT_TRUE(csv.starts_with("\xEF\xBB\xBF压缩包,状态,说明,调用,用时（秒）,完成时间\r\n"));
  EXPECT_NE(csv.find("\"D:\\归档\\a,\"\"b\"\".rar\",成功,,删除：退出代码 0，"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",0.250,2026-01-02T03:04:05Z\r\n"), std::string::npos);
  EXPECT_NE(csv.find("\"添加：压缩包已损坏\n(3)\""), std::string::npos);
  EXPECT_NE(csv.find("添加：退出代码 3，"), std::string::npos);
  EXPECT_NE(csv.find("锁定：已跳过"), std::string::npos);
  EXPECT_NE(csv.find("D:\\d.rar,已停止,,,,\r\n"), std::string::npos);
  EXPECT_NE(csv.find("D:\\bad\xEF\xBF\xBD.rar"), std::string::npos);  // U+FFFD for a lone surrogate
  // Five line ends: the header, four rows; the quoted line break is inside a field.
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 6);
}

TEST(RunExport, JsonFollowsItsSchema) {
  const auto json = nlohmann::json::parse(FormatJsonReport(SampleRun()));
  EXPECT_EQ(json["version"], 1);
  EXPECT_EQ(json["exit_code"], 2);
  EXPECT_EQ(json["job"], "C:\\任务.rbjob");
  EXPECT_EQ(json["counts"], (nlohmann::json{{"total", 4}, {"success", 1}, {"warning", 1}, {"failure", 1}, {"stopped", 1}}));
  const auto& failed = json["archives"][1];
  EXPECT_EQ(failed["status"], "failure");
  EXPECT_EQ(failed["status_text"], "失败");
  EXPECT_EQ(failed["seconds"], 1.5);
  ASSERT_EQ(failed["calls"].size(), 3u);
  EXPECT_EQ(failed["calls"][1]["operation"], "add");
  EXPECT_EQ(failed["calls"][1]["exit_code"], 3);
  EXPECT_FALSE(failed["calls"][1]["meaning"].get<std::string>().empty());
  EXPECT_EQ(failed["calls"][2]["outcome"], "skipped");
  EXPECT_TRUE(failed["calls"][2]["exit_code"].is_null());
  EXPECT_TRUE(json["archives"][2]["seconds"].is_null());
  EXPECT_TRUE(json["archives"][2]["finished"].is_null());
}

}  // namespace
}  // namespace rarbatch
