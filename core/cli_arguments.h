// rarbatch-cli's command line: what it was asked to do, or why the arguments are refused.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace rarbatch {

// The companion's exit codes.
enum CliExit : int {
  kExitSuccess = 0,     // every archive succeeded (scan: the job was written)
  kExitWarnings = 1,    // some warnings, no failure (scan: some folders could not be listed)
  kExitFailures = 2,    // at least one archive failed, or the report could not be written
  kExitStopped = 3,     // stopped with Ctrl+C
  kExitBadInput = 7,    // a bad job file or bad arguments
};

enum class CliCommand { Run, Scan, Help };
enum class ReportFormat { None, Csv, Json };

struct CliArguments {
  CliCommand Command = CliCommand::Help;
  std::wstring JobFile;     // run
  unsigned Workers = 0;     // run: 0 is one per processor, at most 4
  std::wstring ReportFile;  // run
  ReportFormat Report = ReportFormat::None;
  std::wstring Folder;      // scan
  std::wstring OutFile;     // scan
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

}  // namespace rarbatch
