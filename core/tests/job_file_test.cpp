// Job files: hostile jobs come back exactly as saved, and damaged or foreign files are refused with a
// reason.
#include "core/job_file.h"

#include <gtest/gtest.h>

#include <random>

#include "core/utf8.h"

namespace rarbatch {
namespace {

SavedJob Hostile() {
  SavedJob saved;
  BatchJob& job = saved.Job;
  job.RarPath = L"C:\\Program Files\\工具 \"x\"\\Rar.exe";
  job.Archives = {L"D:\\归档\\100% & <a|b> ^x.rar", L"\\\\server\\share\\ภาษาไทย.rar",
                  L"E:\\😀 emoji\\trail .rar ", L"C:\\a\\\\b\\\"q\".rar", L"tab\there", std::wstring(L"nul\0in", 6)};
  job.DeleteNames = {L"*.bak", L"docs\\readme.txt", L"  ", L"%PATH%"};
  job.AddFiles = {};
  job.CommentFile = L"C:\\说明 %TEMP% & \\注释.txt";
  job.Lock = true;
  job.UsePassword = true;
  job.Password = L"secret\"pw";
  saved.RunInWindow = true;
  job.Backup = job.TestBeforeLock = true;
  saved.BackupParent = L"E:\\备份 & 100%";
  saved.RunOptions = R"({"workers":3,"later":{"x":[1,2]}})";
  return saved;
}

void ExpectSameJob(const SavedJob& a, const SavedJob& b) {
  EXPECT_EQ(a.Job.RarPath, b.Job.RarPath);
  EXPECT_EQ(a.Job.Archives, b.Job.Archives);
  EXPECT_EQ(a.Job.DeleteNames, b.Job.DeleteNames);
  EXPECT_EQ(a.Job.AddFiles, b.Job.AddFiles);
  EXPECT_EQ(a.Job.CommentFile, b.Job.CommentFile);
  EXPECT_EQ(a.Job.Lock, b.Job.Lock);
  EXPECT_EQ(a.Job.UsePassword, b.Job.UsePassword);
  EXPECT_EQ(a.RunInWindow, b.RunInWindow);
  EXPECT_EQ(a.Job.Backup, b.Job.Backup);
  EXPECT_EQ(a.Job.KeepTimes, b.Job.KeepTimes);
  EXPECT_EQ(a.Job.TestBeforeLock, b.Job.TestBeforeLock);
  EXPECT_EQ(a.BackupParent, b.BackupParent);
}

TEST(JobFile, HostileJobsComeBackAsSavedWithoutThePassword) {
  SavedJob empty;
  SavedJob full = Hostile();
  SavedJob many;
  for (std::size_t i = 0; i < kMaxJobListItems; ++i) many.Job.Archives.push_back(L"D:\\a\\" + std::to_wstring(i) + L".rar");
  for (const SavedJob* saved : {&empty, &full, &many}) {
    const auto bytes = WriteJobFile(*saved);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->find("secret"), std::string::npos);
    const JobFileRead read = ReadJobFile(*bytes);
    ASSERT_TRUE(read.Saved) << ToUtf8(read.Refusal).value_or("");
    ExpectSameJob(*read.Saved, *saved);
    EXPECT_TRUE(read.Saved->Job.Password.empty());
    // Saved again, the file is the same, and the run options a later version added are kept.
    EXPECT_EQ(WriteJobFile(*read.Saved), bytes);
  }
  const auto text = *WriteJobFile(full);
  EXPECT_NE(text.find("\"version\": 1"), std::string::npos);
  EXPECT_NE(text.find("\"workers\": 3"), std::string::npos);
  // The run's three options and its backup folder are named fields of "run".
  for (const char* field : {"\"backup\": true", "\"keep_times\": false", "\"test_before_lock\": true"}) {
    EXPECT_NE(text.find(field), std::string::npos) << field;
  }
  EXPECT_NE(text.find("\"backup_folder\": \"E:\\\\备份 & 100%\""), std::string::npos) << text;
  // A file from before they were kept reads them as off.
  const JobFileRead older = ReadJobFile(R"({"version":1,"archiver":"","archives":[],"delete":[],"add":[],)"
                                        R"("comment_file":"","lock":false,"password":false,"run_in_window":true,"run":{}})");
  ASSERT_TRUE(older.Saved);
  EXPECT_FALSE(older.Saved->Job.Backup || older.Saved->Job.KeepTimes || older.Saved->Job.TestBeforeLock);
  EXPECT_EQ(older.Saved->BackupParent, L"");
  // Written and read again, the options a later version may add stay as they were (found by fuzzing:
  // the named options once went into them too, and grew the file at each save).
  const JobFileRead again = ReadJobFile(*WriteJobFile(*older.Saved));
  ASSERT_TRUE(again.Saved);
  EXPECT_EQ(again.Saved->RunOptions, older.Saved->RunOptions);
  EXPECT_EQ(WriteJobFile(*again.Saved), WriteJobFile(*older.Saved));
  // A BOM, as Notepad writes one, is allowed.
  EXPECT_TRUE(ReadJobFile("\xEF\xBB\xBF" + text).Saved);
}

TEST(JobFile, TextWithoutUtf8FormIsNotWritten) {
  SavedJob saved;
  saved.Job.AddFiles = {L"ok", std::wstring(1, static_cast<wchar_t>(0xD800))};
  std::wstring why;
  EXPECT_FALSE(WriteJobFile(saved, &why));
  EXPECT_NE(why.find(L"要添加的文件"), std::wstring::npos);
}

TEST(JobFile, DamagedAndForeignFilesAreRefusedWithAReason) {
  const std::string good = *WriteJobFile(Hostile());
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  std::string manyItems = R"({"version":1,"archiver":"","comment_file":"","lock":false,"password":false,"run_in_window":false,"delete":[],"add":[],"archives":[)";
  for (std::size_t i = 0; i <= kMaxJobListItems; ++i) manyItems += i ? ",\"a\"" : "\"a\"";
  manyItems += "]}";
  const struct {
    const char* Name;
    std::string Bytes;
    const wchar_t* Reason;  // a part of the refusal
  } cases[] = {
      {"empty", "", L"不是完整的 JSON"},
      {"cut", good.substr(0, good.size() / 2), L"不是完整的 JSON"},
      {"not json", "[rarbatch]\nlast=C:\\x\n", L"不是完整的 JSON"},
      {"array", "[1,2]", L"不是 JSON 对象"},
      {"no version", replaced("\"version\": 1", "\"versio\": 1"), L"version"},
      {"version as text", replaced("\"version\": 1", "\"version\": \"1\""), L"version"},
      {"newer", replaced("\"version\": 1", "\"version\": 2"), L"新版程序"},
      {"version 0", replaced("\"version\": 1", "\"version\": 0"), L"版本号（0）无效"},
      {"archives as text", replaced("\"archives\": [", "\"archives\": \"x\", \"old\": ["), L"archives"},
      {"number in a list", replaced("\"delete\": [", "\"delete\": [5,"), L"delete 的第 1 项"},
      {"lock as number", replaced("\"lock\": true", "\"lock\": 1"), L"lock"},
      {"no password flag", replaced("\"password\": true", "\"pass\": true"), L"password"},
      {"run as list", replaced("\"run\": {", "\"run\": [], \"x\": {"), L"run"},
      {"backup not a flag", replaced("\"backup\": true", "\"backup\": \"yes\""), L"run.backup"},
      {"backup folder not text", replaced("\"backup_folder\": \"", "\"backup_folder\": 1, \"x\": \""), L"run.backup_folder"},
      {"bad utf-8", replaced("归档", "\xE5\xBD"), L"不是完整的 JSON"},
      {"deep", std::string(100000, '['), L"嵌套过深"},
      {"too many", manyItems, L"32767"},
  };
  for (const auto& c : cases) {
    const JobFileRead read = ReadJobFile(c.Bytes);
    EXPECT_FALSE(read.Saved) << c.Name;
    EXPECT_NE(read.Refusal.find(c.Reason), std::wstring::npos) << c.Name << ": " << ToUtf8(read.Refusal).value_or("");
  }
}

TEST(JobFile, GarbageOfAnySizeIsRefusedWithoutACrash) {
  std::mt19937 random(7);
  std::string garbage(100u * 1024 * 1024, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  const JobFileRead huge = ReadJobFile(garbage);
  EXPECT_FALSE(huge.Saved);
  EXPECT_NE(huge.Refusal.find(L"太大"), std::wstring::npos);
  garbage.resize(1024 * 1024);
  const JobFileRead small = ReadJobFile(garbage);
  EXPECT_FALSE(small.Saved);
  EXPECT_FALSE(small.Refusal.empty());
  EXPECT_TRUE(JobFileSizeRefusal(kMaxJobFileBytes + 1));
  EXPECT_FALSE(JobFileSizeRefusal(kMaxJobFileBytes));
}

TEST(JobFile, ExtensionInAnyCase) {
  EXPECT_TRUE(HasJobFileExtension(L"C:\\x\\任务.rbjob"));
  EXPECT_TRUE(HasJobFileExtension(L"a.RBJob"));
  EXPECT_FALSE(HasJobFileExtension(L"a.rbjob.txt"));
  EXPECT_FALSE(HasJobFileExtension(L"rbjob"));
}

TEST(Utf8, StrictBothWays) {
  const std::wstring text = L"a\u00e9\u4e2d\U0001F600";
  EXPECT_EQ(FromUtf8(*ToUtf8(text)), text);
  for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\xB8", "\x80", "\xFF"}) {
    EXPECT_FALSE(FromUtf8(bad)) << ::testing::PrintToString(std::string(bad));
  }
}

}  // namespace
}  // namespace rarbatch
