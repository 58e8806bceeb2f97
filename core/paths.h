// Small rules on folder paths shared by the program folder and folder import.
#pragma once

#include <string>

namespace rarbatch {

// The folder with exactly one backslash at its end: unchanged when it already ends in one.
std::wstring WithTrailingBackslash(std::wstring folder);

}  // namespace rarbatch
