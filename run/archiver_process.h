// One archiver call as a process of its own: started without a console and without a command
// interpreter, its output collected, its exit code taken.
#pragma once

#include <string>

#include "core/archiver_calls.h"

namespace rarbatch {

// Runs `call` with the archiver at `rarPath` and waits for it to end. Its standard input is empty, so
// a question can never hold it; its standard and error output go, in the order written, into one pipe
// that is read to its end and kept (bounded), decoded from the OEM code page. A process that cannot
// be started gives StartFailed with the system's text for why. Safe to call from several threads at
// once: each child inherits only its own two handles.
CallResult RunArchiverCall(const std::wstring& rarPath, const ArchiverCall& call);

}  // namespace rarbatch
