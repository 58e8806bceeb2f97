// Writing a whole file at once.
#pragma once

#include <windows.h>

#include <string>

namespace rarbatch {

// Creates or truncates `path` and writes `bytes` to it. Returns ERROR_SUCCESS, or the system's error
// code of the step that failed.
DWORD WriteWholeFile(const std::wstring& path, const std::string& bytes);

}  // namespace rarbatch
