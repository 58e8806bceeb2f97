// Small rules on folder paths shared by the program folder, folder import and drops.
#pragma once

#include <string>

namespace rarbatch {

// The folder with exactly one backslash at its end: unchanged when it already ends in one.
std::wstring WithTrailingBackslash(std::wstring folder);

// The form of a full path that the system takes as it stands, at any length: "\\?\C:\dir" for
// "C:\dir" and "\\?\UNC\server\share\dir" for "\\server\share\dir". Only a plain full path is
// changed (a drive letter or a server and share, backslashes only, no "." or ".." step), since the
// system no longer tidies a path in this form; anything else comes back unchanged. Names keep
// trailing spaces and dots in this form, so a folder named "x " is not taken for "x".
std::wstring ExtendedLengthPath(const std::wstring& path);

}  // namespace rarbatch
