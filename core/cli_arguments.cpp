// Parsing rarbatch-cli's arguments strictly: an unknown or repeated option is an error, never a guess.
#include "core/cli_arguments.h"

#include <algorithm>
#include <cwctype>
#include <iterator>

#include "core/number_text.h"

namespace rarbatch {

namespace {

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::optional<unsigned> Count(const std::wstring& text) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  unsigned value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - L'0');
  }
  return value;
}

constexpr const wchar_t* kNoPasswordOnCommandLine =
    L"密码不能写在命令行上（其他程序能看到命令行）：请设置环境变量 RARBATCH_PASSWORD，或在提示时输入。";

// `sample add FILE… --job JOB` and `sample list --job JOB`.
ParsedArguments ParseSampleArguments(const std::vector<std::wstring>& arguments) {
  ParsedArguments parsed;
  auto fail = [&](const std::wstring& why) {
    parsed.Error = why;
    return parsed;
  };
  CliArguments result;
  result.Command = CliCommand::Sample;
  if (arguments.size() < 2 || (arguments[1] != L"add" && arguments[1] != L"list")) {
    return fail(L"sample 后面应为 add 或 list。");
  }
  result.Sample = arguments[1] == L"add" ? SampleAction::Add : SampleAction::List;
  bool sawJob = false;
  for (std::size_t i = 2; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (argument == L"--password" || argument.starts_with(L"--password=")) return fail(kNoPasswordOnCommandLine);
    if (argument == L"--job") {
      if (sawJob) return fail(L"--job 只能给一次。");
      if (i + 1 >= arguments.size()) return fail(L"--job 后面缺少值。");
      result.JobFile = arguments[++i];
      sawJob = true;
      continue;
    }
    if (argument.starts_with(L"--")) return fail(L"未知的选项：" + argument);
    if (argument.empty()) return fail(L"路径不能为空。");
    result.SampleFiles.push_back(argument);
  }
  if (!sawJob || result.JobFile.empty()) return fail(L"sample 需要 --job 任务文件。");
  if (result.Sample == SampleAction::Add && result.SampleFiles.empty()) return fail(L"sample add 需要至少一个样本文件。");
  if (result.Sample == SampleAction::List && !result.SampleFiles.empty()) {
    return fail(L"sample list 不接受文件：" + result.SampleFiles[0]);
  }
  parsed.Arguments = std::move(result);
  return parsed;
}

}  // namespace

ParsedArguments ParseCliArguments(const std::vector<std::wstring>& arguments) {
  ParsedArguments parsed;
  auto fail = [&](const std::wstring& why) {
    parsed.Error = why;
    return parsed;
  };
  if (arguments.empty()) return fail(L"缺少命令：run、scan、restore 或 sample。");
  CliArguments result;
  const std::wstring command = arguments[0];
  if (command == L"help" || command == L"--help" || command == L"-h" || command == L"/?") {
    parsed.Arguments = result;
    return parsed;
  }
  if (command == L"sample") return ParseSampleArguments(arguments);
  if (command == L"run") {
    result.Command = CliCommand::Run;
  } else if (command == L"scan") {
    result.Command = CliCommand::Scan;
  } else if (command == L"restore") {
    result.Command = CliCommand::Restore;
  } else {
    return fail(L"未知的命令：" + command);
  }
  std::vector<std::wstring> positional;
  bool sawWorkers = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    const bool takesValue = argument == L"--workers" || argument == L"--report" || argument == L"--out" ||
                            argument == L"--backup-to";
    if (argument == L"--password" || argument.starts_with(L"--password=") || argument.starts_with(L"-p")) {
      return fail(kNoPasswordOnCommandLine);
    }
    if (takesValue) {
      if (i + 1 >= arguments.size()) return fail(argument + L" 后面缺少值。");
      const std::wstring& value = arguments[++i];
      const bool allowed = argument == L"--out"      ? result.Command == CliCommand::Scan
                           : argument == L"--report" ? result.Command != CliCommand::Scan
                                                     : result.Command == CliCommand::Run;
      if (!allowed) return fail(L"选项 " + argument + L" 不能用于 " + command + L"。");
      if (argument == L"--workers") {
        const auto count = Count(value);
        if (sawWorkers) return fail(L"--workers 只能给一次。");
        if (!count || *count < 1 || *count > kMaxCliWorkers) {
          return fail(L"--workers 应为 1 到 " + Decimal(kMaxCliWorkers) + L" 之间的数：" + value);
        }
        result.Workers = *count;
        sawWorkers = true;
      } else if (argument == L"--report") {
        if (!result.ReportFile.empty()) return fail(L"--report 只能给一次。");
        const std::wstring lower = Lower(value);
        if (EndsWith(lower, L".csv")) {
          result.Report = ReportFormat::Csv;
        } else if (EndsWith(lower, L".json")) {
          result.Report = ReportFormat::Json;
        } else {
          return fail(L"报告文件的扩展名应为 .csv 或 .json：" + value);
        }
        result.ReportFile = value;
      } else if (argument == L"--backup-to") {
        if (!result.BackupTo.empty()) return fail(L"--backup-to 只能给一次。");
        if (value.empty()) return fail(L"--backup-to 后面的文件夹不能为空。");
        result.BackupTo = value;
      } else {
        if (!result.OutFile.empty()) return fail(L"--out 只能给一次。");
        result.OutFile = value;
      }
      continue;
    }
    struct RunSwitch {
      const wchar_t* Name;
      bool CliArguments::*Member;
    };
    static constexpr RunSwitch kRunSwitches[] = {{L"--preview", &CliArguments::Preview},
                                                 {L"--keep-times", &CliArguments::KeepTimes},
                                                 {L"--test", &CliArguments::TestBeforeLock}};
    const auto runSwitch = std::find_if(std::begin(kRunSwitches), std::end(kRunSwitches),
                                        [&](const RunSwitch& s) { return argument == s.Name; });
    if (runSwitch != std::end(kRunSwitches)) {
      if (result.Command != CliCommand::Run) return fail(L"选项 " + argument + L" 不能用于 " + command + L"。");
      if (result.*runSwitch->Member) return fail(argument + L" 只能给一次。");
      result.*runSwitch->Member = true;
      continue;
    }
    if (argument.starts_with(L"--")) return fail(L"未知的选项：" + argument);
    positional.push_back(argument);
  }
  if (positional.size() != 1) {
    return fail(result.Command == CliCommand::Run    ? L"run 需要一个任务文件。"
                : result.Command == CliCommand::Scan ? L"scan 需要一个文件夹。"
                                                     : L"restore 需要一个备份清单（备份清单.txt）。");
  }
  if (positional[0].empty()) return fail(L"路径不能为空。");
  if (result.Preview && (!result.BackupTo.empty() || result.KeepTimes || result.TestBeforeLock)) {
    return fail(L"--preview 不修改压缩包，不能与 --backup-to、--keep-times 或 --test 一起使用。");
  }
  if (result.Command == CliCommand::Run) {
    result.JobFile = positional[0];
  } else if (result.Command == CliCommand::Restore) {
    result.Manifest = positional[0];
  } else {
    result.Folder = positional[0];
    if (result.OutFile.empty()) return fail(L"scan 需要 --out 任务文件。");
  }
  parsed.Arguments = std::move(result);
  return parsed;
}

