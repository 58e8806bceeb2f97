// The list file an archiver call reads its names from: written in UTF-8 as a temporary file that
// is deleted when the call is done with it.
#pragma once

#include <optional>
#include <string>

#include "core/archiver_calls.h"
#include "win/temp_file.h"

namespace rarbatch {

// The path of this process's `number`th list file: "rarbatch <process>-<number>.lst" in the user's
// temporary folder. The name is decided before the file is written, since the call's arguments
// name it.
std::wstring ListFilePath(unsigned number);
// The next list file's path of this process: numbered once for the whole process, so that a run, a
// preview and their comparisons never name the same file.
std::wstring NewListFilePath();

// Writes `call.ListText` in UTF-8 to `call.ListFile`, owned by the object returned: the file goes
// when it does. Nothing when the call has no list file, when the text has no UTF-8 form (an empty
// file would tell the archiver "no names") or when the file cannot be written; a file begun is
// removed again.
std::optional<TempFile> WriteListFile(const CallResult& call);

}  // namespace rarbatch
