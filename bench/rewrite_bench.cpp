// One job's archiver calls on real archives, run on fresh copies two ways: as the script makes them
// (one call per delete entry, per file to add, for the comment and for the lock) and as the program's
// own plan makes them (one delete, one add carrying the comment, the lock and the password). Every
// call that changes an archive makes the archiver write all of it again, so the figures are the calls,
// the bytes the archiver processes wrote, how often each archive was rewritten, and the wall time.
//
//   rewrite_bench [archives [megabytes [names [files]]]]     (default 20 20 10 10)
//
// Linux only: it drives /usr/bin/rar with the arguments the Windows command lines split into.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/measured_call.h"
#include "bench/rewrite_support.h"
#include "core/archive_plan.h"
#include "core/archiver_args.h"
#include "core/batch_script.h"

namespace {

namespace fs = std::filesystem;
using rarbatch::ArchivePlan;
using rarbatch::BatchJob;
using rarbatch::PlannedCall;
using rarbatch::ScriptOperation;
using rarbatch::bench::Change;
using rarbatch::bench::MeasuredCall;
using rarbatch::bench::RunMeasured;
using rarbatch::bench::ToUtf8;
using rarbatch::bench::WithThousands;
using Clock = std::chrono::steady_clock;

constexpr const char* kArchiver = "/usr/bin/rar";
constexpr const char* kPassword = "bench pass";
constexpr std::size_t kSmallFileBytes = 4096;  // each name to delete and each file to add
constexpr int kRounds = 3;

fs::path g_root;  // the scratch folder, removed on every way out

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "rewrite_bench: %s\n", what.c_str());
  if (!g_root.empty()) {
    std::error_code ignored;
    fs::remove_all(g_root, ignored);
  }
  std::exit(1);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// One archiver call of a mode.
struct CallRecord : MeasuredCall {
  std::string Label;  // the command letter, with the switches that matter here
  std::size_t Archive = 0;
};

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Incompressible bytes, different for every seed.
void WriteRandomFile(const fs::path& path, std::uint64_t bytes, std::uint64_t seed) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) Fail("cannot create " + path.string() + ": " + std::strerror(errno));
  std::vector<std::uint64_t> block(1 << 15);
  std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  while (bytes > 0) {
    for (std::uint64_t& word : block) {  // splitmix64
      std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      word = z ^ (z >> 31);
    }
    const std::uint64_t chunk = std::min<std::uint64_t>(bytes, block.size() * sizeof(block[0]));
    if (std::fwrite(block.data(), 1, chunk, f) != chunk) Fail("cannot write " + path.string());
    bytes -= chunk;
  }
  if (std::fclose(f) != 0) Fail("cannot write " + path.string());
}

struct Settings {
  int Archives = 20;
  int Megabytes = 20;
  int Names = 10;
  int Files = 10;
};

Settings ReadSettings(int argc, char** argv) {
  Settings s;
  int* fields[] = {&s.Archives, &s.Megabytes, &s.Names, &s.Files};
  if (argc > 5) Fail("usage: rewrite_bench [archives [megabytes [names [files]]]]");
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    const long v = std::strtol(argv[i], &end, 10);
    if (*end != '\0' || v < (i <= 2 ? 1 : 0) || v > 10000) Fail(std::string("bad number: ") + argv[i]);
    *fields[i - 1] = static_cast<int>(v);
  }
  return s;
}

std::string Numbered(const char* prefix, int n, const char* suffix) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%02d%s", prefix, n, suffix);
  return text;
}

// Archive i holds the bulk and every name to delete but name i (mod the count): in a real batch the
// archives differ, and the script's call for a name an archive lacks changes nothing.
bool HoldsName(const Settings& s, int archive, int name) { return name != archive % s.Names; }

