// The calls the program makes itself: what the archiver reads from each command line, which lines are
// too long, an archive's end state from its calls' exit codes, and the output kept from a call.
#include "core/archiver_calls.h"

#include <gtest/gtest.h>

#include "core/archive_plan.h"
#include "core/archiver_args.h"
#include "core/kept_output.h"

namespace rarbatch {
namespace {

using Words = std::vector<std::wstring>;

BatchJob HostileJob() {
  BatchJob job;
  job.RarPath = L"C:\\Program Files\\R \"x\"\\Rar.exe";
  job.Archives = {L"D:\\a.rar", L"\"lead\\ing\".rar", L"E:\\压缩 包\\ก\U0001F600 100%&^!.rar",
                  L"F:\\trailing\\"};
  job.DeleteNames = {L"\"old file.txt\" R&D.txt", L"*.bak", L"a\"\"b -r x"};
  job.AddFiles = {L"G:\\new\\a \"b\".txt", L"G:\\dir\\", L"\t"};
  job.CommentFile = L"H:\\c\" d\\";
  job.Lock = true;
  job.UsePassword = true;
  return job;
}

Words Split(const std::wstring& entry) { return SplitArchiverArguments(entry); }

Words Joined(std::initializer_list<Words> parts) {
  Words all;
  for (const Words& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The program's calls read back as the archiver splits them: one delete for the entries of names
// only, one for the entry with a switch, one add with every file, the finishing switches on the last.
TEST(ArchiverCallsFor, EveryCallSplitsBackToTheIntendedArguments) {
  BatchJob job = HostileJob();
  const wchar_t* passwords[] = {L"plain", L"two words", L"\"", L"\"\"lead", L"a\"b\"\"c", L"\\",
                                L"x\\\"y\\", L"-r %PATH%", L"\t \t"};
  for (const wchar_t* password : passwords) {
    job.Password = password;
    for (PasswordSource source : {PasswordSource::StandardInput, PasswordSource::CommandLine}) {
      const RunOptions options{source, true};
      const Words pw = source == PasswordSource::StandardInput ? Words{L"-p"} : Words{L"-p" + job.Password};
      for (std::size_t i = 0; i < job.Archives.size(); ++i) {
        const std::wstring& a = job.Archives[i];
        const std::vector<CallResult> calls = ArchiverCallsFor(job, i, options);
        ASSERT_EQ(calls.size(), 3u);
        EXPECT_EQ(Split(calls[0].CommandLine),
                  Joined({{job.RarPath, L"d", L"-scfr", a}, Split(job.DeleteNames[0]), Split(job.DeleteNames[1])}));
        EXPECT_EQ(Split(calls[1].CommandLine), Joined({{job.RarPath, L"d", L"-scfr", a}, Split(job.DeleteNames[2])}));
        // Kept and shown masked; the password goes in only at the start of the call.
        EXPECT_EQ(Split(WithPassword(calls[2].CommandLine, calls[2].PasswordAt, job.Password)),
                  Joined({{job.RarPath, L"a", L"-ep1"}, pw,
                          {L"-k", L"-z" + job.CommentFile, L"-scfr", a}, job.AddFiles}))
            << "password [" << password << "] archive " << i;
        if (source == PasswordSource::CommandLine) {
          EXPECT_EQ(Split(calls[2].CommandLine)[3], kMaskedPasswordSwitch);
          EXPECT_EQ(calls[2].CommandLine.find(L"-p" + job.Password), std::wstring::npos) << calls[2].CommandLine;
        }
        EXPECT_EQ(calls[2].PasswordOnInput, source == PasswordSource::StandardInput);
        EXPECT_FALSE(calls[0].PasswordOnInput);
        for (const CallResult& call : calls) EXPECT_TRUE(call.Utf8Output && call.ListFile.empty());
      }
    }
  }
}

TEST(ArchiverCallsFor, AJobThatNeitherDeletesNorAddsGetsOneCall) {
  BatchJob job = HostileJob();
  job.DeleteNames.clear();
  job.AddFiles.clear();
  const RunOptions plain{PasswordSource::StandardInput, false};
  const std::wstring a = job.Archives[0];
  EXPECT_EQ(Split(ArchiverCallsFor(job, 0, plain).at(0).CommandLine),
            (Words{job.RarPath, L"c", L"-k", L"-z" + job.CommentFile, a}));
  job.CommentFile.clear();
  EXPECT_EQ(Split(ArchiverCallsFor(job, 0, plain).at(0).CommandLine), (Words{job.RarPath, L"k", a}));
  job.Lock = false;
  EXPECT_TRUE(ArchiverCallsFor(job, 0, plain).empty());
  EXPECT_EQ(FinishingCallFor(job, 0, plain), std::nullopt);
  job.DeleteNames = {L"x"};
  job.Lock = true;
  const auto calls = ArchiverCallsFor(job, 0, plain);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(Split(calls[0].CommandLine), (Words{job.RarPath, L"d", L"-k", a, L"x"}));
  const auto finishing = FinishingCallFor(job, 0, plain);
  ASSERT_TRUE(finishing);
  EXPECT_TRUE(finishing->Finishing);
  EXPECT_EQ(Split(finishing->CommandLine), (Words{job.RarPath, L"k", a}));
}

// An archive's recovery record is asked for on its last change; with a test before the lock, on the
// last change before the test as well, since the lock may never come. The script keeps its lines.
TEST(RunPlan, TheRecoveryRecordGoesOnTheLastChange) {
  BatchJob job = HostileJob();
  job.DeleteNames = {L"x"};
  job.Lock = true;
  RunOptions options{PasswordSource::StandardInput, false};
  options.RecoveryPercent = 7;
  auto percents = [&] {
    std::string text;
    for (const PlannedCall& call : RunPlan(job, options)) {
      text += std::string(1, "dackt"[static_cast<int>(call.Command)]) + std::to_string(call.RecoveryPercent) + " ";
    }
    return text;
  };
  EXPECT_EQ(percents(), "d0 a7 ");
  job.TestBeforeLock = true;
  EXPECT_EQ(percents(), "d0 a7 t0 c7 ");
  job.AddFiles.clear();
  job.CommentFile.clear();
  EXPECT_EQ(percents(), "d7 t0 k7 ");
  job.DeleteNames.clear();
  EXPECT_EQ(percents(), "t0 k7 ");
  job.TestBeforeLock = false;
  EXPECT_EQ(percents(), "k7 ");
  const auto finishing = FinishingCallFor(job, 0, options);
  ASSERT_TRUE(finishing);
  EXPECT_EQ(Split(finishing->CommandLine), (Words{job.RarPath, L"k", L"-rr7%", job.Archives[0]}));
  for (const PlannedCall& call : ScriptPlan(job)) EXPECT_EQ(call.RecoveryPercent, 0u);
}

// Names and files that would make a command line too long go through a list file; what cannot (the
// comment file's path, the archive's) is refused.
TEST(FindOverlongCall, LongListsGoThroughAListFileAndOnlyWhatCannotIsRefused) {
  BatchJob job;
  job.RarPath = L"C:\\R\\Rar.exe";
  job.Archives = {L"D:\\a.rar", L"D:\\b.rar"};
  for (int i = 0; i < 2000; ++i) job.DeleteNames.push_back(L"\"name " + std::to_wstring(i) + L".txt\" x");
  for (int i = 0; i < 2000; ++i) job.AddFiles.push_back(L"E:\\files\\file " + std::to_wstring(i) + L".txt");
  job.CommentFile = L"c.txt";
  EXPECT_EQ(FindOverlongCall(job), std::nullopt);
  const auto calls = ArchiverCallsFor(job, 1, RunOptions{}, [](std::size_t c) { return L"T:\\list " + std::to_wstring(c); });
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(Split(calls[0].CommandLine), (Words{job.RarPath, L"d", L"-scfr", L"-scfl", L"D:\\b.rar", L"@T:\\list 0"}));
  EXPECT_EQ(calls[0].ListText.substr(0, 38), L"\"name 0.txt\"\r\n\"x\"\r\n\"name 1.txt\"\r\n\"x\"\r\n");
  EXPECT_EQ(calls[1].ListFile, L"T:\\list 1");
  EXPECT_EQ(calls[1].ListText.substr(0, 30), L"\"E:\\files\\file 0.txt\"\r\n\"E:\\fil");

  job.CommentFile = std::wstring(kMaxCommandLineLength, L'c');
  const auto found = FindOverlongCall(job);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->Archive, 0u);
  EXPECT_EQ(found->Operation, ScriptOperation::Add) << "the comment goes on the last call";
}

CallResult Call(ScriptOperation op, CallOutcome outcome, std::uint32_t code = 0, std::wstring output = {}) {
  CallResult call;
  call.Operation = op;
  call.Outcome = outcome;
  call.ExitCode = code;
  call.Output = std::move(output);
  return call;
}
CallResult Exited(ScriptOperation op, std::uint32_t code) { return Call(op, CallOutcome::Exited, code); }
CallResult NotRun(ScriptOperation op) { return Call(op, CallOutcome::NotRun); }

TEST(SummarizeCalls, WorstCallDecidesAndTheFirstOfItIsNamed) {
  using Op = ScriptOperation;
  const CallResult startFailed = Call(Op::Add, CallOutcome::StartFailed, 0, L"错误 2：找不到文件。");
  CallResult emptied = Exited(Op::Delete, 0);
  emptied.Emptied = true;
  CallResult killed = Call(Op::Add, CallOutcome::Killed);
  killed.Note = L"留下的临时文件：D:\\__rar_1.rartemp";
  const struct {
    std::vector<CallResult> calls;
    ArchiveState state;
    const wchar_t* detail;
  } cases[] = {
      {{}, ArchiveState::Success, L""},
      {{Exited(Op::Delete, 0), Exited(Op::Lock, 0)}, ArchiveState::Success, L""},
      {{Exited(Op::Delete, 10), Exited(Op::Add, 0)}, ArchiveState::Success, L"删除：压缩包中没有要删除的文件"},
      {{Exited(Op::Delete, 1), Exited(Op::Add, 1)}, ArchiveState::Warning, L"删除：警告 (1)"},
      {{Exited(Op::Delete, 10), Exited(Op::Add, 10)}, ArchiveState::Warning, L"添加：有要添加的文件找不到 (10)"},
      {{emptied}, ArchiveState::Warning, L"删除：压缩包中的文件已全部删除，压缩程序随之删除了压缩包文件"},
      {{Exited(Op::Delete, 1), Exited(Op::Add, 0), Exited(Op::Lock, 4)}, ArchiveState::Failure,
       L"锁定：压缩包已被锁定 (4)"},
      {{Exited(Op::Delete, 4), Call(Op::Add, CallOutcome::Skipped)}, ArchiveState::Failure, L"删除：压缩包已被锁定 (4)"},
      {{Exited(Op::Delete, 0), startFailed, Exited(Op::Comment, 11)}, ArchiveState::Failure,
       L"添加：无法启动压缩程序：错误 2：找不到文件。"},
      {{Exited(Op::Comment, 10)}, ArchiveState::Failure, L"注释：没有匹配的文件 (10)"},
      {{Exited(Op::Comment, 300)}, ArchiveState::Failure, L"注释：未知错误 (300)"},
      {{Exited(Op::Lock, 255)}, ArchiveState::Failure, L"锁定：用户中止 (255)"},
      {{Exited(Op::Delete, 0), NotRun(Op::Add)}, ArchiveState::Stopped, L""},
      {{Exited(Op::Delete, 1), NotRun(Op::Lock)}, ArchiveState::Stopped, L"删除：警告 (1)"},
      // "Left as it was" only when no earlier call may have changed the archive.
      {{Exited(Op::Delete, 0), killed}, ArchiveState::Stopped,
       L"添加：已中止，这一步没有改动压缩包，之前完成的步骤的改动仍在；留下的临时文件：D:\\__rar_1.rartemp"},
      {{Exited(Op::Delete, 10), killed}, ArchiveState::Stopped,
       L"添加：已中止，压缩包保持原样；留下的临时文件：D:\\__rar_1.rartemp"},
      {{killed}, ArchiveState::Stopped, L"添加：已中止，压缩包保持原样；留下的临时文件：D:\\__rar_1.rartemp"},
      {{NotRun(Op::Delete), NotRun(Op::Lock)}, ArchiveState::Stopped, L""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const ArchiveSummary s = SummarizeCalls(cases[i].calls);
    EXPECT_EQ(s.State, cases[i].state) << "case " << i;
    EXPECT_EQ(s.Detail, cases[i].detail) << "case " << i;
  }
  EXPECT_TRUE(CallCompleted(Exited(Op::Add, 1)));
  EXPECT_TRUE(CallCompleted(Exited(Op::Delete, 10)));
  EXPECT_FALSE(CallCompleted(Exited(Op::Lock, 10)));
  EXPECT_FALSE(CallCompleted(Exited(Op::Add, 2)));
  EXPECT_TRUE(CallFailed(Exited(Op::Add, 2)));
  EXPECT_FALSE(CallCompleted(startFailed));
  EXPECT_TRUE(CallFailed(startFailed));
  EXPECT_FALSE(CallCompleted(NotRun(Op::Add)));
  EXPECT_FALSE(CallFailed(NotRun(Op::Add)) || CallFailed(killed));
}

TEST(ParseArchiverVersion, ReadsTheBannerAndDecidesHowToCall) {
  EXPECT_EQ(ParseArchiverVersion(L"\nRAR 7.01   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024\n"),
            (ArchiverVersion{7, 1}));
  EXPECT_EQ(ParseArchiverVersion(L"RAR 5.40 x64   Copyright"), (ArchiverVersion{5, 40}));
  EXPECT_EQ(ParseArchiverVersion(L"UNRAR 6.2 RAR 4.20 beta"), (ArchiverVersion{6, 2})) << "the first that names one";
  for (const wchar_t* none : {L"", L"RAR x.01", L"RAR 7.", L"Usage: rar <command>"}) {
    EXPECT_EQ(ParseArchiverVersion(none), std::nullopt) << none;
  }

  std::wstring note;
  const struct {
    std::optional<ArchiverVersion> version;
    bool fits;
    PasswordSource password;
    bool utf8;
    bool noted;
  } cases[] = {
      {ArchiverVersion{7, 1}, true, PasswordSource::StandardInput, true, false},
      {ArchiverVersion{5, 40}, true, PasswordSource::StandardInput, true, false},
      {ArchiverVersion{7, 1}, false, PasswordSource::CommandLine, true, true},
      {ArchiverVersion{5, 31}, true, PasswordSource::CommandLine, true, true},
      {ArchiverVersion{5, 21}, true, PasswordSource::CommandLine, false, true},
      {std::nullopt, true, PasswordSource::CommandLine, false, true},
  };
  for (const auto& c : cases) {
    const RunOptions options = RunOptionsFor(c.version, c.fits, &note);
    EXPECT_EQ(options.Password, c.password);
    EXPECT_EQ(options.Utf8Output, c.utf8);
    EXPECT_EQ(!note.empty(), c.noted) << note;
  }
}

std::wstring Widen(const std::string& bytes) { return std::wstring(bytes.begin(), bytes.end()); }

TEST(KeptOutput, KeepsTheStartAndTheEndAndCountsWhatIsLeftOut) {
  const struct {
    std::vector<std::string> pieces;
    std::wstring want;
  } cases[] = {
      {{}, L""},
      {{"0123456789", "abcdefghij"}, L"0123456789abcdefghij"},  // within both bounds
      {{"HEAD", "1\n2\n", std::string(100, 'x'), "\nend 1\n", "end 2\n"},
       L"HEAD\r\n……（省略 105 字节）……\r\nend 1\nend 2\n"},
      {{"HEAD", std::string(100, 'y'), "no line end"}, L"HEAD\r\n……（省略 99 字节）……\r\nyno line end"},
  };
  for (const auto& c : cases) {
    KeptOutput kept(4, 12);
    for (const auto& piece : c.pieces) kept.Append(piece.data(), piece.size());
    EXPECT_EQ(kept.Text(Widen), c.want);
  }
}

}  // namespace
}  // namespace rarbatch
