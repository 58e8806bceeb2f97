// What every archive of a job gets from the archiver, decided once, and written out for the script
// and for the program's own run.
//
// The script's escaping: every piece that comes from the user is escaped once, up front, so that the
// command interpreter hands the archiver exactly what the user entered:
//  - '%' is doubled everywhere, since a batch file expands it even inside double quotes;
//  - outside double quotes '&', '|', '<', '>' and '^' get a '^' in front;
//  - a double quote inside the quoted password is doubled: the archiver reads two adjacent quotes as
//    one, and for the interpreter they close and reopen the quoting, so the rest stays quoted.
// Backslashes are written as they are: the archiver splits its command line itself and never treats a
// backslash as an escape, not even before a quote.
#include "archive_plan.h"

#include "archiver_args.h"

#include <algorithm>

namespace rarbatch {
namespace {

bool IsShellOperator(wchar_t c) {
  return c == L'&' || c == L'|' || c == L'<' || c == L'>' || c == L'^';
}

// Text written between double quotes: '%' doubled for the interpreter, '"' doubled for the archiver
// (paths never hold one; a password may).
std::wstring EscapeQuoted(const std::wstring& s) {
  std::wstring out;
  out.reserve(s.size() + 8);
  for (wchar_t c : s) {
    if (c == L'%' || c == L'"') out.push_back(c);
    out.push_back(c);
  }
  return out;
}

// A delete entry is written unquoted, so that one entry may hold several names. Quotes the user typed
// keep their meaning; the operators are escaped only where the interpreter would act on them.
std::wstring EscapeDeleteName(const std::wstring& s) {
  std::wstring out;
  out.reserve(s.size() + 8);
  bool inQuotes = false;
  for (wchar_t c : s) {
    if (c == L'"') {
      inQuotes = !inQuotes;
    } else if (c == L'%') {
      out.push_back(L'%');
    } else if (!inQuotes && IsShellOperator(c)) {
      out.push_back(L'^');
    }
    out.push_back(c);
  }
  return out;
}

bool PasswordNeedsQuotes(const std::wstring& password) {
  for (wchar_t c : password) {
    switch (c) {
      case L' ': case L'\t': case L'&': case L'|': case L'<': case L'>': case L'^':
      case L'(': case L')': case L'"': case L'%':
        return true;
      default:
        break;
    }
  }
  return false;
}

// "-p" + password as the script writes it, with its trailing space; empty when no password is used.
std::wstring ScriptPasswordSwitch(const BatchJob& job) {
  if (!job.UsePassword) return {};
  if (!PasswordNeedsQuotes(job.Password)) return L"-p" + job.Password + L" ";
  return L"\"-p" + EscapeQuoted(job.Password) + L"\" ";
}

std::vector<std::wstring> EscapeAll(const std::vector<std::wstring>& items,
                                    std::wstring (*escape)(const std::wstring&)) {
  std::vector<std::wstring> out;
  out.reserve(items.size());
  for (const auto& item : items) out.push_back(escape(item));
  return out;
}

// Whether a delete entry, as the archiver splits it, holds a switch. Such an entry gets a call of its
// own, so that its switch applies to its own names only, as on its script line.
bool HoldsSwitch(const std::wstring& entry) {
  for (const std::wstring& word : DeleteEntryWords(entry)) {
    if (word.front() == L'-') return true;
  }
  return false;
}

// The arguments the archiver reads from the call's delete entries, in order: each entry's own words,
// as its own script line gives them.
std::vector<std::wstring> DeleteArguments(const BatchJob& job, const PlannedCall& call) {
  std::vector<std::wstring> words;
  for (std::size_t n : call.Names) {
    for (std::wstring& word : DeleteEntryWords(job.DeleteNames[n])) words.push_back(std::move(word));
  }
  return words;
}

// The switches of a program's call, each with a leading space, in the order the archiver is given
// them: before the archive, so that no name can be taken for one.
// With `passwordAt`, the password switch is written masked (kMaskedPasswordSwitch) and its place kept.
void AppendRunSwitches(std::wstring& line, const BatchJob& job, const PlannedCall& call, bool listFile,
                       std::size_t* passwordAt) {
  if (call.BaseNamesOnly) line += L" -ep1";
  if (call.Password == PasswordSource::StandardInput) line += L" -p";
  if (call.Password == PasswordSource::CommandLine) {
    line += L" ";
    if (passwordAt) *passwordAt = line.size();
    line += passwordAt ? std::wstring(kMaskedPasswordSwitch) : QuoteArchiverArgument(L"-p" + job.Password);
  }
  if (call.Lock && call.Command != ScriptOperation::Lock) line += L" -k";
  if (call.Comment) line += L" " + QuoteArchiverArgument(L"-z" + job.CommentFile);
  if (call.KeepTimes) line += L" -tk";
  if (call.RecoveryPercent > 0) line += L" -rr" + std::to_wstring(call.RecoveryPercent) + L"%";
  if (call.Utf8Output) line += L" -scfr";
  if (listFile) line += L" -scfl";
}

const wchar_t* CommandLetter(ScriptOperation command) {
  switch (command) {
    case ScriptOperation::Delete: return L" d";
    case ScriptOperation::Add: return L" a";
    case ScriptOperation::Comment: return L" c";
    case ScriptOperation::Lock: return L" k";
    case ScriptOperation::Test: return L" t";
  }
  return L"";
}

// The command line with `archiveText` (quoted) in the archive's place.
std::wstring RenderRunCall(const BatchJob& job, const PlannedCall& call, const std::wstring& archiveText,
                           const std::wstring& listFile, std::size_t* passwordAt = nullptr) {
  std::wstring line = QuoteArchiverArgument(job.RarPath);
  line += CommandLetter(call.Command);
  AppendRunSwitches(line, job, call, !listFile.empty(), passwordAt);
  line += L" " + archiveText;
  // With a list file the names go into it, and what the archiver reads as a switch or as a list of
  // its own stays on the line.
  for (const std::wstring& word : DeleteArguments(job, call)) {
    if (listFile.empty() || IsSwitchOrListWord(word)) line += L" " + QuoteArchiverArgument(word);
  }
  if (!listFile.empty()) {
    line += L" " + QuoteArchiverArgument(L"@" + listFile);
    return line;
  }
  for (const std::wstring& entry : call.ContentEntries) line += L" " + QuoteArchiverArgument(entry);
  for (std::size_t f : call.Files) line += L" " + QuoteArchiverArgument(job.AddFiles[f]);
  return line;
}

}  // namespace

ArchivePlan ScriptPlan(const BatchJob& job) {
  ArchivePlan plan;
  plan.reserve(job.DeleteNames.size() + job.AddFiles.size() + 2);
  for (std::size_t n = 0; n < job.DeleteNames.size(); ++n) {
    PlannedCall call;
    call.Command = ScriptOperation::Delete;
    call.Names = {n};
    plan.push_back(std::move(call));
  }
  for (std::size_t f = 0; f < job.AddFiles.size(); ++f) {
    PlannedCall call;
    call.Command = ScriptOperation::Add;
    call.Files = {f};
    call.Password = job.UsePassword ? PasswordSource::CommandLine : PasswordSource::None;
    plan.push_back(std::move(call));
  }
  if (!job.CommentFile.empty()) {
    PlannedCall call;
    call.Command = ScriptOperation::Comment;
    call.Comment = true;
    plan.push_back(std::move(call));
  }
  if (job.Lock) {
    PlannedCall call;
    call.Command = ScriptOperation::Lock;
    call.Lock = true;
    plan.push_back(std::move(call));
  }
  return plan;
}

std::optional<PlannedCall> FinishingCall(const BatchJob& job, const RunOptions& options) {
  if (job.CommentFile.empty() && !job.Lock) return std::nullopt;
  PlannedCall call;
  call.Command = job.CommentFile.empty() ? ScriptOperation::Lock : ScriptOperation::Comment;
  call.Comment = !job.CommentFile.empty();
  call.Lock = job.Lock;
  call.Utf8Output = options.Utf8Output;
  call.KeepTimes = job.KeepTimes;
  if (options.PasswordOnEveryCall && job.UsePassword) call.Password = options.Password;
  call.RecoveryPercent = options.RecoveryPercent;
  return call;
}

ArchivePlan RunPlan(const BatchJob& job, const RunOptions& options) {
  ArchivePlan plan;
  PlannedCall names;
  names.Command = ScriptOperation::Delete;
  names.Utf8Output = options.Utf8Output;
  std::vector<PlannedCall> withSwitches;
  for (std::size_t n = 0; n < job.DeleteNames.size(); ++n) {
    if (!HoldsSwitch(job.DeleteNames[n])) {
      names.Names.push_back(n);
      continue;
    }
    PlannedCall own = names;
    own.Names = {n};
    withSwitches.push_back(std::move(own));
  }
  names.ContentEntries = options.ContentEntries;
  if (!names.Names.empty() || !names.ContentEntries.empty()) plan.push_back(std::move(names));
  for (PlannedCall& call : withSwitches) plan.push_back(std::move(call));

  if (!job.AddFiles.empty()) {
    PlannedCall add;
    add.Command = ScriptOperation::Add;
    add.Files.resize(job.AddFiles.size());
    for (std::size_t f = 0; f < add.Files.size(); ++f) add.Files[f] = f;
    add.BaseNamesOnly = true;
    add.Password = job.UsePassword ? options.Password : PasswordSource::None;
    add.Utf8Output = options.Utf8Output;
    plan.push_back(std::move(add));
  }

  // With a test, the lock waits for it, and the comment goes with the lock; without a lock the
  // comment stays on the last change.
  const bool lockAfterTest = job.TestBeforeLock && job.Lock;
  if (plan.empty() && !lockAfterTest) {
    if (auto finishing = FinishingCall(job, options)) plan.push_back(std::move(*finishing));
  } else if (!plan.empty() && !lockAfterTest) {
    plan.back().Comment = !job.CommentFile.empty();
    plan.back().Lock = job.Lock;
  }
  if (job.TestBeforeLock) {
    PlannedCall test;
    test.Command = ScriptOperation::Test;
    // Files added under the password can be tested only with it.
    test.Password = job.UsePassword ? options.Password : PasswordSource::None;
    test.Utf8Output = options.Utf8Output;
    plan.push_back(std::move(test));
    if (lockAfterTest) plan.push_back(*FinishingCall(job, options));
  }
  for (PlannedCall& call : plan) {
    call.KeepTimes = job.KeepTimes;
    if (options.PasswordOnEveryCall && job.UsePassword) call.Password = options.Password;
  }
  // The recovery record goes with every rewrite: the last change makes it anew. A lock that waits
  // for a test may never come, so the last change before the test makes it as well.
  if (options.RecoveryPercent > 0) {
    const auto lastChangeBefore = [&plan](std::size_t end) -> PlannedCall* {
      for (std::size_t c = end; c-- > 0;) {
        if (plan[c].Command != ScriptOperation::Test) return &plan[c];
      }
      return nullptr;
    };
    if (PlannedCall* last = lastChangeBefore(plan.size())) last->RecoveryPercent = options.RecoveryPercent;
    const auto test = std::find_if(plan.begin(), plan.end(),
                                   [](const PlannedCall& c) { return c.Command == ScriptOperation::Test; });
    if (PlannedCall* beforeTest = lastChangeBefore(static_cast<std::size_t>(test - plan.begin()))) {
      beforeTest->RecoveryPercent = options.RecoveryPercent;
    }
  }
  return plan;
}

ScriptWriter::ScriptWriter(const BatchJob& job)
    : rar_(L"\"" + EscapeQuoted(job.RarPath) + L"\""),
      password_(ScriptPasswordSwitch(job)),
      comment_(EscapeQuoted(job.CommentFile)),
      archives_(EscapeAll(job.Archives, EscapeQuoted)),
      names_(EscapeAll(job.DeleteNames, EscapeDeleteName)),
      files_(EscapeAll(job.AddFiles, EscapeQuoted)) {}

void ScriptWriter::Write(std::wstring& text, const PlannedCall& call, const std::wstring& a) const {
  switch (call.Command) {
    case ScriptOperation::Delete:
      text.append(rar_).append(L" d \"").append(a).append(L"\" ").append(names_[call.Names.front()]);
      break;
    case ScriptOperation::Add:
      text.append(rar_).append(L" a ").append(password_).append(L"\"").append(a).append(L"\" \"")
          .append(files_[call.Files.front()]).append(L"\"");
      break;
    case ScriptOperation::Comment:
      text.append(rar_).append(L" c -z\"").append(comment_).append(L"\" \"").append(a).append(L"\"");
      break;
    case ScriptOperation::Lock:
      text.append(rar_).append(L" k \"").append(a).append(L"\"");
      break;
    case ScriptOperation::Test:
      break;  // the script never tests
  }
}

void ScriptWriter::Append(std::wstring& text, const PlannedCall& call, std::size_t archive) const {
  Write(text, call, archives_[archive]);
  text.append(L"\r\n");
}

std::size_t ScriptWriter::FixedLength(const PlannedCall& call) const {
  std::wstring line;
  Write(line, call, {});
  return line.size();
}

std::wstring RunCommandLine(const BatchJob& job, const PlannedCall& call, std::size_t archive,
                            const std::wstring& listFile) {
  return RenderRunCall(job, call, QuoteArchiverArgument(job.Archives[archive]), listFile);
}

std::wstring MaskedRunCommandLine(const BatchJob& job, const PlannedCall& call, std::size_t archive,
                                  const std::wstring& listFile, std::size_t* passwordAt) {
  *passwordAt = std::wstring::npos;
  return RenderRunCall(job, call, QuoteArchiverArgument(job.Archives[archive]), listFile, passwordAt);
}

std::wstring WithPassword(const std::wstring& masked, std::size_t passwordAt, const std::wstring& password) {
  const std::wstring mask = kMaskedPasswordSwitch;
  if (passwordAt == std::wstring::npos || masked.compare(passwordAt, mask.size(), mask) != 0) return masked;
  return masked.substr(0, passwordAt) + QuoteArchiverArgument(L"-p" + password) + masked.substr(passwordAt + mask.size());
}

std::size_t RunCommandLineFixedLength(const BatchJob& job, const PlannedCall& call,
                                      const std::wstring& listFile) {
  return RenderRunCall(job, call, {}, listFile).size();
}

std::size_t RunArchiveLength(const BatchJob& job, std::size_t archive) {
  return QuoteArchiverArgument(job.Archives[archive]).size();
}

bool CanUseListFile(const PlannedCall& call) {
  return !call.Names.empty() || !call.Files.empty() || !call.ContentEntries.empty();
}

std::wstring ListFileText(const BatchJob& job, const PlannedCall& call) {
  // Quoted as on the command line: the archiver reads a list file's line as it reads an argument,
  // and unquoted it would drop a name's trailing spaces.
  std::wstring text;
  for (const std::wstring& word : DeleteArguments(job, call)) {
    if (!IsSwitchOrListWord(word)) text += QuoteArchiverArgument(word) + L"\r\n";
  }
  for (const std::wstring& entry : call.ContentEntries) text += QuoteArchiverArgument(entry) + L"\r\n";
  for (std::size_t f : call.Files) text += QuoteArchiverArgument(job.AddFiles[f]) + L"\r\n";
  return text;
}

}  // namespace rarbatch
