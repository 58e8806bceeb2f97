// The documents say what the program does: the refusal lists of both modes name what each mode
// refuses, and the exit codes in the companion's usage text and its document are its own.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "core/cli_arguments.h"
#include "core/script_check.h"
#include "core/utf8.h"

namespace rarbatch {
namespace {

std::string ReadSource(const std::string& path) {
  std::ifstream file(std::string(RARBATCH_SOURCE_DIR) + "/" + path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The text of `document` from the line that starts with `from` up to the next that starts with `to`.
std::string Section(const std::string& document, const std::string& from, const std::string& to) {
  const std::size_t start = document.find("\n" + from);
  const std::size_t end = document.find("\n" + to, start + 1);
  EXPECT_NE(start, std::string::npos) << from;
  EXPECT_NE(end, std::string::npos) << to;
  return start == std::string::npos ? "" : document.substr(start, end - start);
}

BatchJob GoodJob() {
  BatchJob job;
  job.RarPath = L"C:\\R\\Rar.exe";
  job.Archives = {L"D:\\a.rar"};
  job.DeleteNames = {L"*.bak"};
  job.AddFiles = {L"E:\\x.txt"};
  return job;
}

TEST(Documents, TheRefusalListsAreWhatEachModeRefuses) {
  const std::string rules = ReadSource("docs/archiver-rules.md");
  ASSERT_FALSE(rules.empty()) << "docs/archiver-rules.md";
  const std::string script = Section(rules, "The script refuses", "The run ");
  const std::string run = Section(rules, "The run ", "The run needs no");
  const auto encodable = [](const std::wstring&) { return true; };
  const struct {
    const char* Listed;  // the words of the list's line
    std::function<void(BatchJob&)> Change;
    bool Script, Run;  // which modes refuse it
  } cases[] = {
      {"line breaks or NUL", [](BatchJob& j) { j.Archives[0] += L"\n"; }, true, true},
      {"a double quote in a path", [](BatchJob& j) { j.Archives[0] = L"D:\\\"a\".rar"; }, true, false},
      {"names no file", [](BatchJob& j) { j.DeleteNames.push_back(L" -r "); }, true, true},
      {"ending in `\\` or `/`", [](BatchJob& j) { j.DeleteNames.push_back(L"docs\\"); }, true, true},
      {"a lone `.`", [](BatchJob& j) { j.DeleteNames.push_back(L"."); }, true, true},
      {"no UTF-8 form", [](BatchJob& j) { j.DeleteNames.push_back(std::wstring(1, wchar_t(0xD800))); }, false, true},
      {"without a password", [](BatchJob& j) { j.UsePassword = true; }, false, true},
      {"two files to add of one name", [](BatchJob& j) { j.AddFiles.push_back(L"F:\\X.TXT"); }, false, true},
  };
  for (const auto& c : cases) {
    BatchJob job = GoodJob();
    c.Change(job);
    EXPECT_EQ(FindScriptProblem(job, encodable).has_value(), c.Script) << c.Listed;
    EXPECT_EQ(FindRunProblem(job).has_value(), c.Run) << c.Listed;
    if (c.Script) {
      EXPECT_NE(script.find(c.Listed), std::string::npos) << "the script's list lacks: " << c.Listed;
    }
    if (c.Run) {
      EXPECT_NE(run.find(c.Listed), std::string::npos) << "the run's list lacks: " << c.Listed;
    }
  }
}

TEST(Documents, TheCompanionsExitCodesAreItsOwn) {
  const std::set<int> codes = {kExitSuccess, kExitWarnings, kExitFailures, kExitStopped, kExitBadInput};
  const std::string cli = ReadSource("docs/cli.md");
  ASSERT_FALSE(cli.empty()) << "docs/cli.md";
  std::set<int> documented;
  std::istringstream lines(cli);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > 4 && line.starts_with("| ") && std::isdigit(static_cast<unsigned char>(line[2])) &&
        line.find(" |", 2) == 3) {
      documented.insert(line[2] - '0');
    }
  }
  EXPECT_EQ(documented, codes) << "docs/cli.md's table of exit codes";
  const std::string usage = ToUtf8(CliUsage()).value_or("");
  const std::size_t at = usage.find("退出代码：");
  ASSERT_NE(at, std::string::npos) << usage;
  for (int code : codes) {
    EXPECT_NE(usage.find(std::to_string(code) + " ", at), std::string::npos) << "usage lacks exit code " << code;
  }
}

}  // namespace
}  // namespace rarbatch