void MakeArchives(const Settings& s) {
  const fs::path source = g_root / "source";
  fs::create_directories(source);
  fs::create_directories(g_root / "originals");
  const std::uint64_t total = static_cast<std::uint64_t>(s.Megabytes) * 1000 * 1000;
  for (int a = 0; a < s.Archives; ++a) {
    std::vector<std::string> args = {kArchiver, "a", "-m0", "-ep1", "-idq",
                                     (g_root / "originals" / Numbered("archive_", a, ".rar")).string()};
    std::uint64_t small = 0;
    for (int n = 0; n < s.Names; ++n) {
      if (!HoldsName(s, a, n)) continue;
      const fs::path name = source / Numbered("old_", n, ".dat");
      WriteRandomFile(name, kSmallFileBytes, 1000003ull * a + n + 1);
      args.push_back(name.string());
      small += kSmallFileBytes;
    }
    const fs::path bulk = source / "bulk.bin";
    WriteRandomFile(bulk, total > small ? total - small : 1, 7919ull * a);
    args.push_back(bulk.string());
    const MeasuredCall made = RunMeasured(args, nullptr, g_root / "output.txt");
    if (made.ExitCode != 0) Fail("making an archive failed:\n" + ReadFile(g_root / "output.txt"));
    fs::remove_all(source);
    fs::create_directories(source);
  }
  fs::remove_all(source);
  fs::create_directories(g_root / "add");
  for (int f = 0; f < s.Files; ++f) {
    WriteRandomFile(g_root / "add" / Numbered("new_", f, ".dat"), kSmallFileBytes, 555555ull + f);
  }
  std::ofstream(g_root / "comment.txt") << "rewrite benchmark comment\nsecond line\n";
}

BatchJob MakeJob(const Settings& s, const fs::path& folder) {
  BatchJob job;
  job.RarPath = Widen(kArchiver);
  for (int a = 0; a < s.Archives; ++a) job.Archives.push_back(Widen((folder / Numbered("archive_", a, ".rar")).string()));
  for (int n = 0; n < s.Names; ++n) job.DeleteNames.push_back(Widen(Numbered("old_", n, ".dat")));
  for (int f = 0; f < s.Files; ++f) job.AddFiles.push_back(Widen((g_root / "add" / Numbered("new_", f, ".dat")).string()));
  job.CommentFile = Widen((g_root / "comment.txt").string());
  job.Lock = true;
  job.UsePassword = true;
  job.Password = Widen(kPassword);
  return job;
}

// The script's lines, each as the command interpreter hands it on, give the archiver the same
// arguments as RunCommandLine's rendering of the same call; and those lines, archive after archive,
// are the composed script. Returns the number of lines compared.
std::size_t CheckScriptRendering(const BatchJob& job) {
  const ArchivePlan plan = rarbatch::ScriptPlan(job);
  const rarbatch::ScriptWriter writer(job);
  std::wstring script;
  std::size_t lines = 0;
  for (std::size_t a = 0; a < job.Archives.size(); ++a) {
    for (const PlannedCall& call : plan) {
      std::wstring line;
      writer.Append(line, call, a);
      script += line;
      ++lines;
      const auto fromScript = rarbatch::SplitArchiverArguments(rarbatch::bench::InterpretScriptLine(line));
      const auto fromRun = rarbatch::SplitArchiverArguments(rarbatch::RunCommandLine(job, call, a));
      if (fromScript != fromRun) {
        Fail("a script line gives other arguments than its command line:\n  " + ToUtf8(line) + "  " +
             ToUtf8(rarbatch::RunCommandLine(job, call, a)));
      }
    }
  }
  if (script != rarbatch::ComposeBatchScript(job)) Fail("the script's calls in order are not the composed script");
  return lines;
}

std::string Label(const PlannedCall& call) {
  std::string label;
  switch (call.Command) {
    case ScriptOperation::Delete: label = "d"; break;
    case ScriptOperation::Add: label = "a"; break;
    case ScriptOperation::Comment: label = "c"; break;
    case ScriptOperation::Lock: label = "k"; break;
    case ScriptOperation::Test: label = "t"; break;
  }
  if (call.Comment && call.Command != ScriptOperation::Comment) label += " -z";
  if (call.Lock && call.Command != ScriptOperation::Lock) label += " -k";
  return label;
}

struct ModeResult {
  std::string Name;
  std::vector<CallRecord> Calls;
  double Seconds = 0;       // the calls, one after another
  double FlushSeconds = 0;  // then the archives onto the disk
};

