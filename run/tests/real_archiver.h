// The real archiver in the runner's tests: the host's rar through rar_bridge, copied into a test's
// folder as Rar.exe, called the way the program calls it, with its listings read back.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/archive_names.h"
#include "core/archiver_calls.h"
#include "run/archiver_process.h"
#include "tools/test_support.h"

namespace rarbatch::testing {

class RealArchiver {
 public:
  explicit RealArchiver(const std::wstring& folder) : exe_(folder + L"Rar.exe") {
    CopyFileW((ExecutableFolder() + L"rar_bridge.exe").c_str(), exe_.c_str(), FALSE);
  }
  // Whether the host has the archiver (scripts/setup installs it); the tests skip without it.
  static bool Installed() { return GetFileAttributesW(L"Z:\\usr\\bin\\rar") != INVALID_FILE_ATTRIBUTES; }
  const std::wstring& Exe() const { return exe_; }

  // Runs the archiver with `arguments`; its exit code (0xDEAD when it never exited), and its output
  // in `output`.
  DWORD Run(const std::wstring& arguments, std::wstring* output = nullptr) const {
    CallResult call;
    call.CommandLine = L"\"" + exe_ + L"\" " + arguments;
    RunArchiverCall(exe_, call, {}, nullptr);
    if (output) *output = call.Output;
    return call.Outcome == CallOutcome::Exited ? call.ExitCode : 0xDEAD;
  }
  // The entries, sorted; none when the archive file is gone.
  std::vector<std::wstring> Entries(const std::wstring& archive) const {
    if (GetFileAttributesW(archive.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
    std::wstring text;
    EXPECT_EQ(Run(L"lb \"" + archive + L"\"", &text), 0u) << "listing failed: " << ::testing::PrintToString(archive);
    std::vector<std::wstring> names = ParseBareListing(text);
    std::sort(names.begin(), names.end());
    return names;
  }
  // Whether the technical listing says the archive is locked.
  bool Locked(const std::wstring& archive) const {
    std::wstring text;
    Run(L"lt \"" + archive + L"\"", &text);
    return text.find(L", lock") != std::wstring::npos;
  }

 private:
  std::wstring exe_;
};

}  // namespace rarbatch::testing
