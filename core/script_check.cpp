// Refuses a job whose text cannot be put into a batch script, or passed to the archiver call by call,
// without changing its meaning.
#include "script_check.h"

#include <algorithm>
#include <cwctype>
#include <utility>
#include <vector>

#include "archiver_args.h"
#include "archiver_calls.h"
#include "core/number_text.h"
#include "core/utf8.h"

namespace rarbatch {
namespace {

enum class Fault { None, LineBreak, Quote, Encoding, NoUtf8 };

Fault FindFault(const std::wstring& s, bool quoteAllowed, const EncodableFn& encodable) {
  for (wchar_t c : s) {
    // A CR or LF would end the command line early and start a new one; a NUL ends the text.
    if (c == L'\r' || c == L'\n' || c == L'\0') return Fault::LineBreak;
    if (c == L'"' && !quoteAllowed) return Fault::Quote;
  }
  if (encodable && !encodable(s)) return Fault::Encoding;
  return Fault::None;
}

const wchar_t* Reason(Fault fault) {
  switch (fault) {
    case Fault::LineBreak: return L"含有回车、换行或空字符";
    case Fault::Quote: return L"含有双引号";
    case Fault::Encoding: return L"含有系统代码页无法表示的字符";
    case Fault::NoUtf8: return L"含有无法写成 UTF-8 的字符（单独的代理项）";
    case Fault::None: break;
  }
  return L"";
}

// What cannot be done with a faulty field: the script cannot be written, or the archiver cannot be
// called.
enum class Mode { Script, Run };

// "<field>[第 N 项]<reason>，<consequence>。" and, unless hidden, the offending text below.
std::wstring Describe(const wchar_t* field, Fault fault, std::size_t item, const std::wstring* text,
                      Mode mode) {
  std::wstring message = field;
  if (item != 0) message += L"第 " + Decimal(item) + L" 项";
  message += Reason(fault);
  message += mode == Mode::Script ? L"，无法写入批处理文件。" : L"，无法交给压缩程序。";
  if (text) message += L"\n" + *text;
  return message;
}

// Given no name, the archiver takes every file: a delete entry that names nothing would empty every
// archive of the list.
std::optional<std::wstring> FindEmptyDeleteEntry(const std::vector<std::wstring>& names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (NamesSomethingToDelete(names[i])) continue;
    return L"删除文件列表第 " + Decimal(i + 1) +
           L" 项没有指定任何文件名（只有空格、空字符串或以 - 开头的开关）。压缩程序会因此删除每个"
           L"压缩包中的全部文件，所以不执行。\n“" + names[i] + L"”";
  }
  return std::nullopt;
}

// A name that ends in "\" or "/" ("docs\"), or is a lone ".", looks like one folder, but the archiver
// takes it for every file: each archive would be emptied, and then deleted. A folder is named without
// the separator ("docs"). The words checked are the very arguments the archiver gets, from the script's
// line of the entry and from the program's delete call alike.
std::optional<std::wstring> FindDeleteNameThatTakesEverything(const std::vector<std::wstring>& names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    for (const std::wstring& word : DeleteEntryWords(names[i])) {
      if (IsSwitchOrListWord(word)) continue;
      const bool separatorLast = word.back() == L'\\' || word.back() == L'/';
      if (!separatorLast && word != L".") continue;
      return L"删除文件列表第 " + Decimal(i + 1) + L" 项中的“" + word +
             L"”会被压缩程序当作全部文件：每个压缩包都会被清空，随后被删除，所以不执行。"
             L"要删除一个文件夹，请去掉末尾的“\\”或“/”。\n“" + names[i] + L"”";
    }
  }
  return std::nullopt;
}

// The name a file to add gets at the archive's root (the program's run adds with -ep1): its last path
// component, without the trailing backslash of a folder, in one letter case.
std::wstring RootName(std::wstring path) {
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  std::wstring name = path.substr(path.find_last_of(L"\\/:") + 1);
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
  return name;
}

// Two files to add that would land at the archive's root under one name: the archiver would store
// both, as two entries of the same name.
std::optional<std::wstring> FindSameRootNames(const std::vector<std::wstring>& files) {
  std::vector<std::pair<std::wstring, std::size_t>> names;
  names.reserve(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) names.emplace_back(RootName(files[i]), i);
  std::sort(names.begin(), names.end());
  for (std::size_t k = 1; k < names.size(); ++k) {
    if (names[k].first != names[k - 1].first || names[k].first.empty()) continue;
    const std::size_t first = names[k - 1].second, second = names[k].second;
    return L"添加文件列表第 " + Decimal(first + 1) + L" 项和第 " + Decimal(second + 1) +
           L" 项的名字相同。在本窗口中运行时，添加的文件都放在压缩包的根目录，两者会成为压缩包中同名的两项，"
           L"所以不执行。请改名，或不勾选“在本窗口中运行并显示结果”（那样添加的文件保留其路径）。\n" +
           files[first] + L"\n" + files[second];
  }
  return std::nullopt;
}