// The archives the mode left, written through to the disk: until then the page cache holds them,
// and the last rewrite of each is still to be paid for.
double FlushArchives(const BatchJob& job) {
  const Clock::time_point start = Clock::now();
  for (const std::wstring& archive : job.Archives) {
    const int fd = open(ToUtf8(archive).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0) Fail("cannot flush " + ToUtf8(archive) + ": " + std::strerror(errno));
    close(fd);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Copies the originals into a fresh folder for one mode and flushes them, so that neither mode pays
// for writing back the other's files.
void FreshCopies(const Settings& s, const fs::path& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (int a = 0; a < s.Archives; ++a) {
    const std::string name = Numbered("archive_", a, ".rar");
    fs::copy_file(g_root / "originals" / name, folder / name);
  }
  sync();
}

CallRecord RunCall(const BatchJob& job, const PlannedCall& call, std::size_t archive, const std::string& password) {
  std::vector<std::string> args;
  for (const std::wstring& a : rarbatch::SplitArchiverArguments(rarbatch::RunCommandLine(job, call, archive))) {
    args.push_back(ToUtf8(a));
  }
  const bool readsPassword = call.Password == rarbatch::PasswordSource::StandardInput;
  CallRecord record;
  static_cast<MeasuredCall&>(record) = RunMeasured(args, readsPassword ? &password : nullptr,
                                                   g_root / "output.txt", ToUtf8(job.Archives[archive]));
  record.Label = Label(call);
  record.Archive = archive;
  if (record.ExitCode != 0 && record.ExitCode != 10) {
    Fail("the archiver ended with " + std::to_string(record.ExitCode) + " for\n  " +
         ToUtf8(rarbatch::RunCommandLine(job, call, archive)) + "\n" + ReadFile(g_root / "output.txt"));
  }
  return record;
}

// The script: every archive's lines in order, whatever each call's exit code.
ModeResult RunScript(const BatchJob& job) {
  ModeResult result{"(a) script", {}, 0, 0};
  const ArchivePlan plan = rarbatch::ScriptPlan(job);
  const Clock::time_point start = Clock::now();
  for (std::size_t a = 0; a < job.Archives.size(); ++a) {
    for (const PlannedCall& call : plan) result.Calls.push_back(RunCall(job, call, a, {}));
  }
  result.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.FlushSeconds = FlushArchives(job);
  return result;
}

// The program's plan, one archive after another. The password goes on the archiver's standard input
// with the line end the archiver reads here. A last call that changed nothing set neither the comment
// nor the lock, and is followed by the call that sets them, as the program does.
ModeResult RunProgramPlan(const BatchJob& job) {
  ModeResult result{"(b) plan", {}, 0, 0};
  const rarbatch::RunOptions options;
  const ArchivePlan plan = rarbatch::RunPlan(job, options);
  const std::string password = ToUtf8(job.Password) + "\n";
  const Clock::time_point start = Clock::now();
  for (std::size_t a = 0; a < job.Archives.size(); ++a) {
    for (std::size_t k = 0; k < plan.size(); ++k) {
      result.Calls.push_back(RunCall(job, plan[k], a, password));
      const bool last = k + 1 == plan.size();
      if (last && result.Calls.back().ExitCode == 10 && (plan[k].Comment || plan[k].Lock)) {
        if (auto finishing = rarbatch::FinishingCall(job, options)) {
          result.Calls.push_back(RunCall(job, *finishing, a, password));
        }
      }
    }
  }
  result.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.FlushSeconds = FlushArchives(job);
  return result;
}

struct Totals {
  std::size_t Calls = 0, Rewritten = 0, InPlace = 0, Unchanged = 0, Removed = 0, Exit10 = 0;
  // The bytes written: wchar less what went to the output. wchar counts every byte handed to write(),
  // whatever the file system and whenever the page cache writes it back. write_bytes, beside it,
  // counts page-cache pages dirtied, whole and once while dirty, and nothing at all on tmpfs; here it
  // is printed as a cross-check, with the reaped child's ru_oublock, which must match it.
  std::uint64_t Written = 0;
  std::uint64_t WriteBytes = 0, BlockBytes = 0, Cancelled = 0, ArchiveBytes = 0, Output = 0;
  double Seconds = 0;

  void Add(const CallRecord& c) {
    ++Calls;
    Rewritten += c.ArchiveChange == Change::Rewritten;
    InPlace += c.ArchiveChange == Change::InPlace;
    Unchanged += c.ArchiveChange == Change::Unchanged;
    Removed += c.ArchiveChange == Change::Removed;
    Exit10 += c.ExitCode == 10;
    Written += c.Io.Wchar - std::min(c.Io.Wchar, c.OutputBytes);
    WriteBytes += c.Io.WriteBytes;
    BlockBytes += c.BlockBytes;
    Cancelled += c.Io.CancelledWriteBytes;
    ArchiveBytes += c.ArchiveBytes;
    Output += c.OutputBytes;
    Seconds += c.Seconds;
  }
};

Totals Sum(const ModeResult& mode) {
  Totals t;
  for (const CallRecord& c : mode.Calls) t.Add(c);
  return t;
}

std::vector<int> RewritesPerArchive(const ModeResult& mode, std::size_t archives) {
  std::vector<int> count(archives, 0);
  for (const CallRecord& c : mode.Calls) count[c.Archive] += c.ArchiveChange == Change::Rewritten;
  return count;
}

void PrintRow(const std::string& label, const Totals& t) {
  std::printf("  %-8s %6zu %8zu %9zu %10zu %8zu %18s %9.2f\n", label.c_str(), t.Calls, t.Rewritten, t.InPlace,
              t.Unchanged + t.Removed, t.Exit10, WithThousands(t.Written).c_str(), t.Seconds);
}

void PrintMode(const ModeResult& mode, std::size_t archives) {
  std::printf("\n%s, last round: %zu archiver calls in %.2f s, then %.2f s to flush the archives to the disk\n",
              mode.Name.c_str(), mode.Calls.size(), mode.Seconds, mode.FlushSeconds);
  std::printf("  %-8s %6s %8s %9s %10s %8s %18s %9s\n", "call", "calls", "rewrote", "in place", "unchanged",
              "exit 10", "bytes written", "time (s)");
  std::vector<std::string> order;
  std::map<std::string, Totals> byLabel;
  for (const CallRecord& c : mode.Calls) {
    if (byLabel.find(c.Label) == byLabel.end()) order.push_back(c.Label);
    byLabel[c.Label].Add(c);
  }
  for (const std::string& label : order) PrintRow(label, byLabel[label]);
  const Totals all = Sum(mode);
  PrintRow("all", all);
  const std::vector<int> rewrites = RewritesPerArchive(mode, archives);
  std::printf("  rewrites of one archive: %d to %d\n", *std::min_element(rewrites.begin(), rewrites.end()),
              *std::max_element(rewrites.begin(), rewrites.end()));
  std::printf("  counters: wchar less output %s; write_bytes %s; rusage blocks x 512 %s; "
              "cancelled_write_bytes %s; sizes of the archives written %s; output %s\n",
              WithThousands(all.Written).c_str(), WithThousands(all.WriteBytes).c_str(),
              WithThousands(all.BlockBytes).c_str(), WithThousands(all.Cancelled).c_str(),
              WithThousands(all.ArchiveBytes).c_str(), WithThousands(all.Output).c_str());
}

double Ratio(double plan, double script) { return script > 0 ? plan / script : 0; }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// "10.41 (10.17-11.02)": the median and the range of the rounds.
std::string Spread(const std::vector<double>& v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f (%.2f-%.2f)", Median(v), *std::min_element(v.begin(), v.end()),
                *std::max_element(v.begin(), v.end()));
  return text;
}

struct EndState {
  std::vector<std::string> Entries;  // comparable form
  std::vector<std::string> Added;    // the added files as stored
  rarbatch::bench::ArchiveListing Listing;
  int TestExitCode = -1;             // rar t with the job's password
};

std::string RunForOutput(const std::vector<std::string>& args, int* exitCode = nullptr) {
  const MeasuredCall r = RunMeasured(args, nullptr, g_root / "output.txt");
  if (exitCode != nullptr) *exitCode = r.ExitCode;
  return ReadFile(g_root / "output.txt");
}

EndState ReadEndState(const fs::path& archive, const std::vector<std::string>& addedBaseNames) {
  EndState state;
  int code = 0;
  const std::string bare = RunForOutput({kArchiver, "lb", archive.string()}, &code);
  if (code != 0) Fail("rar lb failed on " + archive.string() + ":\n" + bare);
  state.Entries = rarbatch::bench::ComparableEntries(bare, addedBaseNames);
  state.Added = rarbatch::bench::AddedEntries(bare, addedBaseNames);
  const std::string listing = RunForOutput({kArchiver, "l", archive.string()}, &code);
  if (code != 0) Fail("rar l failed on " + archive.string() + ":\n" + listing);
  state.Listing = rarbatch::bench::ParseArchiveListing(listing);
  RunForOutput({kArchiver, "t", "-idq", std::string("-p") + kPassword, archive.string()}, &state.TestExitCode);
  return state;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : " ") + item;
  return text;
}

