// The program's delete calls give the archiver exactly the names the script's lines give it: each
// entry split on its own, never run on into the next, on the command line and through a list file.
#include <gtest/gtest.h>

#include <random>

#include "core/archive_plan.h"
#include "core/archiver_args.h"
#include "core/script_check.h"

namespace rarbatch {
namespace {

using Words = std::vector<std::wstring>;

// What the command interpreter hands on from a line of a batch file, for the characters the tests
// use: "%%" becomes "%", and outside double quotes (every '"' switches them) '^' takes the next
// character literally and goes itself.
std::wstring InterpreterPassesOn(const std::wstring& line) {
  std::wstring percent;
  for (std::size_t i = 0; i < line.size(); ++i) {
    percent.push_back(line[i]);
    if (line[i] == L'%' && i + 1 < line.size() && line[i + 1] == L'%') ++i;
  }
  std::wstring out;
  bool inQuotes = false;
  for (std::size_t i = 0; i < percent.size(); ++i) {
    const wchar_t c = percent[i];
    if (c == L'"') inQuotes = !inQuotes;
    if (c == L'^' && !inQuotes && i + 1 < percent.size()) {
      out.push_back(percent[++i]);
      continue;
    }
    out.push_back(c);
  }
  return out;
}

// The words after the archive that the archiver reads from entry `n`'s script line. An empty word
// (from a lone quote) names nothing: the archiver given only "" deletes nothing and exits with 10.
Words ScriptWords(const BatchJob& job, std::size_t n) {
  const ScriptWriter writer(job);
  PlannedCall call;
  call.Command = ScriptOperation::Delete;
  call.Names = {n};
  std::wstring line;
  writer.Append(line, call, 0);
  line.resize(line.size() - 2);  // CR LF
  Words words = SplitArchiverArguments(InterpreterPassesOn(line));
  EXPECT_GE(words.size(), 3u);
  EXPECT_EQ(words[1], L"d");
  EXPECT_EQ(words[2], job.Archives[0]) << "the archive must come through whole";
  words.erase(words.begin(), words.begin() + 3);
  std::erase_if(words, [](const std::wstring& w) { return w.empty(); });
  return words;
}

// The words after the archive that the archiver reads from the program's call, and, with a list
// file, what it reads from each of the file's lines after the switches on the line.
Words RunWords(const BatchJob& job, const PlannedCall& call, bool listFile) {
  const std::wstring line = RunCommandLine(job, call, 0, listFile ? L"C:\\t\\names.lst" : L"");
  Words words = SplitArchiverArguments(line);
  const auto archive = std::find(words.begin(), words.end(), job.Archives[0]);
  EXPECT_NE(archive, words.end());
  words.erase(words.begin(), archive + 1);
  if (!listFile) return words;
  EXPECT_FALSE(words.empty());
  EXPECT_EQ(words.back(), L"@C:\\t\\names.lst");
  words.pop_back();
  const std::wstring text = ListFileText(job, call);
  std::size_t start = 0, end;
  while ((end = text.find(L"\r\n", start)) != std::wstring::npos) {
    const Words inLine = SplitArchiverArguments(text.substr(start, end - start));
    EXPECT_EQ(inLine.size(), 1u) << "a list file's line holds one name";
    words.insert(words.end(), inLine.begin(), inLine.end());
    start = end + 2;
  }
  EXPECT_EQ(start, text.size());
  return words;
}

// Switches first, then the rest: where on the line a switch stands makes no difference to the
// archiver, and a list file's call puts them before the list.
Words SwitchesFirst(Words words) {
  std::stable_partition(words.begin(), words.end(), IsSwitchOrListWord);
  return words;
}

TEST(DeleteCalls, EveryEntryReachesTheArchiverAsOnItsOwnScriptLine) {
  // Quotes, spaces, backslashes, wildcards, switches, and what the interpreter would act on.
  const std::wstring alphabet = L"\"\"\" \\*?ab.-%&^@x";
  std::mt19937 random(20261208);
  std::size_t jobs = 0;
  for (int round = 0; round < 20000; ++round) {
    BatchJob job;
    job.RarPath = L"C:\\Rar.exe";
    job.Archives = {L"D:\\a b\\x.rar"};
    const int entries = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < entries; ++e) {
      std::wstring entry;
      const int length = 1 + static_cast<int>(random() % 9);
      for (int i = 0; i < length; ++i) entry.push_back(alphabet[random() % alphabet.size()]);
      job.DeleteNames.push_back(entry);
    }
    if (FindScriptProblem(job) || FindRunProblem(job)) continue;
    ++jobs;

    std::vector<std::size_t> carried;
    for (const PlannedCall& call : RunPlan(job, RunOptions{})) {
      if (call.Command != ScriptOperation::Delete) continue;
      Words script;
      for (std::size_t n : call.Names) {
        const Words own = ScriptWords(job, n);
        script.insert(script.end(), own.begin(), own.end());
        carried.push_back(n);
      }
      std::wstring shown;
      for (const std::wstring& entry : job.DeleteNames) shown += L"[" + entry + L"] ";
      EXPECT_EQ(RunWords(job, call, false), script) << shown;
      EXPECT_EQ(RunWords(job, call, true), SwitchesFirst(script)) << shown << "(list file)";
    }
    std::sort(carried.begin(), carried.end());
    ASSERT_EQ(carried.size(), job.DeleteNames.size()) << "each entry in exactly one call";
    for (std::size_t n = 0; n < carried.size(); ++n) ASSERT_EQ(carried[n], n);
    if (HasFailure()) break;
  }
  EXPECT_GT(jobs, 2000u) << "too few generated jobs pass the checks to test anything";
}

// The cases found by hand: an unbalanced quote ends with its entry.
TEST(DeleteCalls, AnUnbalancedQuoteEndsWithItsEntry) {
  BatchJob job;
  job.RarPath = L"C:\\Rar.exe";
  job.Archives = {L"D:\\x.rar"};
  job.DeleteNames = {L"\"my file.txt", L"*.bak"};
  const ArchivePlan plan = RunPlan(job, RunOptions{});
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(RunWords(job, plan[0], false), (Words{L"my file.txt", L"*.bak"}));
  EXPECT_EQ(ListFileText(job, plan[0]), L"\"my file.txt\"\r\n\"*.bak\"\r\n");

  // Joined, these two read as "a z\", a folder with its separator, which the archiver takes for every
  // file; each on its own reads as a name.
  job.DeleteNames = {L"\"a", L"z\\\" b"};
  ASSERT_FALSE(FindRunProblem(job));
  ASSERT_FALSE(FindScriptProblem(job));
  EXPECT_EQ(RunWords(job, RunPlan(job, RunOptions{})[0], false), (Words{L"a", L"z\\ b"}));
}

}  // namespace
}  // namespace rarbatch
