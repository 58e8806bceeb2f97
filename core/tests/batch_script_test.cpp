// The exact text of composed scripts: line forms, order, line ends, and the escaping of characters
// that the command interpreter would act on.
#include "core/batch_script.h"

#include <gtest/gtest.h>

namespace rarbatch {
namespace {

BatchJob TwoArchiveJob() {
  BatchJob job;
  job.RarPath = L"C:\\Tools\\Rar.exe";
  job.Archives = {L"D:\\pack\\one.rar", L"D:\\pack\\two.rar"};
  job.DeleteNames = {L"readme.txt"};
  job.AddFiles = {L"D:\\new\\a.txt"};
  job.CommentFile = L"D:\\c.txt";
  job.Lock = true;
  return job;
}

TEST(ComposeBatchScript, WorkedExampleByteForByte) {
  EXPECT_EQ(ComposeBatchScript(TwoArchiveJob()),
            L"\"C:\\Tools\\Rar.exe\" d \"D:\\pack\\one.rar\" readme.txt\r\n"
            L"\"C:\\Tools\\Rar.exe\" a \"D:\\pack\\one.rar\" \"D:\\new\\a.txt\"\r\n"
            L"\"C:\\Tools\\Rar.exe\" c -z\"D:\\c.txt\" \"D:\\pack\\one.rar\"\r\n"
            L"\"C:\\Tools\\Rar.exe\" k \"D:\\pack\\one.rar\"\r\n"
            L"\"C:\\Tools\\Rar.exe\" d \"D:\\pack\\two.rar\" readme.txt\r\n"
            L"\"C:\\Tools\\Rar.exe\" a \"D:\\pack\\two.rar\" \"D:\\new\\a.txt\"\r\n"
            L"\"C:\\Tools\\Rar.exe\" c -z\"D:\\c.txt\" \"D:\\pack\\two.rar\"\r\n"
            L"\"C:\\Tools\\Rar.exe\" k \"D:\\pack\\two.rar\"\r\n");
}

TEST(ComposeBatchScript, EmptyWhenNothingToDo) {
  BatchJob job = TwoArchiveJob();
  job.Archives.clear();
  EXPECT_EQ(ComposeBatchScript(job), L"") << "no archives, whatever the rest holds";

  BatchJob idle;
  idle.RarPath = L"r.exe";
  idle.Archives = {L"a.rar", L"b.rar"};
  idle.Password = L"unused";
  EXPECT_EQ(ComposeBatchScript(idle), L"") << "archives but no operation";
}

TEST(ComposeBatchScript, OperationsInFixedOrderAndDuplicatesKept) {
  BatchJob job;
  job.RarPath = L"r";
  job.Archives = {L"x", L"x"};
  job.DeleteNames = {L"n1", L"n1"};
  job.AddFiles = {L"f"};
  job.CommentFile = L"c";
  job.Lock = true;
  const std::wstring group =
      L"\"r\" d \"x\" n1\r\n\"r\" d \"x\" n1\r\n\"r\" a \"x\" \"f\"\r\n\"r\" c -z\"c\" \"x\"\r\n"
      L"\"r\" k \"x\"\r\n";
  EXPECT_EQ(ComposeBatchScript(job), group + group);
}

TEST(ComposeBatchScript, CommentAndLockOnly) {
  BatchJob job;
  job.RarPath = L"r";
  job.Archives = {L"a", L"b"};
  job.Lock = true;
  EXPECT_EQ(ComposeBatchScript(job), L"\"r\" k \"a\"\r\n\"r\" k \"b\"\r\n");
  job.CommentFile = L"c.txt";
  EXPECT_EQ(ComposeBatchScript(job),
            L"\"r\" c -z\"c.txt\" \"a\"\r\n\"r\" k \"a\"\r\n\"r\" c -z\"c.txt\" \"b\"\r\n"
            L"\"r\" k \"b\"\r\n");
}

TEST(ComposeBatchScript, PasswordSwitchOnAddLinesOnly) {
  BatchJob job = TwoArchiveJob();
  job.Archives.resize(1);
  job.Password = L"secret";
  EXPECT_EQ(ComposeBatchScript(job).find(L"secret"), std::wstring::npos) << "option off";

  job.UsePassword = true;
  const std::wstring text = ComposeBatchScript(job);
  EXPECT_NE(text.find(L"\"C:\\Tools\\Rar.exe\" a -psecret \"D:\\pack\\one.rar\" \"D:\\new\\a.txt\"\r\n"),
            std::wstring::npos);
  EXPECT_EQ(text.find(L"-p"), text.rfind(L"-p")) << "only the add line carries it";

  job.Password.clear();
  EXPECT_NE(ComposeBatchScript(job).find(L" a -p \"D:"), std::wstring::npos) << "empty password";
}

struct EscapeCase {
  const wchar_t* what;
  BatchJob job;
  const wchar_t* expected;
};

BatchJob Job(std::wstring archive, std::vector<std::wstring> names, std::vector<std::wstring> files,
             std::wstring password = L"", bool usePassword = false) {
  BatchJob job;
  job.RarPath = L"C:\\R\\Rar.exe";
  job.Archives = {std::move(archive)};
  job.DeleteNames = std::move(names);
  job.AddFiles = std::move(files);
  job.UsePassword = usePassword;
  job.Password = std::move(password);
  return job;
}

TEST(ComposeBatchScript, EscapesWhatTheInterpreterWouldChange) {
  const EscapeCase cases[] = {
      {L"percent in a quoted archive", Job(L"D:\\100%\\a.rar", {}, {L"f"}),
       L"\"C:\\R\\Rar.exe\" a \"D:\\100%%\\a.rar\" \"f\"\r\n"},
      {L"operators in an unquoted name", Job(L"a", {L"R&D.txt", L"a|b<c>d^e"}, {}),
       L"\"C:\\R\\Rar.exe\" d \"a\" R^&D.txt\r\n\"C:\\R\\Rar.exe\" d \"a\" a^|b^<c^>d^^e\r\n"},
      {L"operators inside typed quotes stay", Job(L"a", {L"\"R&D 1.txt\" x&y"}, {}),
       L"\"C:\\R\\Rar.exe\" d \"a\" \"R&D 1.txt\" x^&y\r\n"},
      {L"percent in a name, quoted or not", Job(L"a", {L"50% \"1%\""}, {}),
       L"\"C:\\R\\Rar.exe\" d \"a\" 50%% \"1%%\"\r\n"},
      {L"operators in quoted paths stay", Job(L"D:\\a&b\\x^y.rar", {}, {L"E:\\<f>|g"}),
       L"\"C:\\R\\Rar.exe\" a \"D:\\a&b\\x^y.rar\" \"E:\\<f>|g\"\r\n"},
      {L"backslashes before a closing quote are written as they are",
       Job(L"D:\\a\\", {L"\"dir\\\" x.txt"}, {L"E:\\f\\\\"}),
       L"\"C:\\R\\Rar.exe\" d \"D:\\a\\\" \"dir\\\" x.txt\r\n"
       L"\"C:\\R\\Rar.exe\" a \"D:\\a\\\" \"E:\\f\\\\\"\r\n"},
      {L"password with a space is one argument", Job(L"a", {}, {L"f"}, L"two words", true),
       L"\"C:\\R\\Rar.exe\" a \"-ptwo words\" \"a\" \"f\"\r\n"},
      {L"password with operators and percent", Job(L"a", {}, {L"f"}, L"p&%x^(1)", true),
       L"\"C:\\R\\Rar.exe\" a \"-pp&%%x^(1)\" \"a\" \"f\"\r\n"},
      {L"password ending in a backslash", Job(L"a", {}, {L"f"}, L"my pass\\", true),
       L"\"C:\\R\\Rar.exe\" a \"-pmy pass\\\" \"a\" \"f\"\r\n"},
      {L"double quotes in a password are doubled", Job(L"a", {}, {L"f"}, L"a\"b&\"%", true),
       L"\"C:\\R\\Rar.exe\" a \"-pa\"\"b&\"\"%%\" \"a\" \"f\"\r\n"},
      {L"plain password with backslash unchanged", Job(L"a", {}, {L"f"}, L"x\\y!", true),
       L"\"C:\\R\\Rar.exe\" a -px\\y! \"a\" \"f\"\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComposeBatchScript(c.job), c.expected) << c.what;
  }
}

TEST(ComposeBatchScript, PercentInArchiverAndCommentPaths) {
  BatchJob job = Job(L"a", {}, {});
  job.RarPath = L"C:\\%PATH%\\Rar.exe";
  job.CommentFile = L"D:\\%1.txt";
  EXPECT_EQ(ComposeBatchScript(job), L"\"C:\\%%PATH%%\\Rar.exe\" c -z\"D:\\%%1.txt\" \"a\"\r\n");
}

TEST(FindOverlongLine, NamesTheFirstLineTheInterpreterWouldCut) {
  // "r" d "<archive>" <name>: 3 + 4 + archive + 2 + name characters.
  BatchJob job = Job(L"a", {L"n", std::wstring(kMaxScriptLineLength - 10, L'x')}, {L"f"});
  job.RarPath = L"r";
  EXPECT_EQ(FindOverlongLine(job), std::nullopt) << "exactly at the limit";
  job.Archives = {L"a", L"ab"};
  const auto line = FindOverlongLine(job);
  ASSERT_NE(line, std::nullopt);
  EXPECT_EQ(line->Archive, 1u);
  EXPECT_EQ(line->Operation, ScriptOperation::Delete);
  EXPECT_EQ(line->Item, 1u);
  EXPECT_EQ(line->Length, kMaxScriptLineLength + 1);

  // Escaping counts: each '%' of the file becomes two characters in the script.
  BatchJob add = Job(L"a", {}, {L"f", std::wstring(kMaxScriptLineLength / 2, L'%')});
  ASSERT_NE(FindOverlongLine(add), std::nullopt);
  EXPECT_EQ(FindOverlongLine(add)->Operation, ScriptOperation::Add);
  BatchJob lock = Job(std::wstring(kMaxScriptLineLength, L'a'), {}, {});
  lock.Lock = true;
  ASSERT_NE(FindOverlongLine(lock), std::nullopt);
  EXPECT_EQ(FindOverlongLine(lock)->Operation, ScriptOperation::Lock);
}

}  // namespace
}  // namespace rarbatch
