// How the console archiver splits its own command line, and how to write one argument for it.
#include "archiver_args.h"

namespace rarbatch {

std::vector<std::wstring> SplitArchiverArguments(const std::wstring& text) {
  std::vector<std::wstring> arguments;
  std::wstring current;
  bool inQuotes = false;
  bool inWord = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'"') {
      inWord = true;
      if (i + 1 < text.size() && text[i + 1] == L'"') {
        current.push_back(L'"');
        ++i;
      } else {
        inQuotes = !inQuotes;
      }
    } else if ((c == L' ' || c == L'\t') && !inQuotes) {
      if (inWord) arguments.push_back(std::move(current));
      current.clear();
      inWord = false;
    } else {
      current.push_back(c);
      inWord = true;
    }
  }
  if (inWord) arguments.push_back(std::move(current));
  return arguments;
}

std::wstring QuoteArchiverArgument(const std::wstring& argument) {
  std::wstring out;
  out.reserve(argument.size() + 4);
  // Right after an opening quote, two quotes would read as one literal quote, so quotes that lead the
  // argument are written before the quoting starts, each as a pair.
  std::size_t i = 0;
  for (; i < argument.size() && argument[i] == L'"'; ++i) out.append(L"\"\"");
  if (i == argument.size() && i != 0) return out;
  out.push_back(L'"');
  for (; i < argument.size(); ++i) {
    if (argument[i] == L'"') out.push_back(L'"');
    out.push_back(argument[i]);
  }
  out.push_back(L'"');
  return out;
}

std::vector<std::wstring> DeleteEntryWords(const std::wstring& entry) {
  std::vector<std::wstring> words = SplitArchiverArguments(entry);
  std::erase_if(words, [](const std::wstring& word) { return word.empty(); });
  return words;
}

bool IsSwitchOrListWord(const std::wstring& word) {
  return !word.empty() && (word.front() == L'-' || word.front() == L'@');
}

bool NamesSomethingToDelete(const std::wstring& entry) {
  for (const std::wstring& word : DeleteEntryWords(entry)) {
    if (word.front() != L'-') return true;
  }
  return false;
}

}  // namespace rarbatch
