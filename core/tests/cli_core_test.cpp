// rarbatch-cli's pieces that need no system: its arguments, which volumes a scan lists, and its
// reports.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/cli_arguments.h"
#include "core/preview_export.h"
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
  EXPECT_FALSE(csv.Arguments->Preview);
  auto preview = ParseCliArguments({L"run", L"--preview", L"j.rbjob", L"--report", L"p.csv"});
  ASSERT_TRUE(preview.Arguments);
  EXPECT_TRUE(preview.Arguments->Preview);
  EXPECT_EQ(preview.Arguments->JobFile, L"j.rbjob");
  auto scan = ParseCliArguments({L"scan", L"D:\\归档", L"--out", L"x.rbjob"});
  ASSERT_TRUE(scan.Arguments);
  EXPECT_EQ(scan.Arguments->Folder, L"D:\\归档");
  EXPECT_EQ(scan.Arguments->OutFile, L"x.rbjob");
  auto options = ParseCliArguments({L"run", L"j.rbjob", L"--test", L"--backup-to", L"E:\\备份", L"--keep-times"});
  ASSERT_TRUE(options.Arguments) << ToUtf8(options.Error).value_or("");
  EXPECT_EQ(options.Arguments->BackupTo, L"E:\\备份");
  EXPECT_TRUE(options.Arguments->KeepTimes && options.Arguments->TestBeforeLock);
  auto restore = ParseCliArguments({L"restore", L"E:\\备份\\备份清单.txt", L"--report", L"r.json"});
  ASSERT_TRUE(restore.Arguments) << ToUtf8(restore.Error).value_or("");
  EXPECT_EQ(restore.Arguments->Command, CliCommand::Restore);
  EXPECT_EQ(restore.Arguments->Manifest, L"E:\\备份\\备份清单.txt");
  EXPECT_EQ(restore.Arguments->Report, ReportFormat::Json);
  auto add = ParseCliArguments({L"sample", L"add", L"a.bin", L"--job", L"j.rbjob", L"D:\\样本\\b c.jpg"});
  ASSERT_TRUE(add.Arguments) << ToUtf8(add.Error).value_or("");
  EXPECT_EQ(add.Arguments->Command, CliCommand::Sample);
  EXPECT_EQ(add.Arguments->Sample, SampleAction::Add);
  EXPECT_EQ(add.Arguments->JobFile, L"j.rbjob");
  EXPECT_EQ(add.Arguments->SampleFiles, (Args{L"a.bin", L"D:\\样本\\b c.jpg"}));
  auto list = ParseCliArguments({L"sample", L"list", L"--job", L"j.rbjob"});
  ASSERT_TRUE(list.Arguments);
  EXPECT_EQ(list.Arguments->Sample, SampleAction::List);
  EXPECT_TRUE(list.Arguments->SampleFiles.empty());
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
      {{L"run", L"j.rbjob", L"--test", L"--test"}, L"只能给一次"},
      {{L"run", L"j.rbjob", L"--backup-to"}, L"缺少值"},
      {{L"run", L"j.rbjob", L"--backup-to", L""}, L"不能为空"},
      {{L"run", L"j.rbjob", L"--preview", L"--keep-times"}, L"不能与"},
      {{L"scan", L"D:\\a", L"--out", L"x.rbjob", L"--test"}, L"不能用于 scan"},
      {{L"restore"}, L"备份清单"},
      {{L"sample"}, L"add 或 list"},
      {{L"sample", L"remove", L"--job", L"j.rbjob"}, L"add 或 list"},
      {{L"sample", L"add", L"--job", L"j.rbjob"}, L"至少一个样本文件"},
      {{L"sample", L"add", L"a.bin"}, L"--job"},
      {{L"sample", L"add", L"a.bin", L"--job"}, L"缺少值"},
      {{L"sample", L"add", L"a.bin", L"--job", L"j.rbjob", L"--job", L"k.rbjob"}, L"只能给一次"},
      {{L"sample", L"add", L"a.bin", L"--job", L"j.rbjob", L"--workers", L"2"}, L"未知的选项"},
      {{L"sample", L"add", L"", L"--job", L"j.rbjob"}, L"不能为空"},
      {{L"sample", L"list", L"a.bin", L"--job", L"j.rbjob"}, L"不接受文件"},
      {{L"sample", L"list", L"--job", L"j.rbjob", L"--password", L"x"}, L"RARBATCH_PASSWORD"},
      {{L"restore", L"m.txt", L"--backup-to", L"E:\\"}, L"不能用于 restore"},
      {{L"scan", L"D:\\a", L"--out", L"x", L"--report", L"r.csv"}, L"不能用于 scan"},
      {{L"run", L""}, L"不能为空"},
      {{L"run", L"j.rbjob", L"--preview", L"--preview"}, L"只能给一次"},
      {{L"scan", L"D:\\a", L"--out", L"x", L"--preview"}, L"不能用于 scan"},
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
  ASSERT_TRUE(csv.starts_with("\xEF\xBB\xBF压缩包,状态,说明,调用,用时（秒）,完成时间,按名称删除,按内容删除\r\n"));
  EXPECT_NE(csv.find("\"D:\\归档\\a,\"\"b\"\".rar\",成功,,删除：退出代码 0，"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",0.250,2026-01-02T03:04:05Z,,\r\n"), std::string::npos);
  EXPECT_NE(csv.find("\"添加：压缩包已损坏\n(3)\""), std::string::npos);
  EXPECT_NE(csv.find("添加：退出代码 3，"), std::string::npos);
  EXPECT_NE(csv.find("锁定：已跳过"), std::string::npos);
  EXPECT_NE(csv.find("D:\\d.rar,已停止,,,,,,\r\n"), std::string::npos);
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

