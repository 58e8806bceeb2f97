// rarbatch-cli's command line: what it was asked to do, or why the arguments are refused.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/preview_model.h"

namespace rarbatch {

// The companion's exit codes.
enum CliExit : int {
  kExitSuccess = 0,     // every archive succeeded (scan: the job was written)
  kExitWarnings = 1,    // some warnings, no failure (scan: some folders could not be listed)
  kExitFailures = 2,    // at least one archive failed, or the report could not be written
  kExitStopped = 3,     // stopped with Ctrl+C
  kExitBadInput = 7,    // a bad job file or bad arguments
};

enum class CliCommand { Run, Scan, Restore, Sample, Help };
// sample: add files to a job's samples of content to delete, or list them.
enum class SampleAction { Add, List };
enum class ReportFormat { None, Csv, Json };

struct CliArguments {
  CliCommand Command = CliCommand::Help;
  std::wstring JobFile;     // run; sample: the job file (--job)
  unsigned Workers = 0;     // run: 0 is one per processor, at most 4
  std::wstring ReportFile;  // run
  ReportFormat Report = ReportFormat::None;
  bool Preview = false;     // run: only tell what the job would do, change nothing
  // run: the options of the run in the program, over the job's own: backups into this folder (which
  // also turns them on), the archives' times kept, a test before the lock.
  std::wstring BackupTo;
  bool KeepTimes = false;
  bool TestBeforeLock = false;
  std::wstring Folder;      // scan
  std::wstring OutFile;     // scan
  std::wstring Manifest;    // restore: a backup folder's 备份清单.txt
  SampleAction Sample = SampleAction::List;  // sample
  std::vector<std::wstring> SampleFiles;     // sample add: the files, in the order given
};

// The most workers --workers takes.
inline constexpr unsigned kMaxCliWorkers = 32;

// The arguments after the program's name, or the reason they are refused (in Chinese). A password is
// never taken from the command line: --password is refused and says where it comes from.
struct ParsedArguments {
  std::optional<CliArguments> Arguments;
  std::wstring Error;
};
ParsedArguments ParseCliArguments(const std::vector<std::wstring>& arguments);

// The usage text, lines ended by "\n".
std::wstring CliUsage();

// The exit code of `run --preview`, as the run would judge the same outcomes: 2 when an archive cannot
// be processed or previewed, 1 when one would be emptied (the archiver then deletes it, a warning in
// the run), else 0 (also when an archive holds nothing to delete, a note in the run).
int PreviewExitCode(const std::vector<ArchivePreview>& previews);

// The progress line drawn under the finished archives' lines when the error output is a console:
// "[#########-----------]  45/100  45%", at most `width` characters (the bar shrinks to fit, and is
// left out when even the counts barely fit).
std::wstring FormatProgressBar(std::size_t done, std::size_t total, std::size_t width);

}  // namespace rarbatch
