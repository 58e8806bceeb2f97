// The job one press of the generate button carries out, and the batch script text that applies it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rarbatch {

// A file whose content is deleted from every archive, whatever the entry's name (content_samples.h):
// kept as its size, CRC32 and SHA-256, not as the file.
struct ContentSample {
  std::uint64_t Size = 0;
  std::uint32_t Crc32 = 0;
  std::string Sha256;   // 64 lower-case hex digits
  std::wstring Origin;  // the file it was taken from, as it was chosen; only shown
  bool operator==(const ContentSample&) const = default;
};

struct BatchJob {
  std::wstring RarPath;
  std::vector<std::wstring> Archives;
  std::vector<std::wstring> DeleteNames;
  std::vector<std::wstring> AddFiles;
  std::wstring CommentFile;
  bool Lock = false;
  bool UsePassword = false;
  std::wstring Password;
  // For the run in the program only; the script ignores them.
  bool Backup = false;           // copy each archive into BackupFolder before its first call
  std::wstring BackupFolder;     // this run's own backup folder, which holds the manifest
  bool KeepTimes = false;        // -tk on every call, and the creation time put back afterwards
  bool TestBeforeLock = false;   // t after the changes; comment and lock only on a sound archive
  // Entries whose bytes equal a sample's are deleted too, found and compared by the run (the script
  // cannot compare contents, and a job with samples is run by the program).
  std::vector<ContentSample> Samples;
};

// Returns the whole script: for every archive, its delete, add, comment and lock lines, each ended by
// CR LF. Characters that the command interpreter would act on are escaped so that the archiver
// receives exactly what the job holds; a job that FindScriptProblem refuses must not be composed.
std::wstring ComposeBatchScript(const BatchJob& job);

// Whether the composed script holds the password: it is used and some add line carries it.
bool ScriptHoldsPassword(const BatchJob& job);

// The longest line the command interpreter reads whole; it cuts a longer one.
inline constexpr std::size_t kMaxScriptLineLength = 8191;

// Test is only ever a call of the program's run: the script has no test line.
enum class ScriptOperation { Delete, Add, Comment, Lock, Test };

// A line too long for the interpreter, or a command line too long for a new process: the archive it is
// for, its operation and, for a delete or add line, the position of the name or file in its list, or
// kNoItem for a call whose names or files would go through a list file. Positions count from 0.
inline constexpr std::size_t kNoItem = static_cast<std::size_t>(-1);
struct OverlongLine {
  std::size_t Archive;
  ScriptOperation Operation;
  std::size_t Item;
  std::size_t Length;  // characters, without the line end
};

// The first line of the script, in script order, that is longer than kMaxScriptLineLength.
std::optional<OverlongLine> FindOverlongLine(const BatchJob& job);

}  // namespace rarbatch
