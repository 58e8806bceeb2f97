// Running one program and measuring it: its exit code, its I/O counters, its time, and what became of
// the archive it was given.
#include "bench/measured_call.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace rarbatch::bench {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Throw(const std::string& what) { throw std::runtime_error(what); }

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool SameTime(const statx_timestamp& x, const statx_timestamp& y) {
  return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec;
}

}  // namespace

std::optional<FileIdentity> Identify(const std::filesystem::path& path) {
  struct statx x {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_INO | STATX_SIZE | STATX_MTIME | STATX_BTIME, &x) != 0) {
    return std::nullopt;
  }
  FileIdentity id;
  id.Inode = x.stx_ino;
  id.Size = x.stx_size;
  id.HasBirth = (x.stx_mask & STATX_BTIME) != 0;
  id.Birth = x.stx_btime;
  id.Modified = x.stx_mtime;
  return id;
}

Change ChangeBetween(const FileIdentity& before, const std::optional<FileIdentity>& after) {
  if (!after) return Change::Removed;
  if (after->Inode != before.Inode) return Change::Rewritten;
  if (after->HasBirth && before.HasBirth && !SameTime(after->Birth, before.Birth)) return Change::Rewritten;
  if (after->Size != before.Size || !SameTime(after->Modified, before.Modified)) return Change::InPlace;
  return Change::Unchanged;
}

// The child's I/O counters are read from /proc while it is a zombie: waitid with WNOWAIT leaves it
// unreaped, so its pid and counters are still its own, and every thread of it has exited and been
// added into them. Then it is reaped.
MeasuredCall RunMeasured(const std::vector<std::string>& args, const std::string* input,
                         const std::filesystem::path& outputPath, const std::filesystem::path& archive) {
  if (args.empty()) Throw("no program to run");
  MeasuredCall record;
  std::optional<FileIdentity> before;
  if (!archive.empty()) {
    before = Identify(archive);
    if (!before) Throw("cannot read " + archive.string() + ": " + std::strerror(errno));
  }
  int in = -1;
  if (input != nullptr) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) Throw("pipe: " + std::string(std::strerror(errno)));
    if (write(ends[1], input->data(), input->size()) != static_cast<ssize_t>(input->size())) {
      Throw("cannot write the standard input into its pipe");
    }
    close(ends[1]);
    in = ends[0];
  } else {
    in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  }
  const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (in < 0 || out < 0) Throw("cannot open the standard input or output of " + args.front());
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) Throw("fork: " + std::string(std::strerror(errno)));
  if (pid == 0) {
    setsid();
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in);
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0) {
    if (errno != EINTR) Throw("waitid: " + std::string(std::strerror(errno)));
  }
  const std::optional<ProcessIo> io =
      rarbatch::bench::ParseProcessIo(ReadAll("/proc/" + std::to_string(pid) + "/io"));
  if (!io) Throw("cannot read /proc/" + std::to_string(pid) + "/io of a finished " + args.front());
  int status = 0;
  struct rusage usage {};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) Throw("wait4: " + std::string(std::strerror(errno)));
  }
  record.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
  record.Io = *io;
  record.BlockBytes = static_cast<std::uint64_t>(usage.ru_oublock) * 512;
  record.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  struct stat written {};
  fstat(out, &written);
  record.OutputBytes = static_cast<std::uint64_t>(written.st_size);
  close(out);

  if (before) {
    const std::optional<FileIdentity> after = Identify(archive);
    record.ArchiveChange = ChangeBetween(*before, after);
    if (record.ArchiveChange == Change::Rewritten) record.ArchiveBytes = after->Size;
  }
  return record;
}

}  // namespace rarbatch::bench
