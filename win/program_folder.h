// The folder that holds the running program.
#pragma once

#include <string>

namespace rarbatch {

// The folder of the running executable, ending in exactly one backslash.
std::wstring ProgramFolder();

}  // namespace rarbatch