// Both modes must leave every archive with the same entries (added files by base name), comment,
// lock and encrypted entries, opening with the job's password. Returns the differences found.
std::vector<std::string> CompareEndStates(const Settings& s) {
  std::vector<std::string> added;
  for (int f = 0; f < s.Files; ++f) added.push_back(Numbered("new_", f, ".dat"));
  std::string comment = ReadFile(g_root / "comment.txt");
  while (!comment.empty() && comment.back() == '\n') comment.pop_back();
  std::vector<std::string> differences;
  for (int a = 0; a < s.Archives; ++a) {
    const std::string name = Numbered("archive_", a, ".rar");
    const EndState script = ReadEndState(g_root / "script" / name, added);
    const EndState plan = ReadEndState(g_root / "plan" / name, added);
    auto differ = [&](const std::string& what, const std::string& x, const std::string& y) {
      differences.push_back(name + ": " + what + ": script " + x + ", plan " + y);
    };
    if (script.Entries != plan.Entries) differ("entries", Joined(script.Entries), Joined(plan.Entries));
    if (script.Listing.Comment != plan.Listing.Comment) differ("comment", script.Listing.Comment, plan.Listing.Comment);
    if (script.Listing.Locked != plan.Listing.Locked) {
      differ("lock", script.Listing.Locked ? "locked" : "not locked", plan.Listing.Locked ? "locked" : "not locked");
    }
    if (script.Listing.EncryptedEntries != plan.Listing.EncryptedEntries) {
      differ("encrypted entries", std::to_string(script.Listing.EncryptedEntries),
             std::to_string(plan.Listing.EncryptedEntries));
    }
    if (script.TestExitCode != plan.TestExitCode) {
      differ("rar t with the password", std::to_string(script.TestExitCode), std::to_string(plan.TestExitCode));
    }
    // What the job asks for, so that two equal failures are not taken for success.
    if (plan.Listing.Comment != comment) differences.push_back(name + ": the comment is not the comment file's text");
    if (!plan.Listing.Locked) differences.push_back(name + ": not locked");
    if (plan.TestExitCode != 0) differences.push_back(name + ": does not test clean with the password");
    if (plan.Listing.EncryptedEntries != s.Files) differences.push_back(name + ": not every added file is encrypted");
    for (const std::string& entry : plan.Entries) {
      if (entry.rfind("old_", 0) == 0) differences.push_back(name + ": still holds " + entry);
    }
    const std::size_t expected = 1 + static_cast<std::size_t>(s.Files);
    if (plan.Entries.size() != expected) differences.push_back(name + ": holds " + std::to_string(plan.Entries.size()) + " entries");
    if (a == 0 && !script.Added.empty() && !plan.Added.empty()) {
      std::printf("  where the added files go: the script stores %s as %s (its path without the root),\n"
                  "  the plan as %s (-ep1, the archive's root); compared by base name\n",
                  added.front().c_str(), script.Added.front().c_str(), plan.Added.front().c_str());
    }
  }
  return differences;
}

}  // namespace

