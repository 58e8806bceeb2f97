// How the console archiver splits its own command line, and how to write one argument for it.
#pragma once

#include <string>
#include <vector>

namespace rarbatch {

// The arguments the archiver reads from `text`. It does not follow the C runtime: spaces and tabs
// separate arguments, a double quote switches quoting on and off, two adjacent double quotes give one
// literal double quote (inside quoting or outside it), and a backslash is always an ordinary
// character, also right before a double quote.
std::vector<std::wstring> SplitArchiverArguments(const std::wstring& text);

// `argument` between double quotes, with each double quote in it doubled, so that
// SplitArchiverArguments gives it back exactly. Backslashes are written as they are. The archiver's
// rules have no way to write an empty argument ("" reads as one quote), so `argument` is not empty.
std::wstring QuoteArchiverArgument(const std::wstring& argument);

// The words the archiver reads from one delete entry on its own script line: the entry split by
// SplitArchiverArguments, less empty words (a lone quote), which name nothing and cannot be written
// as an argument. The program's run passes exactly these, each quoted, so that an unbalanced quote in
// one entry cannot run on into the next.
std::vector<std::wstring> DeleteEntryWords(const std::wstring& entry);

// Whether a word of a delete entry is read by the archiver as something other than a name inside the
// archive: a switch ("-r") or a list file ("@names.txt").
bool IsSwitchOrListWord(const std::wstring& word);

// Whether a delete entry, as the archiver splits it, names something to delete: a word that is not
// empty and is not a switch ("-..."). A word starting with '@' names a list file and counts. An entry
// that names nothing would make the archiver delete every file.
bool NamesSomethingToDelete(const std::wstring& entry);

}  // namespace rarbatch
