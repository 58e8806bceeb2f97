// Running a program and measuring it, with the shell standing in for the archiver: the bytes it
// wrote apart from its output, its exit code and input, no terminal, and what became of its archive.
#include "bench/measured_call.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace rarbatch::bench {
namespace {

namespace fs = std::filesystem;

class MeasuredCallTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "measured-call.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    output_ = dir_ / "output.txt";
  }
  void TearDown() override { fs::remove_all(dir_); }

  MeasuredCall Shell(const std::string& script, const std::string* input = nullptr, const fs::path& archive = {}) {
    return RunMeasured({"/bin/sh", "-c", script}, input, output_, archive);
  }
  std::string Output() const {
    std::ifstream in(output_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir_, output_;
};

TEST_F(MeasuredCallTest, BytesWrittenAndOutputApart) {
  const fs::path file = dir_ / "f.bin";
  const MeasuredCall call = Shell("head -c 100000 /dev/zero > '" + file.string() + "'; printf hello");
  EXPECT_EQ(call.ExitCode, 0);
  EXPECT_EQ(call.OutputBytes, 5u);
  EXPECT_EQ(call.Io.Wchar - call.OutputBytes, 100000u) << "the reaped child's writes count too";
  EXPECT_EQ(call.BlockBytes, call.Io.WriteBytes) << "the zombie's counters are its final ones";
  EXPECT_GT(call.Seconds, 0.0);
}

TEST_F(MeasuredCallTest, ExitCodeAndStandardInput) {
  const std::string password = "two words\n";
  EXPECT_EQ(Shell("cat; exit 3", &password).ExitCode, 3);
  EXPECT_EQ(Output(), password);
  EXPECT_EQ(Shell("cat").ExitCode, 0);
  EXPECT_EQ(Output(), "") << "standard input is /dev/null";
  EXPECT_EQ(Shell("kill -9 $$").ExitCode, 128 + 9);
  EXPECT_EQ(RunMeasured({"/nonexistent/program"}, nullptr, output_).ExitCode, 127);
  EXPECT_THROW(RunMeasured({}, nullptr, output_), std::runtime_error);
}

TEST_F(MeasuredCallTest, NoTerminalToPromptOn) {
  EXPECT_NE(Shell(": < /dev/tty").ExitCode, 0);
}

TEST_F(MeasuredCallTest, WhatBecameOfTheArchive) {
  const fs::path archive = dir_ / "a.rar";
  std::ofstream(archive) << "old";
  const std::string a = "'" + archive.string() + "'";
  EXPECT_EQ(Shell("true", nullptr, archive).ArchiveChange, Change::Unchanged);
  EXPECT_EQ(Shell("printf x >> " + a, nullptr, archive).ArchiveChange, Change::InPlace);
  const MeasuredCall replaced = Shell("printf new1 > " + a + ".tmp && mv " + a + ".tmp " + a, nullptr, archive);
  EXPECT_EQ(replaced.ArchiveChange, Change::Rewritten);
  EXPECT_EQ(replaced.ArchiveBytes, 4u);
  EXPECT_EQ(Shell("rm " + a, nullptr, archive).ArchiveChange, Change::Removed);
  EXPECT_THROW(Shell("true", nullptr, archive), std::runtime_error) << "no archive to look at";
}

TEST(ChangeBetween, BirthTellsANewFileWithTheOldInodeNumber) {
  FileIdentity before;
  before.Inode = 42;
  before.Size = 100;
  before.HasBirth = true;
  before.Birth = {1000, 5, 0};
  before.Modified = {1000, 5, 0};
  FileIdentity after = before;
  EXPECT_EQ(ChangeBetween(before, after), Change::Unchanged);
  after.Modified = {1001, 0, 0};
  EXPECT_EQ(ChangeBetween(before, after), Change::InPlace);
  after.Birth = {1001, 0, 0};
  EXPECT_EQ(ChangeBetween(before, after), Change::Rewritten) << "same number, new file";
  after = before;
  after.Inode = 43;
  EXPECT_EQ(ChangeBetween(before, after), Change::Rewritten);
  after = before;
  after.HasBirth = false;
  after.Size = 101;
  EXPECT_EQ(ChangeBetween(before, after), Change::InPlace) << "without a birth time, only the number";
  EXPECT_EQ(ChangeBetween(before, std::nullopt), Change::Removed);
}

}  // namespace
}  // namespace rarbatch::bench