int Run(int argc, char** argv) {
  const Settings s = ReadSettings(argc, argv);
  if (access(kArchiver, X_OK) != 0) {
    Fail(std::string(kArchiver) + " is not there: this benchmark drives the console archiver (Debian's rar "
         "package, from non-free)");
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/rarbatch-rewrite-bench.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) Fail("cannot make a scratch folder: " + std::string(std::strerror(errno)));
  g_root = pattern;
  // The archiver writes its temporary copy of an archive into the working folder and renames it over
  // the archive; from a folder on another file system it copies it back instead, writing every
  // rewrite twice. Working beside the archives measures the one write.
  if (chdir(g_root.c_str()) != 0) Fail("cannot work in " + pattern);
  for (char c : pattern) {
    if (static_cast<unsigned char>(c) >= 0x80) Fail("the scratch folder's path must be ASCII: " + pattern);
  }

  std::printf("rewrite_bench: %d archives of %d MB (random bytes, -m0), %d names to delete (each archive "
              "holds all but one), %d files of %zu bytes to add, a comment, lock, a password\n",
              s.Archives, s.Megabytes, s.Names, s.Files, kSmallFileBytes);
  std::printf("  scratch folder %s\n", g_root.c_str());
  std::fflush(stdout);
  MakeArchives(s);

  const BatchJob scriptJob = MakeJob(s, g_root / "script");
  const BatchJob planJob = MakeJob(s, g_root / "plan");
  const std::size_t lines = CheckScriptRendering(scriptJob);
  std::printf("  script: %zu lines, each giving the archiver the same arguments as the program's rendering "
              "of its call, in the composed script's order\n", lines);
  std::fflush(stdout);

  // Rounds on fresh copies, the order of the modes alternating, so that a burst of other work on the
  // machine or what one mode leaves behind does not decide the times. Calls, rewrites and bytes are
  // the same in every round; the tables show the last.
  std::vector<double> timesA, timesB, onDiskA, onDiskB;
  ModeResult script, plan;
  for (int round = 0; round < kRounds; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      if ((round + turn) % 2 == 0) {
        FreshCopies(s, g_root / "script");
        script = RunScript(scriptJob);
        timesA.push_back(script.Seconds);
        onDiskA.push_back(script.Seconds + script.FlushSeconds);
      } else {
        FreshCopies(s, g_root / "plan");
        plan = RunProgramPlan(planJob);
        timesB.push_back(plan.Seconds);
        onDiskB.push_back(plan.Seconds + plan.FlushSeconds);
      }
    }
    std::printf("  round %d: script %.2f s, plan %.2f s\n", round + 1, timesA.back(), timesB.back());
    std::fflush(stdout);
  }
  PrintMode(script, scriptJob.Archives.size());
  PrintMode(plan, planJob.Archives.size());

  const Totals a = Sum(script), b = Sum(plan);
  const std::vector<int> ra = RewritesPerArchive(script, scriptJob.Archives.size());
  const std::vector<int> rb = RewritesPerArchive(plan, planJob.Archives.size());
  const int mostA = *std::max_element(ra.begin(), ra.end()), mostB = *std::max_element(rb.begin(), rb.end());
  std::printf("\n  %-28s %20s %20s %12s\n", "", "(a) script", "(b) plan", "plan/script");
  std::printf("  %-28s %20zu %20zu %12.3f\n", "archiver calls", a.Calls, b.Calls, Ratio(b.Calls, a.Calls));
  std::printf("  %-28s %20zu %20zu %12.3f\n", "archive rewrites", a.Rewritten, b.Rewritten, Ratio(b.Rewritten, a.Rewritten));
  std::printf("  %-28s %20s %20s %12.3f\n", "bytes written (wchar)", WithThousands(a.Written).c_str(),
              WithThousands(b.Written).c_str(), Ratio(static_cast<double>(b.Written), static_cast<double>(a.Written)));
  const double medianA = Median(timesA), medianB = Median(timesB);
  std::printf("  %-28s %20s %20s %12.3f\n", "wall time (s), median", Spread(timesA).c_str(), Spread(timesB).c_str(),
              Ratio(medianB, medianA));
  std::printf("  %-28s %20s %20s %12.3f\n", "  and flushed to disk (s)", Spread(onDiskA).c_str(),
              Spread(onDiskB).c_str(), Ratio(Median(onDiskB), Median(onDiskA)));
  std::printf("  %-28s %20d %20d\n", "most rewrites of an archive", mostA, mostB);
  std::printf("  aim, at most 2 rewrites of an archive by the plan: %s\n", mostB <= 2 ? "met" : "not met");
  std::printf("  aim, plan at most 0.2 of the script's time: %s\n",
              medianB <= 0.2 * medianA ? "met" : "not met");
  std::fflush(stdout);

  std::printf("\nend state (rar lb, rar l, rar t -p):\n");
  const std::vector<std::string> differences = CompareEndStates(s);
  if (!differences.empty()) {
    for (const std::string& d : differences) std::printf("  DIFFERENT %s\n", d.c_str());
    Fail(std::to_string(differences.size()) + " differences in the end state");
  }
  std::printf("  the same in both modes for all %d archives: entries (added files by base name), comment, "
              "lock, %d encrypted entries each, tests clean with the password\n", s.Archives, s.Files);
  std::error_code ignored;
  fs::remove_all(g_root, ignored);
  return 0;
}

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    Fail(e.what());
  }
}
