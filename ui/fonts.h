// The fonts of the program's windows: 宋体 9 pt where it is installed, as on the target systems,
// otherwise the system's message font.
#pragma once

#include <windows.h>

#include "win/handles.h"

namespace rarbatch {

// The windows' font at `dpi`: 宋体 9 pt (GB2312) where it is installed, otherwise the system's
// message font.
LOGFONTW DefaultLogFont(unsigned dpi);

// Makes the windows' font at `dpi` and gives it to every child of `window`; the caller keeps it for as
// long as the children use it. Empty, and the children keep theirs, when it cannot be made.
UniqueFont GiveChildrenTheFont(HWND window, unsigned dpi);

// Whether a font family of that name is installed for the character set.
bool IsFontInstalled(const wchar_t* face, BYTE charset);

}  // namespace rarbatch
