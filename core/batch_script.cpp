// Composes the batch script: one archiver command line per operation and archive.
//
// Every piece that comes from the user is escaped once, up front, so that the command interpreter
// hands the archiver exactly what the user entered:
//  - '%' is doubled everywhere, since a batch file expands it even inside double quotes;
//  - outside double quotes '&', '|', '<', '>' and '^' get a '^' in front;
//  - a double quote inside the quoted password is doubled: the archiver reads two adjacent quotes as
//    one, and for the interpreter they close and reopen the quoting, so the rest stays quoted.
// Backslashes are written as they are: the archiver splits its command line itself and never treats a
// backslash as an escape, not even before a quote.
// The lines are then written into storage reserved once for the whole text.
#include "batch_script.h"

#include <algorithm>
#include <cstddef>

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

// A delete name is written unquoted, so that one entry may hold several names. Quotes the user typed
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

// "-p" + password as one argument, with its trailing space; empty when no password is used.
std::wstring PasswordSwitch(const BatchJob& job) {
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

std::size_t TotalSize(const std::vector<std::wstring>& items, std::size_t extraEach) {
  std::size_t total = 0;
  for (const auto& item : items) total += item.size() + extraEach;
  return total;
}

// Each line's fixed pieces, counted from the line forms below, without the CR LF.
constexpr std::size_t kDeleteFixed = 4 + 2;      // ` d "` `" `
constexpr std::size_t kAddFixed = 3 + 1 + 3 + 1;  // ` a ` `"` `" "` `"`
constexpr std::size_t kCommentFixed = 6 + 3 + 1;  // ` c -z"` `" "` `"`
constexpr std::size_t kLockFixed = 4 + 1;         // ` k "` `"`
constexpr std::size_t kLineEnd = 2;

// The job's pieces as they are written into the script, each escaped once.
struct EscapedJob {
  explicit EscapedJob(const BatchJob& job)
      : Rar(L"\"" + EscapeQuoted(job.RarPath) + L"\""),
        Password(PasswordSwitch(job)),
        Comment(EscapeQuoted(job.CommentFile)),
        HasComment(!job.CommentFile.empty()),
        Lock(job.Lock),
        Archives(EscapeAll(job.Archives, EscapeQuoted)),
        Names(EscapeAll(job.DeleteNames, EscapeDeleteName)),
        Files(EscapeAll(job.AddFiles, EscapeQuoted)) {}

  std::wstring Rar, Password, Comment;
  bool HasComment, Lock;
  std::vector<std::wstring> Archives, Names, Files;
};

}  // namespace

std::wstring ComposeBatchScript(const BatchJob& job) {
  if (job.Archives.empty()) return {};
  const EscapedJob e(job);
  const std::wstring& rar = e.Rar;

  const std::size_t deleteBytes = TotalSize(e.Names, rar.size() + kDeleteFixed + kLineEnd);
  const std::size_t addBytes =
      TotalSize(e.Files, rar.size() + e.Password.size() + kAddFixed + kLineEnd);
  const std::size_t commentBytes =
      e.HasComment ? rar.size() + e.Comment.size() + kCommentFixed + kLineEnd : 0;
  const std::size_t lockBytes = e.Lock ? rar.size() + kLockFixed + kLineEnd : 0;
  std::size_t total = 0;
  for (const auto& a : e.Archives) {
    total += deleteBytes + e.Names.size() * a.size() + addBytes + e.Files.size() * a.size();
    if (e.HasComment) total += commentBytes + a.size();
    if (e.Lock) total += lockBytes + a.size();
  }

  std::wstring text;
  text.reserve(total);
  for (const auto& a : e.Archives) {
    for (const auto& n : e.Names) {
      text.append(rar).append(L" d \"").append(a).append(L"\" ").append(n).append(L"\r\n");
    }
    for (const auto& f : e.Files) {
      text.append(rar).append(L" a ").append(e.Password).append(L"\"").append(a)
          .append(L"\" \"").append(f).append(L"\"\r\n");
    }
    if (e.HasComment) {
      text.append(rar).append(L" c -z\"").append(e.Comment).append(L"\" \"").append(a)
          .append(L"\"\r\n");
    }
    if (e.Lock) text.append(rar).append(L" k \"").append(a).append(L"\"\r\n");
  }
  return text;
}

bool ScriptHoldsPassword(const BatchJob& job) {
  return job.UsePassword && !job.Password.empty() && !job.Archives.empty() && !job.AddFiles.empty();
}

std::optional<OverlongLine> FindOverlongLine(const BatchJob& job) {
  if (job.Archives.empty()) return std::nullopt;
  const EscapedJob e(job);
  auto longest = [](const std::vector<std::wstring>& items) {
    std::size_t most = 0;
    for (const auto& item : items) most = std::max(most, item.size());
    return most;
  };
  // The first item of `items` whose line, `fixed` + the item, is too long.
  auto firstTooLong = [](const std::vector<std::wstring>& items, std::size_t fixed) {
    std::size_t i = 0;
    while (fixed + items[i].size() <= kMaxScriptLineLength) ++i;
    return i;
  };
  const std::size_t longestName = longest(e.Names);
  const std::size_t longestFile = longest(e.Files);
  for (std::size_t i = 0; i < e.Archives.size(); ++i) {
    const std::size_t a = e.Archives[i].size();
    const std::size_t deleteFixed = e.Rar.size() + kDeleteFixed + a;
    if (!e.Names.empty() && deleteFixed + longestName > kMaxScriptLineLength) {
      const std::size_t n = firstTooLong(e.Names, deleteFixed);
      return OverlongLine{i, ScriptOperation::Delete, n, deleteFixed + e.Names[n].size()};
    }
    const std::size_t addFixed = e.Rar.size() + e.Password.size() + kAddFixed + a;
    if (!e.Files.empty() && addFixed + longestFile > kMaxScriptLineLength) {
      const std::size_t f = firstTooLong(e.Files, addFixed);
      return OverlongLine{i, ScriptOperation::Add, f, addFixed + e.Files[f].size()};
    }
    const std::size_t comment = e.Rar.size() + kCommentFixed + e.Comment.size() + a;
    if (e.HasComment && comment > kMaxScriptLineLength) {
      return OverlongLine{i, ScriptOperation::Comment, 0, comment};
    }
    const std::size_t lock = e.Rar.size() + kLockFixed + a;
    if (e.Lock && lock > kMaxScriptLineLength) {
      return OverlongLine{i, ScriptOperation::Lock, 0, lock};
    }
  }
  return std::nullopt;
}

}  // namespace rarbatch