// "<which command of which archive>长 N 个字符，<limit>" and the archive and item below.
std::wstring DescribeOverlong(const BatchJob& job, const OverlongLine& line,
                             const std::wstring& limit) {
  std::wstring message = L"压缩包列表第 " + Decimal(line.Archive + 1) + L" 项的";
  std::wstring item;
  switch (line.Item == kNoItem ? ScriptOperation::Lock : line.Operation) {
    case ScriptOperation::Delete:
      message += L"删除命令（删除文件列表第 " + Decimal(line.Item + 1) + L" 项）";
      item = job.DeleteNames[line.Item];
      break;
    case ScriptOperation::Add:
      message += L"添加命令（添加文件列表第 " + Decimal(line.Item + 1) + L" 项）";
      item = job.AddFiles[line.Item];
      break;
    case ScriptOperation::Comment:
      message += L"注释命令（注释文件）";
      item = job.CommentFile;
      break;
    case ScriptOperation::Lock:
    case ScriptOperation::Test:
      message += line.Operation == ScriptOperation::Delete ? L"删除命令"
                 : line.Operation == ScriptOperation::Add  ? L"添加命令"
                 : line.Operation == ScriptOperation::Test ? L"测试命令" : L"锁定命令";
      break;
  }
  message += L"长 " + Decimal(line.Length) + L" 个字符，" + limit + L"\n" +
             job.Archives[line.Archive];
  if (!item.empty()) message += L"\n" + item;
  return message;
}

// The first field of the job that cannot be passed on in `mode`, in the order the window shows them.
// A double quote is refused in a path only for the script, whose paths are written between quotes
// as they are; `encodable` is checked when given.
std::optional<std::wstring> FindFieldProblem(const BatchJob& job, Mode mode,
                                             const EncodableFn& encodable) {
  const bool quotedPaths = mode == Mode::Run;
  // One text field: `item` counts from 1 within a list, 0 for a single field.
  auto check = [&](const wchar_t* field, const std::wstring& value, bool quoteAllowed,
                   std::size_t item, bool showText) -> std::optional<std::wstring> {
    const Fault fault = FindFault(value, quoteAllowed, encodable);
    if (fault == Fault::None) return std::nullopt;
    return Describe(field, fault, item, showText ? &value : nullptr, mode);
  };
  auto checkList = [&](const wchar_t* field, const std::vector<std::wstring>& items,
                       bool quoteAllowed) -> std::optional<std::wstring> {
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (auto problem = check(field, items[i], quoteAllowed, i + 1, true)) return problem;
    }
    return std::nullopt;
  };

  // The run hands long lists of names and files over in a UTF-8 list file, where a text without a
  // UTF-8 form (a lone surrogate, which NTFS names may hold) would be left out: the archiver would
  // find nothing to delete and say so as a success. Refused whether or not a list file is needed, so
  // that the job does not act one way on short lines and another on long ones.
  auto checkUtf8 = [&](const wchar_t* field, const std::vector<std::wstring>& items) -> std::optional<std::wstring> {
    if (mode != Mode::Run) return std::nullopt;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (!ToUtf8(items[i])) return Describe(field, Fault::NoUtf8, i + 1, &items[i], mode);
    }
    return std::nullopt;
  };

  if (auto p = check(L"RAR.exe 的路径", job.RarPath, quotedPaths, 0, true)) return p;
  if (auto p = checkList(L"压缩包列表", job.Archives, quotedPaths)) return p;
  // Quotes typed in a delete name group a name that holds spaces.
  if (auto p = checkList(L"删除文件列表", job.DeleteNames, true)) return p;
  if (auto p = checkUtf8(L"删除文件列表", job.DeleteNames)) return p;
  if (auto p = FindEmptyDeleteEntry(job.DeleteNames)) return p;
  if (auto p = FindDeleteNameThatTakesEverything(job.DeleteNames)) return p;
  if (auto p = checkList(L"添加文件列表", job.AddFiles, quotedPaths)) return p;
  if (auto p = checkUtf8(L"添加文件列表", job.AddFiles)) return p;
  if (auto p = check(L"注释文件的路径", job.CommentFile, quotedPaths, 0, true)) return p;
  // The password is checked only when it is used, and never echoed back. A double quote in it is
  // written doubled, which the archiver reads as one.
  if (job.UsePassword) {
    if (auto p = check(L"密码", job.Password, true, 0, false)) return p;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::wstring> FindScriptProblem(const BatchJob& job, const EncodableFn& encodable) {
  if (auto p = FindFieldProblem(job, Mode::Script, encodable)) return p;
  if (auto line = FindOverlongLine(job)) {
    return DescribeOverlong(job, *line,
                            L"超过命令解释器一行最多 " + Decimal(kMaxScriptLineLength) +
                                L" 个字符的限制，无法写入批处理文件。");
  }
  return std::nullopt;
}

std::optional<std::wstring> FindRunProblem(const BatchJob& job) {
  if (auto p = FindFieldProblem(job, Mode::Run, {})) return p;
  // The archiver would stop to ask for a password, and no one can answer it.
  if (job.UsePassword && job.Password.empty()) return std::wstring(kEmptyPasswordMessage);
  if (auto same = FindSameRootNames(job.AddFiles)) return same;
  if (auto call = FindOverlongCall(job)) {
    return DescribeOverlong(job, *call,
                            L"超过 Windows 命令行最多 " + Decimal(kMaxCommandLineLength) +
                                L" 个字符的限制，无法交给压缩程序。");
  }
  return std::nullopt;
}

}  // namespace rarbatch