// Which entries went by name and which by content, in columns and fields added after the old ones;
// a row without samples leaves them empty.
TEST(RunExport, EntriesTakenByNameAndByContentComeLast) {
  ExportRun run = SampleRun();
  run.Samples = {{3000, 1, std::string(64, 'a'), L"C:\\样本\\ad.jpg"}};
  run.Rows[0].Content.ByName = {L"a.bak", L"b,c.bak"};
  run.Rows[0].Content.Matches = {{L"pics\\ad.jpg", 0}, {L"x.jpg", 0}};
  run.Rows[0].Content.NotCompared = {L"s.jpg"};
  const std::string csv = FormatCsvReport(run);
  EXPECT_NE(csv.find(",2026-01-02T03:04:05Z,\"a.bak；b,c.bak\",pics\\ad.jpg（ad.jpg）；x.jpg（ad.jpg）\r\n"),
            std::string::npos) << csv;
  EXPECT_NE(csv.find(",2026-01-02T03:04:06Z,,\r\n"), std::string::npos) << csv;

  const auto json = nlohmann::json::parse(FormatJsonReport(run));
  const auto& first = json["archives"][0];
  EXPECT_EQ(first["by_name"], (nlohmann::json{"a.bak", "b,c.bak"}));
  ASSERT_EQ(first["by_content"].size(), 2u);
  EXPECT_EQ(first["by_content"][0],
            (nlohmann::json{{"entry", "pics\\ad.jpg"}, {"sample", "ad.jpg"}, {"sha256", std::string(64, 'a')}}));
  EXPECT_EQ(first["content_problems"], "无法比较：需要密码：s.jpg");
  EXPECT_EQ(json["archives"][1]["by_name"], nlohmann::json::array());
  EXPECT_EQ(json["archives"][1]["by_content"], nlohmann::json::array());
  EXPECT_EQ(json["archives"][1]["content_problems"], "");
  EXPECT_EQ(first["status"], "success") << "the old fields are as they were";
}

TEST(ProgressBar, FillsInProportionAndFitsTheConsole) {
  // The line takes the whole width: the bar's cells are what the counts leave.
  EXPECT_EQ(FormatProgressBar(0, 4, 40), L"[" + std::wstring(29, L'-') + L"]  0/4  0%");
  EXPECT_EQ(FormatProgressBar(1, 4, 40), L"[" + std::wstring(7, L'#') + std::wstring(21, L'-') + L"]  1/4  25%");
  EXPECT_EQ(FormatProgressBar(4, 4, 40), L"[" + std::wstring(27, L'#') + L"]  4/4  100%");
  EXPECT_EQ(FormatProgressBar(1, 2, 500).size(), 1 + 50 + 1 + 2 + 8u);  // at most 50 cells
  for (std::size_t width : {0u, 5u, 12u, 30u, 79u, 500u}) {
    for (std::size_t done : {0u, 1u, 32766u, 32767u}) {
      EXPECT_LE(FormatProgressBar(done, 32767, width).size(), width) << width << " " << done;
    }
  }
  EXPECT_EQ(FormatProgressBar(3, 4, 12), L"3/4  75%");  // no room for a useful bar
  EXPECT_EQ(FormatProgressBar(9, 4, 40).find(L"4/4  100%") != std::wstring::npos, true);
  EXPECT_EQ(FormatProgressBar(0, 0, 40).find(L"0/0  100%") != std::wstring::npos, true);
}

