// Settings per user and the archiver's usual places.
#include "win/user_settings.h"

#include <algorithm>
#include <cwctype>

#include "core/paths.h"
#include "win/file_identity.h"
#include "win/file_ops.h"
#include "win/saved_files.h"

namespace rarbatch {

namespace {

std::wstring Environment(const wchar_t* name) {
  const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return {};
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), needed);
  value.resize(length < needed ? length : 0);
  return value;
}

// A string value of a registry key, or empty.
std::wstring RegistryText(HKEY root, const wchar_t* key, REGSAM view, const wchar_t* name) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return {};
  std::wstring value;
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(opened, name, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && bytes > 0 && bytes < 65536) {
    value.resize(bytes / sizeof(wchar_t) + 1);
    if (RegQueryValueExW(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes) ==
        ERROR_SUCCESS) {
      value.resize(std::min<std::size_t>(bytes / sizeof(wchar_t), value.size()));
      value.resize(std::wcslen(value.c_str()));  // the data may or may not end in NUL
    } else {
      value.clear();
    }
  }
  RegCloseKey(opened);
  return value;
}

// Rar.exe in the folder of the program `exe` names; empty when it names no folder.
std::wstring RarBeside(const std::wstring& exe) {
  const std::size_t slash = exe.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  return exe.substr(0, slash + 1) + L"Rar.exe";
}

}  // namespace

std::wstring SettingsFilePath() {
  const std::wstring appData = Environment(L"APPDATA");
  if (appData.empty()) return {};
  return WithTrailingBackslash(appData) + L"rarbatch\\settings.ini";
}

Settings LoadSettings(const std::wstring& path) {
  if (path.empty()) return {};
  const SmallFile file = ReadSmallFile(path, kMaxSettingsBytes);
  if (file.Error != ERROR_SUCCESS || file.TooLarge) return {};
  return ParseSettings(file.Bytes);
}

DWORD SaveSettings(const std::wstring& path, const Settings& settings) {
  const std::size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos) {
    if (const DWORD error = MakeFolders(path.substr(0, slash)); error != ERROR_SUCCESS) return error;
  }
  return ReplaceFileContents(path, FormatSettings(settings));
}

std::vector<std::wstring> ArchiverCandidates(const std::wstring& lastUsed, const wchar_t* registryKey) {
  std::vector<std::wstring> candidates;
  auto add = [&](const std::wstring& path) {
    if (path.empty()) return;
    const std::wstring key = PathKey(path);
    for (const std::wstring& known : candidates) {
      if (PathKey(known) == key) return;
    }
    candidates.push_back(path);
  };
  add(lastUsed);
  const struct {
    HKEY Root;
    REGSAM View;
  } places[] = {
      {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY},
      {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY},
      {HKEY_CURRENT_USER, 0},
  };
  for (const auto& place : places) {
    for (const wchar_t* value : {L"exe64", L"exe32"}) add(RarBeside(RegistryText(place.Root, registryKey, place.View, value)));
  }
  for (const wchar_t* folder : {L"ProgramW6432", L"ProgramFiles", L"ProgramFiles(x86)"}) {
    const std::wstring programs = Environment(folder);
    if (!programs.empty()) add(WithTrailingBackslash(programs) + L"WinRAR\\Rar.exe");
  }
  return candidates;
}

std::wstring FindArchiver(const std::wstring& lastUsed, const wchar_t* registryKey) {
  for (const std::wstring& candidate : ArchiverCandidates(lastUsed, registryKey)) {
    if (IsExistingFile(candidate)) return candidate;
  }
  return {};
}

}  // namespace rarbatch
