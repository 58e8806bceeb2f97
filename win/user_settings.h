// The settings kept per user in %APPDATA%\rarbatch\settings.ini, and finding the archiver by itself.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/settings_text.h"

namespace rarbatch {

// %APPDATA%\rarbatch\settings.ini; empty when the system names no APPDATA folder.
std::wstring SettingsFilePath();

// The settings in the file at `path`; none when it is missing, unreadable, too large, damaged or
// not the program's. Never fails and tells nobody.
Settings LoadSettings(const std::wstring& path);

// Writes the settings to `path` (making its folder), replacing the old file in one move.
// ERROR_SUCCESS or the system's error code.
DWORD SaveSettings(const std::wstring& path, const Settings& settings);

// The archiver's own registry key, under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER: its values exe64
// and exe32 name the archiver's window program, beside which Rar.exe stands.
inline constexpr wchar_t kArchiverRegistryKey[] = L"Software\\WinRAR";

// Where Rar.exe may be, in the order it is looked for: `lastUsed`; beside each program the registry
// key names (HKEY_LOCAL_MACHINE, in its 64-bit and 32-bit views, then HKEY_CURRENT_USER; exe64 before
// exe32); then in the archiver's folder under %ProgramW6432% (the 64-bit Program Files, which a
// 32-bit program's %ProgramFiles% does not name), %ProgramFiles% and %ProgramFiles(x86)%. Empty and
// repeated entries are left out.
std::vector<std::wstring> ArchiverCandidates(const std::wstring& lastUsed,
                                             const wchar_t* registryKey = kArchiverRegistryKey);

// The first candidate that is an existing file; empty when none is.
std::wstring FindArchiver(const std::wstring& lastUsed, const wchar_t* registryKey = kArchiverRegistryKey);

}  // namespace rarbatch
