// A run's table as text, and as a file: what the results window's copy and save buttons hand out.
#pragma once

#include <windows.h>

#include <string>

#include "run/job_runner.h"

namespace rarbatch {

// The header and one line per archive (archive, status, words), tab-separated, lines ended by CR LF.
std::wstring RunReportText(const JobRunner& runner);

// Writes RunReportText to `path` in UTF-8 with a byte order mark, so that every editor on Windows takes
// it for UTF-8. ERROR_SUCCESS, ERROR_NO_UNICODE_TRANSLATION when the text holds a broken surrogate, or
// the system's error code.
DWORD SaveRunReport(const JobRunner& runner, const std::wstring& path);

// Writes any report `text` so.
DWORD SaveReportText(const std::wstring& text, const std::wstring& path);

}  // namespace rarbatch
