// The results window's texts: the progress line's clock, the report's form, and a call's detail.
#include "core/run_report.h"

#include <gtest/gtest.h>

namespace rarbatch {
namespace {

TEST(FormatProgressLine, CountsAndAClockThatGrowsHours) {
  EXPECT_EQ(FormatProgressLine(37, 120, 33, 2, 2, 12), L"已完成 37 / 120，成功 33，警告 2，失败 2，用时 0:12");
  EXPECT_EQ(FormatProgressLine(0, 1, 0, 0, 0, 0), L"已完成 0 / 1，成功 0，警告 0，失败 0，用时 0:00");
  EXPECT_EQ(FormatProgressLine(1, 1, 1, 0, 0, 3 * 3600 + 5 * 60 + 9), L"已完成 1 / 1，成功 1，警告 0，失败 0，用时 3:05:09");
}

TEST(FormatReport, HeaderThenOneTabSeparatedLinePerArchive) {
  EXPECT_EQ(FormatReport({{L"D:\\a.rar", L"成功", L""}, {L"D:\\b c.rar", L"失败", L"锁定：压缩包已被锁定 (4)"}}),
            L"压缩包\t状态\t说明\r\nD:\\a.rar\t成功\t\r\nD:\\b c.rar\t失败\t锁定：压缩包已被锁定 (4)\r\n");
}

CallResult Call(ScriptOperation op, std::wstring line, CallOutcome outcome, std::uint32_t code,
                std::wstring output, std::wstring note = {}) {
  CallResult call;
  call.Operation = op;
  call.CommandLine = std::move(line);
  call.Outcome = outcome;
  call.ExitCode = code;
  call.Output = std::move(output);
  call.Note = std::move(note);
  return call;
}

TEST(FormatCallDetails, EachCallWithItsExitCodeNoteAndOutputInCrLfLines) {
  const std::vector<CallResult> calls = {
      Call(ScriptOperation::Delete, L"\"r\" d \"a\" x", CallOutcome::Exited, 10, L"No files\nto delete"),
      Call(ScriptOperation::Add, L"\"r\" a -p \"a\" \"f\"", CallOutcome::StartFailed, 0, L"错误 2：…", L"密码经标准输入传给压缩程序"),
      Call(ScriptOperation::Comment, L"\"r\" c \"a\"", CallOutcome::Killed, 1, L""),
      Call(ScriptOperation::Lock, L"\"r\" k \"a\"", CallOutcome::Skipped, 0, L""),
      Call(ScriptOperation::Lock, L"\"r\" k \"a\"", CallOutcome::NotRun, 0, L"")};
  EXPECT_EQ(FormatCallDetails(L"a", L"已停止", L"", calls),
            L"压缩包：a\r\n状态：已停止\r\n"
            L"\r\n> \"r\" d \"a\" x\r\n删除：退出代码 10（没有匹配的文件）\r\nNo files\r\nto delete\r\n"
            L"\r\n> \"r\" a -p \"a\" \"f\"\r\n添加：无法启动压缩程序\r\n（密码经标准输入传给压缩程序）\r\n错误 2：…\r\n"
            L"\r\n> \"r\" c \"a\"\r\n注释：已中止\r\n"
            L"\r\n> \"r\" k \"a\"\r\n锁定：未运行（前面的步骤失败）\r\n"
            L"\r\n> \"r\" k \"a\"\r\n锁定：未运行\r\n");
  EXPECT_EQ(FormatCallDetails(L"b", L"失败", L"已锁定", {}),
            L"压缩包：b\r\n状态：失败\r\n说明：已锁定\r\n\r\n没有调用压缩程序。\r\n");
}

}  // namespace
}  // namespace rarbatch
