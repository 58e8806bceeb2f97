// Selecting a folder in the folder-browse dialog, as a test answers it.
#pragma once

#include <windows.h>

#include <string>

namespace rarbatch::testing {

// Selects `folder` in a folder-browse dialog of this process and waits until its tree shows that
// folder as the selected item, and still does a moment later. Under Wine a selection asked for as
// the dialog first shows is now and then lost (OK then returns some other folder), so it is
// asked for again until it holds. Returns whether it
// held within `timeoutMs`; the caller then presses OK either way.
bool SelectFolder(HWND dialog, const std::wstring& folder, DWORD timeoutMs = 10000);

}  // namespace rarbatch::testing