std::wstring CliUsage() {
  return L"用法：\n"
         L"  rarbatch-cli run 任务.rbjob [--workers N] [--report 报告.csv|报告.json]\n"
         L"                              [--backup-to 文件夹] [--keep-times] [--test] | [--preview]\n"
         L"  rarbatch-cli scan 文件夹 --out 任务.rbjob\n"
         L"  rarbatch-cli restore 备份清单.txt [--report 报告.csv|报告.json]\n"
         L"  rarbatch-cli sample add 样本文件… --job 任务.rbjob\n"
         L"  rarbatch-cli sample list --job 任务.rbjob\n"
         L"密码来自环境变量 RARBATCH_PASSWORD，或在提示时输入（不回显）。\n"
         L"--backup-to 在修改前把每个压缩包备份到该文件夹中新建的文件夹（任务中已选择备份时，\n"
         L"  默认用任务中的备份文件夹）；--keep-times 保留压缩包的修改时间；--test 处理后测试压缩包，\n"
         L"  测试通过才锁定。这三项在任务文件中已选择时不必再给。\n"
         L"--preview 只列出每个压缩包将发生的变化，不做任何修改。\n"
         L"restore 用备份清单中的备份替换压缩包，被替换的文件先保存到备份文件夹中。\n"
         L"sample add 把文件加入任务的样本：运行时删除压缩包中内容与样本相同的文件，不论文件名和位置；\n"
         L"  任务文件只保存样本的大小、CRC32 和 SHA-256。sample list 列出任务中的样本。\n"
         L"退出代码：0 全部成功，1 仅有警告，2 有失败（或磁盘空间不足、未能还原），3 已停止（Ctrl+C），\n"
         L"  7 任务文件或参数有误。\n";
}

int PreviewExitCode(const std::vector<ArchivePreview>& previews) {
  int code = kExitSuccess;
  for (const ArchivePreview& preview : previews) {
    if (PreviewBlocked(preview)) return kExitFailures;
    if (preview.Emptied) code = kExitWarnings;
  }
  return code;
}

std::wstring FormatProgressBar(std::size_t done, std::size_t total, std::size_t width) {
  if (total == 0 || done > total) done = total;
  const std::size_t percent = total == 0 ? 100 : done * 100 / total;
  const std::wstring counts = Decimal(done) + L"/" + Decimal(total) + L"  " + Decimal(percent) + L"%";
  // "[" bar "]  " counts: a bar narrower than 10 cells says too little to be worth the room.
  if (width < counts.size() + 4 + 10) return counts.size() <= width ? counts : std::wstring();
  const std::size_t cells = std::min<std::size_t>(width - counts.size() - 4, 50);
  const std::size_t filled = total == 0 ? cells : done * cells / total;
  return L"[" + std::wstring(filled, L'#') + std::wstring(cells - filled, L'-') + L"]  " + counts;
}

}  // namespace rarbatch
