// Composes the batch script: one archiver command line per operation and archive.
//
// Every piece that comes from the user is escaped once, up front, so that the command interpreter
// hands the archiver exactly what the user entered:
//  - '%' is doubled everywhere, since a batch file expands it even inside double quotes;
//  - outside double quotes '&', '|', '<', '>' and '^' get a '^' in front;
//  - inside a quoted argument a run of backslashes before the closing quote is doubled, since the
//    C runtime would otherwise read "\"" as a literal quote.
// The lines are then written into storage reserved once for the whole text.
#include "batch_script.h"

#include <cstddef>

namespace rarbatch {
namespace {

bool IsShellOperator(wchar_t c) {
  return c == L'&' || c == L'|' || c == L'<' || c == L'>' || c == L'^';
}

// A path written between double quotes. `beforeQuote` doubles the trailing backslashes, which the
// C runtime would otherwise pair with the closing quote.
std::wstring EscapeQuoted(const std::wstring& s, bool beforeQuote) {
  std::wstring out;
  out.reserve(s.size() + 8);
  for (wchar_t c : s) {
    if (c == L'%') out.push_back(L'%');
    out.push_back(c);
  }
  if (beforeQuote) {
    std::size_t trailing = 0;
    while (trailing < s.size() && s[s.size() - 1 - trailing] == L'\\') ++trailing;
    out.append(trailing, L'\\');
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
  return L"\"-p" + EscapeQuoted(job.Password, true) + L"\" ";
}

std::vector<std::wstring> EscapeAll(const std::vector<std::wstring>& items,
                                    std::wstring (*escape)(const std::wstring&)) {
  std::vector<std::wstring> out;
  out.reserve(items.size());
  for (const auto& item : items) out.push_back(escape(item));
  return out;
}

std::wstring EscapePath(const std::wstring& s) { return EscapeQuoted(s, true); }

std::size_t TotalSize(const std::vector<std::wstring>& items, std::size_t extraEach) {
  std::size_t total = 0;
  for (const auto& item : items) total += item.size() + extraEach;
  return total;
}

}  // namespace

std::wstring ComposeBatchScript(const BatchJob& job) {
  if (job.Archives.empty()) return {};

  const std::wstring rar = L"\"" + EscapeQuoted(job.RarPath, false) + L"\"";
  const std::wstring password = PasswordSwitch(job);
  const std::wstring comment = EscapePath(job.CommentFile);
  const bool hasComment = !job.CommentFile.empty();
  const std::vector<std::wstring> archives = EscapeAll(job.Archives, EscapePath);
  const std::vector<std::wstring> names = EscapeAll(job.DeleteNames, EscapeDeleteName);
  const std::vector<std::wstring> files = EscapeAll(job.AddFiles, EscapePath);

  // Each line's fixed pieces, counted from the line forms below, CR LF included.
  constexpr std::size_t kDeleteFixed = 4 + 2 + 2;      // ` d "` `" ` CRLF
  constexpr std::size_t kAddFixed = 3 + 1 + 3 + 1 + 2; // ` a ` `"` `" "` `"` CRLF
  constexpr std::size_t kCommentFixed = 6 + 3 + 1 + 2; // ` c -z"` `" "` `"` CRLF
  constexpr std::size_t kLockFixed = 4 + 1 + 2;        // ` k "` `"` CRLF
  const std::size_t deleteBytes = TotalSize(names, rar.size() + kDeleteFixed);
  const std::size_t addBytes = TotalSize(files, rar.size() + password.size() + kAddFixed);
  const std::size_t commentBytes = hasComment ? rar.size() + comment.size() + kCommentFixed : 0;
  const std::size_t lockBytes = job.Lock ? rar.size() + kLockFixed : 0;
  std::size_t total = 0;
  for (const auto& a : archives) {
    total += deleteBytes + names.size() * a.size() + addBytes + files.size() * a.size();
    if (hasComment) total += commentBytes + a.size();
    if (job.Lock) total += lockBytes + a.size();
  }

  std::wstring text;
  text.reserve(total);
  for (const auto& a : archives) {
    for (const auto& n : names) {
      text.append(rar).append(L" d \"").append(a).append(L"\" ").append(n).append(L"\r\n");
    }
    for (const auto& f : files) {
      text.append(rar).append(L" a ").append(password).append(L"\"").append(a)
          .append(L"\" \"").append(f).append(L"\"\r\n");
    }
    if (hasComment) {
      text.append(rar).append(L" c -z\"").append(comment).append(L"\" \"").append(a)
          .append(L"\"\r\n");
    }
    if (job.Lock) text.append(rar).append(L" k \"").append(a).append(L"\"\r\n");
  }
  return text;
}

}  // namespace rarbatch
