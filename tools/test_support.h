// Helpers for tests that run real scripts: a scratch folder with an awkward name, the stand-in
// archiver copied into it, and reading back the arguments it recorded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/fake_archive.h"

namespace rarbatch::testing {

// How long a test waits for something that must happen (a dialog to show, a tree to open a folder, a
// process to end, a file to go). Under Wine on a loaded 2-core machine a dialog's first showing can take tens of
// seconds; a wait that passes ends as soon as its condition holds, so the bound costs nothing then.
constexpr DWORD kPatienceMs = 120000;

// A new folder under the temp folder whose name holds a space and Chinese characters (or `label`);
// removed with all it holds when the object goes.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& label = L"rarbatch 测试");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder, ending in a backslash.
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

// The folder of the running test executable, ending in a backslash.
std::wstring ExecutableFolder();

// Makes every call of the stand-in archiver take `milliseconds` while the object lives (the
// processes this process starts inherit it).
class FakeArchiverDelay {
 public:
  explicit FakeArchiverDelay(unsigned milliseconds);
  ~FakeArchiverDelay();
  FakeArchiverDelay(const FakeArchiverDelay&) = delete;
  FakeArchiverDelay& operator=(const FakeArchiverDelay&) = delete;
};

// While it lives, until Release, every call of the stand-in archiver started from this process waits
// while it holds its archive: the test acts while a call is surely under way, however slow the
// machine, then lets it go.
class FakeArchiverHold {
 public:
  FakeArchiverHold();
  ~FakeArchiverHold();
  FakeArchiverHold(const FakeArchiverHold&) = delete;
  FakeArchiverHold& operator=(const FakeArchiverHold&) = delete;
  void Release();

 private:
  std::wstring gate_;
};

// Copies the stand-in archiver from beside the test executable to `folder` as Rar.exe; returns its path.
std::wstring InstallFakeRar(const std::wstring& folder);

// Every call the stand-in archiver recorded in `folder`, each as its list of arguments. The technical
// listings (lt) that the run makes before a delete, and the p that reads entries' bytes to compare,
// change nothing and are left out unless asked for.
std::vector<std::vector<std::wstring>> ReadRecordedCalls(const std::wstring& folder, bool withListings = false);

// An archive of the stand-in archiver, as tools/fake_rar.cpp keeps it in its file.
using fake::FakeArchive;
using fake::FakeEntry;

FakeArchive ReadFakeArchive(const std::wstring& path);

// The entry name the archiver gives a file added by its absolute path without -ep1: the path less
// its drive and root ("C:\users\x.txt" is stored as "users\x.txt").
std::wstring StoredWithoutRoot(const std::wstring& absolutePath);

// Writes the archive file (whatever `archive.Exists` says); false when it cannot.
bool WriteFakeArchive(const std::wstring& path, const FakeArchive& archive);

// Makes every later call of the stand-in archiver on `archivePath` change nothing and exit with
// `code`.
bool ForceExitCode(const std::wstring& archivePath, int code);

// Makes a folder, or an empty file, with `attributes` (0 for none) through the path's extended form,
// so at any length and also with a name ending in a space; false when it cannot.
bool MakeFolder(const std::wstring& path, DWORD attributes = 0);
bool MakeEmptyFile(const std::wstring& path, DWORD attributes = 0);

// A new folder under `base` (ending in a backslash) whose path is longer than MAX_PATH by at least
// `beyond` characters, made a step of 40 characters at a time; ends in a backslash. Empty when it
// cannot be made.
std::wstring MakeDeepFolder(const std::wstring& base, std::size_t beyond = 40);

// Writes `bytes` as the whole file; false when it cannot.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

// The whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);

// CreateProcessW, tried again up to four times half a second apart when it fails: Wine under load now
// and then fails to start a process at all.
bool StartProcess(std::wstring commandLine, bool inheritHandles, DWORD flags, const wchar_t* currentFolder,
                  STARTUPINFOW& startup, PROCESS_INFORMATION& process);

// Waits for the process to end, up to `timeoutMs`; true when it ended.
bool WaitForExit(HANDLE process, DWORD timeoutMs = kPatienceMs);

std::wstring FromUtf8(const std::string& text);

}  // namespace rarbatch::testing
