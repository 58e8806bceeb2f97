// A job's preview: first bytes, listings and predictions, several archives at once.
#include "run/archive_preview.h"

#include <windows.h>

#include <atomic>
#include <exception>

#include "core/archive_header.h"
#include "core/archiver_args.h"
#include "core/archiver_calls.h"
#include "core/kept_output.h"
#include "core/number_text.h"
#include "core/paths.h"
#include "run/archive_check.h"
#include "run/content_compare.h"
#include "run/space_check.h"
#include "run/archiver_process.h"
#include "run/backup.h"
#include "win/file_marks.h"
#include "win/file_ops.h"
#include "win/files.h"
#include "win/text.h"
#include "win/threads.h"

namespace rarbatch {
namespace {

// The most of a listing kept: about a million entries. KeptOutput marks what it leaves out.
constexpr std::size_t kListingKeepBytes = 64 * 1024 * 1024;

// The first bytes in words; empty for a plain archive.
std::wstring StateOf(const ArchiveHeader& header) {
  std::wstring state;
  const auto add = [&state](const wchar_t* word) { state += (state.empty() ? L"" : L"，") + std::wstring(word); };
  switch (header.Format) {
    case ArchiveFormat::NotRar: return L"不是 RAR 压缩包";
    case ArchiveFormat::Program: add(L"程序文件（可能是自解压压缩包）"); break;
    case ArchiveFormat::UnknownRar: add(L"未知的 RAR 格式"); break;
    default: break;
  }
  if (header.Damaged) add(L"文件头已损坏");
  if (header.Volume) add(L"分卷压缩包");
  if (header.Locked) add(L"已锁定");
  if (header.NamesEncrypted) add(L"文件名已加密");
  return state;
}

// Runs a listing, given the job's password when the call takes it (encrypted names).
void RunListing(const BatchJob& job, CallResult& call, const std::string& passwordInput,
                RunningArchivers* archivers) {
  RunArchiverCall(job.RarPath, call, call.PasswordOnInput ? passwordInput : std::string(), archivers,
                  kListingKeepBytes, 0, job.Password);
}

// A job with samples, or an archive whose names are encrypted: one technical listing (lt) gives the
// entries, their references and their sizes and CRC32s; with samples the candidates are compared byte
// for byte, then the prediction takes the names and the matches together. An archive the run would
// refuse is not compared: no call would delete anything. (The bare listing will not do with the
// password on standard input: the archiver writes its prompt where the names go.)
void PreviewFromTechnicalListing(const BatchJob& job, std::size_t archive, const RunOptions& options,
                                 const std::string& passwordInput, const std::vector<std::wstring>& storedPaths,
                                 bool rar4, bool namesEncrypted, RunningArchivers* archivers,
                                 ArchivePreview& preview) {
  CallResult call = ReferenceListingCall(job, archive, options, namesEncrypted);
  RunListing(job, call, passwordInput, archivers);
  if (call.Outcome == CallOutcome::StartFailed) {
    preview.ListProblem = L"无法启动压缩程序：" + call.Output;
    return;
  }
  const ListingRead read = ReadReferenceListing(call);
  if (!read.Read) {
    preview.ListProblem = read.CutShort ? read.Problem : L"无法列出文件：" + read.Problem;
    return;
  }
  preview.Listed = true;
  for (const ListedEntry& entry : read.Entries) preview.Entries.push_back(entry.Name);
  if (!job.Samples.empty() && preview.Refusal.empty()) {
    // The password is used only when the job has it: the window gives it, the companion has it from
    // its environment; without it, encrypted candidates are reported as not compared.
    const bool withPassword = job.UsePassword && !job.Password.empty();
    preview.Content = FindContent(job, archive, options, withPassword, read.Entries,
                                  SplitDeleteEntries(job.DeleteNames).Names, passwordInput, archivers);
  }
  PredictChanges(job, storedPaths, preview);
  if (PreviewNeedsReferences(preview) && !rar4) PredictReferencesOf(job, read.Entries, preview);
}

}  // namespace

std::vector<std::wstring> StoredPathsOfAdds(const BatchJob& job) {
  std::vector<std::wstring> paths;
  for (const std::wstring& file : job.AddFiles) {
    const std::wstring root = RootNameOfAdded(file);
    if (root.empty()) continue;
    paths.push_back(root);
    if (IsExistingFolder(file)) {
      WalkFolder(file, [&](const std::wstring& below, const WIN32_FIND_DATAW&) { paths.push_back(root + L"\\" + below); });
    }
  }
  return paths;
}

ArchivePreview PreviewArchive(const BatchJob& job, std::size_t archive, bool utf8Output,
                              const std::vector<std::wstring>& storedPaths, RunningArchivers* archivers) {
  return PreviewArchive(job, archive, RunOptions{PasswordSource::None, utf8Output}, {}, storedPaths, archivers);
}

ArchivePreview PreviewArchive(const BatchJob& job, std::size_t archive, const RunOptions& options,
                              const std::string& passwordInput, const std::vector<std::wstring>& storedPaths,
                              RunningArchivers* archivers) {
  const bool utf8Output = options.Utf8Output;
  ArchivePreview preview;
  preview.Archive = job.Archives[archive];
  const std::optional<ArchiveHeader> header = ReadHeaderOf(preview.Archive);
  preview.Size = SizeOf(preview.Archive).value_or(0);
  if (const std::optional<FileMarks> marks = ReadFileMarks(FullPathOf(preview.Archive))) preview.Marks = NameMarks(*marks);
  if (header) {
    preview.State = StateOf(*header);
    preview.Solid = header->Solid;
    if (auto why = WhyNoCallCanSucceed(*header, job)) preview.Refusal = *why;
    const std::uint64_t size = SizeOf(FullPathOf(preview.Archive)).value_or(0);
    preview.RecoveryRecord = header->RecoveryRecord;
    preview.RecoverySize = RecoveryRecordSize(*header, size);
    preview.RecoveryPercent = RecoveryPercentToKeep(*header, size);
    if (header->Format == ArchiveFormat::NotRar) {
      preview.ListProblem = L"不是 RAR 压缩包";
      return preview;
    }
    // Encrypted names are listed with the job's password, as the run would open them; without it, or
    // where the run would refuse the archive anyway, they are not.
    if (header->NamesEncrypted && (passwordInput.empty() || !preview.Refusal.empty())) {
      preview.ListProblem = L"文件名已加密，没有密码无法列出其中的文件";
      return preview;
    }
  }
  const bool namesEncrypted = header && header->NamesEncrypted;
  if (!job.Samples.empty() || namesEncrypted) {
    const bool rar4 = header && header->Format == ArchiveFormat::Rar4;
    PreviewFromTechnicalListing(job, archive, options, passwordInput, storedPaths, rar4, namesEncrypted, archivers,
                                preview);
    return preview;
  }
  // -p-: never ask for a password, which nobody would answer.
  CallResult call;
  call.CommandLine = QuoteArchiverArgument(job.RarPath) + L" lb -p-" + (utf8Output ? L" -scfr " : L" ") +
                     QuoteArchiverArgument(preview.Archive);
  call.Utf8Output = utf8Output;
  RunArchiverCall(job.RarPath, call, {}, archivers, kListingKeepBytes);
  if (call.Outcome != CallOutcome::Exited) {
    preview.ListProblem = L"无法启动压缩程序：" + call.Output;
    return preview;
  }
  if (call.ExitCode != 0) {
    preview.ListProblem = L"无法列出文件：" + ExitCodeMeaning(call.ExitCode) + L" (" +
                          Decimal(call.ExitCode) + L")";
    return preview;
  }
  // A listing cut short would make a wrong prediction (an archive emptied shown as kept).
  if (call.Output.find(kLeftOutMark) != std::wstring::npos) {
    preview.ListProblem = L"文件太多，无法完整列出";
    return preview;
  }
  preview.Listed = true;
  preview.Entries = ParseBareListing(call.Output);
  PredictChanges(job, storedPaths, preview);
  // RAR 4 stores no references; for any other, the run lists them before it deletes, and so does this.
  if (PreviewNeedsReferences(preview) && !(header && header->Format == ArchiveFormat::Rar4)) {
    CallResult listing = ReferenceListingCall(job, archive, RunOptions{PasswordSource::None, utf8Output}, false);
    RunArchiverCall(job.RarPath, listing, {}, archivers, kListingKeepBytes);
    PredictBrokenReferences(job, listing, preview);
  }
  return preview;
}

struct JobPreviewer::Shared {
  BatchJob job;
  unsigned workers = 1;
  PreviewEvents events;
  mutable Mutex lock;
  std::vector<ArchivePreview> results;
  std::vector<bool> done;
  PreviewCost cost;  // read by the manager before the listings start
  std::size_t next = 0;
  std::size_t remaining = 0;
  std::atomic<bool> stopping{false};
  std::atomic<bool> running{false};
  Stopwatch started;
  unsigned long long elapsedMs = 0;
  // The probe and the listings, ended together when the preview goes.
  RunningArchivers archivers;
  Thread manager;
};

JobPreviewer::JobPreviewer(BatchJob job, unsigned workers, PreviewEvents events)
    : shared_(std::make_unique<Shared>()) {
  shared_->job = std::move(job);
  shared_->workers = workers ? workers : 1;
  shared_->events = std::move(events);
  shared_->results.resize(shared_->job.Archives.size());
  shared_->done.assign(shared_->job.Archives.size(), false);
  for (std::size_t i = 0; i < shared_->results.size(); ++i) shared_->results[i].Archive = shared_->job.Archives[i];
}

JobPreviewer::~JobPreviewer() {
  shared_->stopping = true;
  shared_->archivers.Close();
  Wait();
}

namespace {

// What the run would need of the disks, without backups (the preview does not know of any).
PreviewCost CostOf(const BatchJob& job, unsigned workers) {
  const SpaceNeeds needs = NeedsOfRun(job, workers, L"");
  return {needs.AtOnce, needs.Problem.value_or(L"")};
}

// How every listing calls the archiver, from its version: it writes UTF-8 on -scfr from 5.30 on, an
// older one in its OEM code page, and takes the password as the run's calls do (RunOptionsFor), which
// only the comparison of encrypted entries by content uses. One that gives no version is no console
// archiver: the words for that, which every archive then says, and none is listed.
std::wstring DecideCalls(const BatchJob& job, RunningArchivers* archivers, RunOptions& options,
                         std::string& passwordInput) {
  const CallResult probe = ProbeArchiver(job.RarPath, archivers);
  const std::optional<std::string> ansi = ToCodePage(job.Password, CP_ACP);
  std::wstring note;
  options = RunOptionsFor(ParseArchiverVersion(probe.Output), ansi.has_value(), &note);
  if (ansi && job.UsePassword && !job.Password.empty()) passwordInput = *ansi + "\r\n";
  return WhyArchiverUnusable(probe).value_or(L"");
}

}  // namespace

void JobPreviewer::Start() {
  if (shared_->running || shared_->manager.Joinable()) return;
  shared_->running = true;
  shared_->started = Stopwatch();
  Shared* s = shared_.get();
  const bool managerStarted = s->manager.Start([s] {
    std::wstring unusable;
    RunOptions options{PasswordSource::None, false};
    std::string passwordInput;
    std::vector<std::wstring> stored;
    try {
      unusable = DecideCalls(s->job, &s->archivers, options, passwordInput);
      stored = StoredPathsOfAdds(s->job);
      const PreviewCost cost = CostOf(s->job, s->workers);
      std::lock_guard<Mutex> hold(s->lock);
      s->cost = cost;
    } catch (const std::exception& failure) {
      unusable = L"无法预览：" + FromCodePage(failure.what(), CP_ACP);
    } catch (...) {
      unusable = L"无法预览：未知错误";
    }
    const auto work = [s, &options, &passwordInput, &stored, &unusable] {
      for (;;) {
        std::size_t i;
        {
          std::lock_guard<Mutex> hold(s->lock);
          if (s->stopping || s->next >= s->results.size()) return;
          i = s->next++;
        }
        // An archive that cannot be previewed (out of memory on a huge listing, say) says why; the
        // worker goes on with the next, and the program with it.
        ArchivePreview preview;
        preview.Archive = s->job.Archives[i];
        try {
          if (unusable.empty()) {
            preview = PreviewArchive(s->job, i, options, passwordInput, stored, &s->archivers);
          } else {
            preview.ListProblem = unusable;
          }
        } catch (const std::exception& failure) {
          preview.ListProblem = L"无法预览：" + FromCodePage(failure.what(), CP_ACP);
        } catch (...) {
          preview.ListProblem = L"无法预览：未知错误";
        }
        {
          std::lock_guard<Mutex> hold(s->lock);
          s->results[i] = std::move(preview);
          s->done[i] = true;
        }
        try {
          if (s->events.ArchiveDone) s->events.ArchiveDone(i);
        } catch (...) {
        }
      }
    };
    const std::size_t count = std::min<std::size_t>(s->workers, std::max<std::size_t>(s->results.size(), 1));
    std::vector<Thread> workers(count);
    std::size_t running = 0;
    for (Thread& worker : workers) running += worker.Start(work) ? 1 : 0;
    // With no thread to be had, the manager looks at the archives itself.
    if (running == 0) work();
    for (Thread& worker : workers) worker.Join();
    {
      std::lock_guard<Mutex> hold(s->lock);
      s->elapsedMs = s->started.Milliseconds();
    }
    s->running = false;
    if (s->events.Ended) s->events.Ended();
  });
  if (!managerStarted) {
    // Nothing is looked at; the preview ends at once, its archives not done.
    s->running = false;
    if (s->events.Ended) s->events.Ended();
  }
}

void JobPreviewer::Stop() { shared_->stopping = true; }

void JobPreviewer::Wait() {
  shared_->manager.Join();
}

bool JobPreviewer::IsRunning() const { return shared_->running; }
const BatchJob& JobPreviewer::Job() const { return shared_->job; }
std::size_t JobPreviewer::ArchiveCount() const { return shared_->results.size(); }

bool JobPreviewer::IsDone(std::size_t archive) const {
  std::lock_guard<Mutex> hold(shared_->lock);
  return shared_->done[archive];
}

ArchivePreview JobPreviewer::Result(std::size_t archive) const {
  std::lock_guard<Mutex> hold(shared_->lock);
  return shared_->results[archive];
}

PreviewCost JobPreviewer::Cost() const {
  std::lock_guard<Mutex> hold(shared_->lock);
  return shared_->cost;
}

std::vector<ArchivePreview> JobPreviewer::Results() const {
  std::lock_guard<Mutex> hold(shared_->lock);
  return shared_->results;
}

unsigned long long JobPreviewer::ElapsedMs() const {
  std::lock_guard<Mutex> hold(shared_->lock);
  return shared_->elapsedMs;
}

}  // namespace rarbatch
