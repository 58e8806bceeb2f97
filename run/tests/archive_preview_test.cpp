// The preview against the real archiver (the host's rar through rar_bridge): for every archive of a
// small corpus, the deletions the preview predicts are exactly the entries the real run takes away.
#include "run/archive_preview.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "run/archiver_process.h"
#include "run/job_runner.h"
#include "run/tests/real_archiver.h"
#include "win/file_hash.h"
#include "tools/test_support.h"

namespace rarbatch {
namespace {

std::string Utf8(const std::wstring& text) {
  std::string bytes(text.size() * 4 + 1, '\0');
  bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                   static_cast<int>(bytes.size()), nullptr, nullptr));
  return bytes;
}

using Archiver = testing::RealArchiver;

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// The names with '\' between folders: the host's archiver lists them with '/', the one on Windows
// with '\'.
std::vector<std::wstring> WindowsSorted(std::vector<std::wstring> names) {
  for (std::wstring& name : names) std::replace(name.begin(), name.end(), L'/', L'\\');
  return Sorted(std::move(names));
}

std::vector<std::wstring> Missing(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after) {
  std::vector<std::wstring> gone;
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone));
  return gone;
}

TEST(PreviewOnTheRealArchiver, PredictedDeletionsAreWhatTheRunTakes) {
  if (!Archiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const Archiver rar(d);
  const auto write = [&](const std::wstring& name) { ASSERT_TRUE(testing::WriteFileBytes(d + name, "text")); };
  for (const wchar_t* folder : {L"n", L"n\\Docs", L"n\\Docs\\sub", L"n\\Pics", L"flat", L"bak", L"add"}) {
    ASSERT_TRUE(CreateDirectoryW((d + folder).c_str(), nullptr));
  }
  // Nested folders, mixed case, names with and without a dot. The host's archiver compares letter
  // case, the one on Windows does not; the names below take the same entries either way.
  for (const wchar_t* name : {L"n\\Docs\\ReadMe.TXT", L"n\\Docs\\old.bak", L"n\\Docs\\sub\\deep.bak",
                              L"n\\Docs\\NoDot", L"n\\x.bak", L"n\\keep.txt", L"n\\NoDot", L"n\\Pics\\a.jpg",
                              L"n\\Pics\\b.Png", L"flat\\keep.txt", L"flat\\y.bak", L"flat\\notes", L"bak\\x.bak",
                              L"bak\\y.bak", L"add\\keep.txt"}) {
    write(name);
  }
  std::string noise(200000, '\0');
  unsigned state = 7;
  for (auto& c : noise) state = state * 1103515245u + 12345u, c = static_cast<char>(state >> 23);
  ASSERT_TRUE(testing::WriteFileBytes(d + L"big.bin", noise));
  const auto make = [&](const std::wstring& arguments) { ASSERT_EQ(rar.Run(arguments), 0u) << Utf8(arguments); };
  const std::wstring q = L"\"" + d;
  make(L"a -idq -r -ep1 " + q + L"nested.rar\" " + q + L"n\\*\"");
  make(L"a -idq -r -ep1 " + q + L"flat.rar\" " + q + L"flat\\*\"");
  make(L"a -idq -r -ep1 " + q + L"empties.rar\" " + q + L"bak\\*\"");
  make(L"a -idq -r -ep1 " + q + L"locked.rar\" " + q + L"flat\\*\"");
  make(L"k -idq " + q + L"locked.rar\"");
  make(L"a -idq -ep1 -m0 -v100k " + q + L"volume.rar\" " + q + L"big.bin\" " + q + L"flat\\y.bak\"");
  make(L"a -idq -r -ep1 -hpsecret " + q + L"hidden.rar\" " + q + L"flat\\*\"");
  make(L"a -idq -r -ep1 -rr5% " + q + L"recovery.rar\" " + q + L"flat\\*\" " + q + L"big.bin\"");
  ASSERT_TRUE(testing::WriteFileBytes(d + L"text.rar", "not an archive"));
  // Identical files stored as a file and a reference to it (-oi, the later one the reference): in
  // refs.rar the deletions would take the target t.bak and keep its reference kept.dat; in
  // refsafe.rar they take the reference r.bak alone.
  for (const wchar_t* name : {L"t.bak", L"kept.dat", L"t2.dat", L"r.bak"}) {
    ASSERT_TRUE(testing::WriteFileBytes(d + name, noise));
  }
  make(L"a -idq -ep1 -oi " + q + L"refs.rar\" " + q + L"t.bak\" " + q + L"kept.dat\" " + q + L"flat\\notes\"");
  make(L"a -idq -ep1 -oi " + q + L"refsafe.rar\" " + q + L"t2.dat\" " + q + L"r.bak\"");

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {d + L"nested.rar", d + L"flat.rar", d + L"empties.rar", d + L"locked.rar",
                  d + L"volume.part1.rar", d + L"hidden.rar", d + L"text.rar", d + L"refs.rar", d + L"refsafe.rar",
                  d + L"recovery.rar"};
  job.DeleteNames = {L"*.bak", L"NoDot", L"Pics/*.jpg"};
  job.AddFiles = {d + L"add\\keep.txt"};

  JobPreviewer previewer(job, 2, {});
  previewer.Start();
  previewer.Wait();
  std::printf("preview of %zu archives: %llu ms\n", job.Archives.size(), previewer.ElapsedMs());
  const std::vector<ArchivePreview> previews = previewer.Results();
  ASSERT_EQ(previews.size(), job.Archives.size());
  std::vector<std::vector<std::wstring>> before;
  for (const auto& archive : job.Archives) {
    before.push_back(archive.ends_with(L"hidden.rar") || archive.ends_with(L"text.rar") ? std::vector<std::wstring>{}
                                                                                          : rar.Entries(archive));
  }

  // What the preview says, before anything runs.
  EXPECT_EQ(Sorted(previews[0].Removed),
            (std::vector<std::wstring>{L"Docs/old.bak", L"Docs/sub/deep.bak", L"NoDot", L"Pics/a.jpg", L"x.bak"}));
  EXPECT_EQ(previews[0].Replaced, (std::vector<std::wstring>{L"keep.txt"}));
  EXPECT_TRUE(previews[2].Emptied);
  EXPECT_FALSE(previews[0].Emptied);
  EXPECT_EQ(previews[3].Refusal, L"已锁定");
  EXPECT_EQ(previews[4].State, L"分卷压缩包");
  EXPECT_FALSE(previews[4].Refusal.empty());
  EXPECT_FALSE(previews[5].Listed);
  EXPECT_EQ(previews[6].Refusal, L"不是 RAR 压缩包");
  EXPECT_EQ(previews[7].Refusal, L"删除会使文件引用无法解压：kept.dat → t.bak");
  EXPECT_TRUE(PreviewInRed(previews[7]));
  EXPECT_EQ(previews[8].Removed, (std::vector<std::wstring>{L"r.bak"}));
  EXPECT_TRUE(previews[8].Refusal.empty()) << Utf8(previews[8].Refusal);
  EXPECT_FALSE(PreviewInRed(previews[8]));
  // The record's size and the percent that keeps it; the row says the run keeps it, the script not.
  EXPECT_TRUE(previews[9].RecoveryRecord);
  EXPECT_GE(previews[9].RecoverySize, 10000u);
  EXPECT_GT(previews[9].RecoveryPercent, 5u);
  EXPECT_NE(DescribePreview(job, previews[9]).Words.find(L"本程序运行时保留"), std::wstring::npos);
  EXPECT_NE(DescribePreview(job, previews[9]).Words.find(L"批处理脚本会丢掉它"), std::wstring::npos);
  EXPECT_FALSE(previews[1].RecoveryRecord);
  for (std::size_t i = 0; i < previews.size(); ++i) {
    EXPECT_EQ(previewer.Result(i).Entries.size(), previews[i].Listed ? before[i].size() : 0u) << i;
  }

  JobRunner runner(job, 2, {});
  ASSERT_TRUE(runner.Start());
  runner.Wait();

  for (std::size_t i = 0; i < job.Archives.size(); ++i) {
    const ArchivePreview& preview = previews[i];
    if (!preview.Listed) continue;  // encrypted names and not an archive: nothing to list either time
    const std::vector<std::wstring> after = rar.Entries(job.Archives[i]);
    // A refused archive is predicted to lose nothing, and the run leaves it as it was.
    const std::vector<std::wstring> predicted = preview.Refusal.empty() ? Sorted(preview.Removed) : std::vector<std::wstring>{};
    EXPECT_EQ(Missing(before[i], after), predicted) << Utf8(job.Archives[i]);
    for (const auto& replaced : preview.Replaced) {
      EXPECT_TRUE(std::binary_search(after.begin(), after.end(), replaced)) << Utf8(replaced);
    }
    const ArchiveResult result = runner.Result(i);
    const bool emptied = !result.Calls.empty() && result.Calls[0].Emptied;
    EXPECT_EQ(emptied, preview.Emptied && preview.Refusal.empty()) << Utf8(job.Archives[i]);
  }
  EXPECT_EQ(runner.Result(9).Detail, L"恢复记录已保留");
  std::wstring listing;
  rar.Run(L"lt " + q + L"recovery.rar\"", &listing);
  EXPECT_NE(listing.find(L"recovery record"), std::wstring::npos) << Utf8(listing);
}

// What a change would cost and what it keeps: a solid archive says that its delete recompresses it,
// a read-only, hidden one that the run keeps those and the script does not, and the summary gives
// the bytes the run rewrites.
TEST(PreviewOnTheRealArchiver, SolidAndReadOnlyArchivesSayWhatAChangeCostsAndKeeps) {
  if (!Archiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const Archiver rar(d);
  for (const wchar_t* name : {L"a.bak", L"b.txt", L"c.txt"}) ASSERT_TRUE(testing::WriteFileBytes(d + name, "text text"));
  const std::wstring files = L" \"" + d + L"a.bak\" \"" + d + L"b.txt\" \"" + d + L"c.txt\"";
  ASSERT_EQ(rar.Run(L"a -idq -ep1 -s \"" + d + L"solid.rar\"" + files), 0u);
  ASSERT_EQ(rar.Run(L"a -idq -ep1 \"" + d + L"marked.rar\"" + files), 0u);
  ASSERT_TRUE(SetFileAttributesW((d + L"marked.rar").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {d + L"solid.rar", d + L"marked.rar"};
  job.DeleteNames = {L"*.bak"};
  JobPreviewer previewer(job, 1, {});
  previewer.Start();
  previewer.Wait();
  const std::vector<ArchivePreview> previews = previewer.Results();
  SetFileAttributesW((d + L"marked.rar").c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_EQ(previews.size(), 2u);
  EXPECT_TRUE(previews[0].Solid);
  EXPECT_NE(DescribePreview(job, previews[0]).Words.find(L"固实压缩包：删除时要重新压缩整个压缩包"), std::wstring::npos);
  EXPECT_FALSE(previews[1].Solid);
  EXPECT_NE(DescribePreview(job, previews[1]).Words.find(L"只读、隐藏：在本窗口中运行时保留，批处理文件不保留"),
            std::wstring::npos);
  const std::wstring summary = FormatPreviewSummary(job, previews, previewer.Cost());
  EXPECT_NE(summary.find(L" KB（每个压缩包最多 1 次），同时需要可用空间约 "), std::wstring::npos) << summary.size();
}

// A job with samples: one technical listing per archive, its candidates unpacked and hashed. Entries
// with the sample's bytes go whatever their names, with those the names take; an entry of the same size
// and other bytes stays; encrypted entries are compared only with the job's password.
TEST(PreviewOnTheRealArchiver, EntriesWithASamplesBytesAreTakenWhateverTheirNames) {
  if (!Archiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar (scripts/setup installs it)";
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const Archiver rar(d);
  std::string noise(5000, '\0');
  unsigned state = 11;
  for (auto& c : noise) state = state * 1103515245u + 12345u, c = static_cast<char>(state >> 23);
  std::string other = noise;
  other[100] ^= 1;
  for (const wchar_t* folder : {L"src", L"src\\x", L"src\\y", L"one"}) {
    ASSERT_TRUE(CreateDirectoryW((d + folder).c_str(), nullptr));
  }
  ASSERT_TRUE(testing::WriteFileBytes(d + L"ad.bin", noise));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"src\\x\\ad.bin", noise));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"src\\y\\renamed.dat", noise));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"src\\same size.bin", other));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"src\\old.bak", "text"));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"src\\keep.txt", "text text"));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"one\\only.bin", noise));
  const auto make = [&](const std::wstring& arguments) { ASSERT_EQ(rar.Run(arguments), 0u) << Utf8(arguments); };
  make(L"a -idq -r -ep1 \"" + d + L"plain.rar\" \"" + d + L"src\\*\"");
  make(L"a -idq -r -ep1 \"" + d + L"emptied.rar\" \"" + d + L"one\\*\"");
  make(L"a -idq -ep1 -psecret \"" + d + L"locked in.rar\" \"" + d + L"ad.bin\" \"" + d + L"src\\keep.txt\"");
  make(L"a -idq -ep1 -hpsecret \"" + d + L"names hidden.rar\" \"" + d + L"ad.bin\" \"" + d + L"src\\keep.txt\"");

  DWORD error = 0;
  const std::optional<ContentSample> sample = SampleOfFile(d + L"ad.bin", &error);
  ASSERT_TRUE(sample) << error;
  BatchJob job;
  job.RarPath = rar.Exe();
  job.Archives = {d + L"plain.rar", d + L"emptied.rar", d + L"locked in.rar", d + L"names hidden.rar"};
  job.DeleteNames = {L"*.bak"};
  job.Samples = {*sample};
  const auto preview = [](const BatchJob& previewed) {
    JobPreviewer previewer(previewed, 2, {});
    previewer.Start();
    previewer.Wait();
    return previewer.Results();
  };
  std::vector<ArchivePreview> previews = preview(job);
  ASSERT_EQ(previews.size(), 4u);
  const ArchivePreview& plain = previews[0];
  ASSERT_TRUE(plain.Listed) << Utf8(plain.ListProblem);
  EXPECT_EQ(WindowsSorted(plain.Removed), (std::vector<std::wstring>{L"old.bak", L"x\\ad.bin", L"y\\renamed.dat"}));
  EXPECT_EQ(plain.Content.ByName, (std::vector<std::wstring>{L"old.bak"}));
  EXPECT_EQ(WindowsSorted(ContentEntries(plain.Content)), (std::vector<std::wstring>{L"x\\ad.bin", L"y\\renamed.dat"}));
  EXPECT_NE(DescribePreview(job, plain).Words.find(L"按内容删除（ad.bin）："), std::wstring::npos)
      << Utf8(DescribePreview(job, plain).Words);
  EXPECT_EQ(DescribePreview(job, previews[1]).State, L"将被删除");
  EXPECT_EQ(previews[1].Content.Matches, (std::vector<ContentMatch>{{L"only.bin", 0}}));
  EXPECT_TRUE(previews[2].Content.Matches.empty());
  EXPECT_EQ(previews[2].Content.NotCompared, (std::vector<std::wstring>{L"ad.bin"}));
  EXPECT_EQ(DescribePreview(job, previews[2]).Words, L"没有要删除的文件；无法比较：需要密码：ad.bin");
  EXPECT_FALSE(previews[3].Listed);
  EXPECT_EQ(previews[3].ListProblem, L"文件名已加密，没有密码无法列出其中的文件");
  const std::wstring summary = FormatPreviewSummary(job, previews);
  EXPECT_NE(summary.find(L"共删除 4 项（其中按内容删除 3 个文件）"), std::wstring::npos) << Utf8(summary);

  // With the job's password, as the window gives it, the encrypted entry is unpacked and compared.
  job.UsePassword = true;
  job.Password = L"secret";
  previews = preview(job);
  EXPECT_EQ(previews[2].Content.Matches, (std::vector<ContentMatch>{{L"ad.bin", 0}})) << Utf8(previews[2].ListProblem);
  EXPECT_EQ(previews[2].Removed, (std::vector<std::wstring>{L"ad.bin"}));
  // Encrypted names are listed with it too, as the run opens them.
  ASSERT_TRUE(previews[3].Listed) << Utf8(previews[3].ListProblem);
  EXPECT_EQ(previews[3].Content.Matches, (std::vector<ContentMatch>{{L"ad.bin", 0}}));
  EXPECT_EQ(previews[3].Removed, (std::vector<std::wstring>{L"ad.bin"}));
  // A wrong password: the archiver gives no bytes, and the row says the entry could not be read.
  job.Password = L"wrong";
  previews = preview(job);
  EXPECT_TRUE(previews[2].Content.Matches.empty());
  EXPECT_EQ(previews[2].Content.Unreadable, (std::vector<std::wstring>{L"ad.bin"}));
  EXPECT_EQ(DescribePreview(job, previews[2]).State, L"不变");
  EXPECT_FALSE(previews[3].Listed);
  EXPECT_NE(previews[3].ListProblem, L"") << "a wrong password lists nothing";

  // Without samples, a job that adds under the password opens encrypted names in the run, and the
  // preview's bare listing takes the password too.
  BatchJob byName = job;
  byName.Samples.clear();
  byName.Password = L"secret";
  byName.AddFiles = {d + L"src\\keep.txt"};
  previews = preview(byName);
  ASSERT_TRUE(previews[3].Listed) << Utf8(previews[3].ListProblem);
  EXPECT_EQ(Sorted(previews[3].Entries), (std::vector<std::wstring>{L"ad.bin", L"keep.txt"}));
}

