// Which of an archive file's marks are put back after a change.
#include "file_marks.h"

namespace rarbatch {

bool CarriesMarks(const FileMarks& before) { return (before.Attributes & kKeptAttributes) != 0 || before.Zone; }

std::wstring NameMarks(const FileMarks& marks) {
  std::wstring names;
  const auto add = [&names](const wchar_t* name) { names += (names.empty() ? L"" : L"、") + std::wstring(name); };
  if (marks.Attributes & kReadOnlyAttribute) add(L"只读");
  if (marks.Attributes & kHiddenAttribute) add(L"隐藏");
  if (marks.Zone) add(L"下载标记");
  return names;
}

FileMarks MarksToPutBack(const FileMarks& before, const FileMarks& now) {
  FileMarks wanted = now;
  wanted.Attributes |= before.Attributes & kKeptAttributes;
  if (!wanted.Zone) wanted.Zone = before.Zone;
  return wanted;
}

}  // namespace rarbatch