// Archives as the preview leaves them: one changed, one emptied, one untouched, one refused, one not
// listed.
struct SamplePreview {
  BatchJob Job;
  std::vector<ArchivePreview> Previews;
  SamplePreview() {
    Job.DeleteNames = {L"*.bak"};
    Previews.resize(5);
    const wchar_t* names[] = {L"D:\\甲,\"1\".rar", L"D:\\空.rar", L"D:\\不变.rar", L"D:\\锁.rar", L"D:\\坏.rar"};
    for (std::size_t i = 0; i < 5; ++i) Previews[i].Archive = names[i];
    for (std::size_t i = 0; i < 3; ++i) Previews[i].Listed = true;
    Previews[0].Entries = {L"a.bak", L"b.txt"};
    Previews[1].Entries = {L"a.bak"};
    Previews[2].Entries = {L"b.txt"};
    for (std::size_t i = 0; i < 3; ++i) PredictChanges(Job, {}, Previews[i]);
    Previews[3].Refusal = L"已锁定";
    Previews[4].ListProblem = L"列出失败 (3)";
  }
};

TEST(PreviewExport, ExitCodeAndReportsFollowThePreviewTable) {
  SamplePreview sample;
  EXPECT_EQ(PreviewExitCode(sample.Previews), kExitFailures);
  EXPECT_EQ(PreviewExitCode({sample.Previews[0], sample.Previews[1], sample.Previews[2]}), kExitWarnings);
  EXPECT_EQ(PreviewExitCode({sample.Previews[0], sample.Previews[2]}), kExitSuccess);
  EXPECT_EQ(PreviewExitCode({}), kExitSuccess);

  const std::string csv = FormatCsvPreview(sample.Job, sample.Previews);
  ASSERT_TRUE(csv.starts_with("\xEF\xBB\xBF压缩包,预计,说明,按内容删除\r\n")) << csv;
  EXPECT_NE(csv.find("\"D:\\甲,\"\"1\"\".rar\",将修改,删除 1 项,\r\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find("D:\\空.rar,将被删除,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("D:\\不变.rar,不变,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("D:\\锁.rar,无法处理,已锁定,\r\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find("D:\\坏.rar,无法预览,列出失败 (3),\r\n"), std::string::npos) << csv;

  const auto json = nlohmann::json::parse(FormatJsonPreview(L"C:\\任务.rbjob", 2, sample.Job, sample.Previews));
  EXPECT_EQ(json["mode"], "preview");
  EXPECT_EQ(json["exit_code"], 2);
  EXPECT_EQ(json["counts"], (nlohmann::json{{"total", 5}, {"change", 1}, {"unchanged", 1}, {"deleted", 1},
                                            {"refused", 1}, {"not_listed", 1}}));
  ASSERT_EQ(json["archives"].size(), 5u);
  EXPECT_EQ(json["archives"][0]["expected"], "change");
  EXPECT_EQ(json["archives"][0]["expected_text"], "将修改");
  EXPECT_EQ(json["archives"][0]["removed"], (nlohmann::json{"a.bak"}));
  EXPECT_EQ(json["archives"][1]["expected"], "deleted");
  EXPECT_EQ(json["archives"][3]["detail"], "已锁定");
  EXPECT_TRUE(json["archives"][4]["added"].empty());
  EXPECT_EQ(json["archives"][0]["by_content"], nlohmann::json::array());
}

// A preview of a job with samples says which entries each sample would take.
TEST(PreviewExport, EntriesFoundByContentWithTheirSample) {
  SamplePreview sample;
  sample.Job.Samples = {{3000, 1, std::string(64, 'b'), L"D:\\ad.jpg"}};
  ArchivePreview& preview = sample.Previews[2];
  preview.Content.Matches = {{L"b.txt", 0}};
  preview.Content.NotCompared = {L"s.jpg"};
  PredictChanges(sample.Job, {}, preview);
  const std::string csv = FormatCsvPreview(sample.Job, {preview});
  EXPECT_NE(csv.find(",b.txt（ad.jpg）\r\n"), std::string::npos) << csv;
  const auto json = nlohmann::json::parse(FormatJsonPreview(L"t.rbjob", 1, sample.Job, {preview}));
  const auto& archive = json["archives"][0];
  EXPECT_EQ(archive["expected"], "deleted");
  EXPECT_EQ(archive["by_content"],
            (nlohmann::json::array({{{"entry", "b.txt"}, {"sample", "ad.jpg"}, {"sha256", std::string(64, 'b')}}})));
  EXPECT_EQ(archive["not_compared"], (nlohmann::json{"s.jpg"}));
}

}  // namespace
}  // namespace rarbatch