// A figure, not a check: how long a preview of 100 archives takes with 1 and 2 workers. Run it with
// --gtest_also_run_disabled_tests.
TEST(PreviewOnTheRealArchiver, DISABLED_HowLongAPreviewTakes) {
  if (!Archiver::Installed()) GTEST_SKIP() << "the host has no /usr/bin/rar";
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  const Archiver rar(d);
  ASSERT_TRUE(CreateDirectoryW((d + L"n").c_str(), nullptr));
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(testing::WriteFileBytes(d + L"n\\f" + std::to_wstring(i) + L".txt", "x"));
  ASSERT_EQ(rar.Run(L"a -idq -ep1 \"" + d + L"0.rar\" \"" + d + L"n\\*\""), 0u);
  BatchJob job;
  job.RarPath = rar.Exe();
  job.DeleteNames = {L"*.bak"};
  for (int i = 0; i < 100; ++i) {
    const std::wstring path = d + std::to_wstring(i) + L".rar";
    if (i > 0) {
      ASSERT_TRUE(CopyFileW((d + L"0.rar").c_str(), path.c_str(), FALSE));
    }
    job.Archives.push_back(path);
  }
  for (unsigned workers : {1u, 2u}) {
    JobPreviewer previewer(job, workers, {});
    previewer.Start();
    previewer.Wait();
    std::printf("preview of 100 archives of 50 entries, %u worker(s): %llu ms\n", workers, previewer.ElapsedMs());
  }
}

