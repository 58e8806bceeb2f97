// One archiver call as a process of its own: started without a console and without a command
// interpreter, its output collected, its exit code taken.
#pragma once

#include <windows.h>

#include <string>

#include "core/archiver_calls.h"

namespace rarbatch {

// The exit code a process gets when the run ends it through its job object.
inline constexpr DWORD kEndedByStopExitCode = 0x53544F50;

// Runs `call` with the archiver at `rarPath` and waits for it to end, filling in its outcome, exit code
// and output. Its standard input gives `input` (the password, in the ANSI code page, ended by a line
// break) when the call reads one there, and nothing otherwise, so a question can never hold it. Its
// standard and error output go, in the order written, into one pipe that is read to its end and kept
// (bounded), decoded from UTF-8 or the OEM code page as the call asked. The process joins `job` (when
// not null), so that the run can end it. One that cannot be started gives StartFailed with the
// system's text for why. Safe to call from several threads at once: each child inherits only its own
// handles.
// `keepBytes`, when not 0, keeps that many bytes from the start of the output and nothing after
// them, instead of the bounded start and end, for a caller that needs the output whole (a listing).
void RunArchiverCall(const std::wstring& rarPath, CallResult& call, const std::string& input, HANDLE job,
                     std::size_t keepBytes = 0);

// What the archiver writes when started without arguments (its banner and help), or empty when it
// cannot be started.
std::wstring ArchiverBanner(const std::wstring& rarPath);

}  // namespace rarbatch
