// The calls the program makes itself: what the archiver reads from each command line, which lines are
// too long, an archive's end state from its calls' exit codes, and the output kept from a call.
#include "core/archiver_calls.h"

#include <gtest/gtest.h>

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

// What the archiver should read from each call for one archive, in run order.
std::vector<std::pair<ScriptOperation, Words>> Expected(const BatchJob& job, std::size_t archive) {
  const std::wstring& a = job.Archives[archive];
  std::vector<std::pair<ScriptOperation, Words>> calls;
  for (const auto& n : job.DeleteNames) {
    Words call{job.RarPath, L"d", a};
    for (auto& name : SplitArchiverArguments(n)) call.push_back(name);
    calls.push_back({ScriptOperation::Delete, call});
  }
  for (const auto& f : job.AddFiles) {
    Words call{job.RarPath, L"a"};
    if (job.UsePassword) call.push_back(L"-p" + job.Password);
    call.push_back(a);
    call.push_back(f);
    calls.push_back({ScriptOperation::Add, call});
  }
  if (!job.CommentFile.empty()) {
    calls.push_back({ScriptOperation::Comment, {job.RarPath, L"c", L"-z" + job.CommentFile, a}});
  }
  if (job.Lock) calls.push_back({ScriptOperation::Lock, {job.RarPath, L"k", a}});
  return calls;
}

TEST(ArchiverCallsFor, EveryCallSplitsBackToTheIntendedArguments) {
  BatchJob job = HostileJob();
  const wchar_t* passwords[] = {L"plain", L"two words", L"\"", L"\"\"lead", L"a\"b\"\"c", L"\\",
                                L"x\\\"y\\", L"-r %PATH%", L"\t \t", nullptr};
  for (const wchar_t* password : passwords) {
    if (password) {
      job.Password = password;
    } else {  // last, the options off: no password switch, no comment and no lock call
      job.UsePassword = job.Lock = false;
      job.CommentFile.clear();
    }
    for (std::size_t i = 0; i < job.Archives.size(); ++i) {
      const std::vector<ArchiverCall> calls = ArchiverCallsFor(job, i);
      const auto want = Expected(job, i);
      ASSERT_EQ(calls.size(), want.size());
      for (std::size_t k = 0; k < calls.size(); ++k) {
        EXPECT_EQ(calls[k].Operation, want[k].first);
        EXPECT_EQ(SplitArchiverArguments(calls[k].CommandLine), want[k].second)
            << "password [" << (password ? password : L"off") << "] archive " << i << " call " << k;
      }
    }
  }
}

TEST(FindOverlongCall, AgreesWithTheRealCommandLinesAtTheLimit) {
  using Op = ScriptOperation;
  const struct {
    Op op;
    std::size_t item;
  } cases[] = {{Op::Delete, 1}, {Op::Add, 1}, {Op::Comment, 0}, {Op::Lock, 0}};
  for (const auto& c : cases) {
    for (std::size_t extra : {0u, 1u}) {
      BatchJob job;
      job.RarPath = L"C:\\R\\Rar.exe";
      job.Archives = {L"D:\\a.rar", L"D:\\b\"b.rar"};
      job.DeleteNames = {L"x", L"y"};
      job.AddFiles = {L"f", L"g\""};
      job.CommentFile = L"c\"";
      job.Lock = true;
      job.UsePassword = true;
      job.Password = L"p\"w";
      // The piece that grows, in the second archive's calls. For the lock, that is the archive's
      // name, so the other calls, which name it too, are left out.
      std::wstring* piece = &job.Archives[1];
      std::size_t index = 0;
      switch (c.op) {
        case Op::Delete: piece = &job.DeleteNames[1]; index = 1; break;
        case Op::Add: piece = &job.AddFiles[1]; index = 3; break;
        case Op::Comment: piece = &job.CommentFile; index = 4; break;
        case Op::Lock: job.DeleteNames.clear(); job.AddFiles.clear(); job.CommentFile.clear(); break;
      }
      const std::size_t before = ArchiverCallsFor(job, 1)[index].CommandLine.size();
      piece->insert(0, kMaxCommandLineLength + extra - before, L'n');
      const ArchiverCall call = ArchiverCallsFor(job, 1)[index];
      ASSERT_EQ(call.Operation, c.op);
      ASSERT_EQ(call.CommandLine.size(), kMaxCommandLineLength + extra);

      const auto found = FindOverlongCall(job);
      if (extra == 0) {
        EXPECT_EQ(found, std::nullopt) << OperationName(c.op);
        continue;
      }
      ASSERT_NE(found, std::nullopt) << OperationName(c.op);
      EXPECT_EQ(found->Archive, 1u);
      EXPECT_EQ(found->Operation, c.op);
      EXPECT_EQ(found->Item, c.item);
      EXPECT_EQ(found->Length, kMaxCommandLineLength + 1);
    }
  }
}

CallResult Exited(ScriptOperation op, std::uint32_t code) {
  return {op, L"", CallOutcome::Exited, code, L""};
}
CallResult NotRun(ScriptOperation op) { return {op, L"", CallOutcome::NotRun, 0, L""}; }

TEST(SummarizeCalls, WorstCallDecidesAndTheFirstOfItIsNamed) {
  using Op = ScriptOperation;
  const CallResult startFailed{Op::Add, L"", CallOutcome::StartFailed, 0, L"错误 2：找不到文件。"};
  const struct {
    std::vector<CallResult> calls;
    ArchiveState state;
    const wchar_t* detail;
  } cases[] = {
      {{}, ArchiveState::Success, L""},
      {{Exited(Op::Delete, 0), Exited(Op::Lock, 0)}, ArchiveState::Success, L""},
      {{Exited(Op::Delete, 1), Exited(Op::Add, 1)}, ArchiveState::Warning, L"删除：警告 (1)"},
      {{Exited(Op::Delete, 1), Exited(Op::Add, 0), Exited(Op::Lock, 4)}, ArchiveState::Failure,
       L"锁定：压缩包已被锁定 (4)"},
      {{Exited(Op::Delete, 4), Exited(Op::Add, 4), Exited(Op::Comment, 4), Exited(Op::Lock, 0)},
       ArchiveState::Failure, L"删除：压缩包已被锁定 (4)"},
      {{Exited(Op::Delete, 0), startFailed, Exited(Op::Comment, 11)}, ArchiveState::Failure,
       L"添加：无法启动压缩程序：错误 2：找不到文件。"},
      {{Exited(Op::Comment, 300)}, ArchiveState::Failure, L"注释：未知错误 (300)"},
      {{Exited(Op::Lock, 255)}, ArchiveState::Failure, L"锁定：用户中止 (255)"},
      {{Exited(Op::Delete, 0), NotRun(Op::Add)}, ArchiveState::Stopped, L""},
      {{Exited(Op::Delete, 6), NotRun(Op::Lock)}, ArchiveState::Stopped, L"删除：打开文件错误 (6)"},
      {{NotRun(Op::Delete), NotRun(Op::Lock)}, ArchiveState::Stopped, L""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const ArchiveSummary s = SummarizeCalls(cases[i].calls);
    EXPECT_EQ(s.State, cases[i].state) << "case " << i;
    EXPECT_EQ(s.Detail, cases[i].detail) << "case " << i;
  }
  EXPECT_TRUE(CallCompleted(Exited(Op::Add, 1)));
  EXPECT_FALSE(CallCompleted(Exited(Op::Add, 2)));
  EXPECT_FALSE(CallCompleted(startFailed));
  EXPECT_FALSE(CallCompleted(NotRun(Op::Add)));
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