// A preview worker never lets an exception end the program: what throws costs that archive, and
// the preview goes on to its end. An archiver that gives no version is said to be the wrong program.
TEST(Preview, AWorkersExceptionDoesNotEndTheProgramAndAWrongArchiverIsNamed) {
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  BatchJob job;
  job.RarPath = testing::InstallFakeRar(d);
  for (const wchar_t* name : {L"a.rar", L"b.rar", L"c.rar"}) {
    testing::FakeArchive fake;
    fake.Entries = {{L"ad.url", L""}};
    ASSERT_TRUE(testing::WriteFakeArchive(d + name, fake));
    job.Archives.push_back(d + name);
  }
  job.DeleteNames = {L"ad.url"};
  {
    PreviewEvents events;
    events.ArchiveDone = [](std::size_t) { throw std::runtime_error("the window went away"); };
    JobPreviewer previewer(job, 2, events);
    previewer.Start();
    previewer.Wait();
    for (std::size_t i = 0; i < job.Archives.size(); ++i) {
      EXPECT_TRUE(previewer.IsDone(i));
      EXPECT_TRUE(previewer.Result(i).Listed) << previewer.Result(i).ListProblem;
    }
  }
  SetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_BANNER", L"none");
  JobPreviewer previewer(job, 2, {});
  previewer.Start();
  previewer.Wait();
  SetEnvironmentVariableW(L"RARBATCH_FAKE_RAR_BANNER", nullptr);
  for (std::size_t i = 0; i < job.Archives.size(); ++i) {
    const ArchivePreview p = previewer.Result(i);
    EXPECT_FALSE(p.Listed);
    EXPECT_NE(p.ListProblem.find(L"请在第一栏选择命令行压缩程序 Rar.exe"), std::wstring::npos) << p.ListProblem;
  }
}

