// Refuses a job whose text cannot be put into a batch script without changing its meaning.
#include "script_check.h"

#include <vector>

namespace rarbatch {
namespace {

enum class Fault { None, LineBreak, Quote, Encoding };

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
    case Fault::None: break;
  }
  return L"";
}

std::wstring Describe(const wchar_t* field, Fault fault, const std::wstring* item, std::size_t index,
                      bool showText) {
  std::wstring message = field;
  if (item) message += L"第 " + std::to_wstring(index + 1) + L" 项";
  message += Reason(fault);
  message += L"，无法写入批处理文件。";
  if (showText) message += L"\n" + (item ? *item : std::wstring());
  return message;
}

}  // namespace

std::optional<std::wstring> FindScriptProblem(const BatchJob& job, const EncodableFn& encodable) {
  struct Single { const wchar_t* field; const std::wstring& value; bool quoteAllowed; };
  struct List { const wchar_t* field; const std::vector<std::wstring>& items; bool quoteAllowed; };

  const Single rar{L"RAR.exe 的路径", job.RarPath, false};
  const List lists[] = {
      {L"压缩包列表", job.Archives, false},
      {L"删除文件列表", job.DeleteNames, true},  // typed quotes group a name that holds spaces
      {L"添加文件列表", job.AddFiles, false},
  };
  const Single comment{L"注释文件的路径", job.CommentFile, false};

  auto single = [&](const Single& s, bool showText) -> std::optional<std::wstring> {
    const Fault fault = FindFault(s.value, s.quoteAllowed, encodable);
    if (fault == Fault::None) return std::nullopt;
    std::wstring message = Describe(s.field, fault, nullptr, 0, false);
    if (showText) message += L"\n" + s.value;
    return message;
  };

  if (auto problem = single(rar, true)) return problem;
  for (const List& list : lists) {
    for (std::size_t i = 0; i < list.items.size(); ++i) {
      const Fault fault = FindFault(list.items[i], list.quoteAllowed, encodable);
      if (fault != Fault::None) return Describe(list.field, fault, &list.items[i], i, true);
    }
  }
  if (auto problem = single(comment, true)) return problem;
  // The password is checked only when it is used, and never echoed back.
  if (job.UsePassword) {
    if (auto problem = single({L"密码", job.Password, false}, false)) return problem;
  }
  return std::nullopt;
}

}  // namespace rarbatch