// A folder to add is walked however it is spelled: relative to the current folder, with '/', or with
// a trailing separator; every path below it lands under the folder's own name.
TEST(Preview, AFolderToAddIsWalkedHoweverItIsSpelled) {
  testing::ScratchFolder dir;
  const std::wstring d = dir.Path();
  ASSERT_TRUE(testing::MakeFolder(d + L"素材"));
  ASSERT_TRUE(testing::MakeFolder(d + L"素材\\子"));
  ASSERT_TRUE(testing::WriteFileBytes(d + L"素材\\子\\x.txt", "x"));
  const std::vector<std::wstring> want = {L"素材", L"素材\\子", L"素材\\子\\x.txt"};
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(d.c_str()));
  std::wstring slashed = d + L"素材/";
  for (wchar_t& c : slashed) c = c == L'\\' ? L'/' : c;
  for (const std::wstring& spelling : {d + L"素材", d + L"素材\\", std::wstring(L"素材"), std::wstring(L".\\素材\\"), slashed}) {
    BatchJob job;
    job.AddFiles = {spelling};
    EXPECT_EQ(Sorted(StoredPathsOfAdds(job)), want) << ::testing::PrintToString(spelling);
  }
  SetCurrentDirectoryW(previous);
}

}  // namespace
}  // namespace rarbatch
