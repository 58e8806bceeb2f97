// What the run asks of the archives' files.
#include "archive_files.h"

#include <windows.h>

#include <algorithm>
#include <numeric>
#include <optional>

#include "core/number_text.h"
#include "core/backup_plan.h"
#include "core/paths.h"
#include "win/file_identity.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/text.h"

namespace rarbatch {

std::vector<std::size_t> SameFileGroups(const std::vector<std::wstring>& archives) {
  std::vector<std::wstring> keys;
  keys.reserve(archives.size());
  for (const auto& archive : archives) keys.push_back(SameFileKey(archive));
  std::vector<std::size_t> order(archives.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  std::vector<std::size_t> groups(archives.size());
  std::size_t group = 0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k > 0 && keys[order[k - 1]] != keys[order[k]]) ++group;
    groups[order[k]] = group;
  }
  return groups;
}

std::wstring BackupRoot(const std::vector<std::wstring>& archives) {
  std::vector<std::wstring> full;
  full.reserve(archives.size());
  for (const auto& archive : archives) full.push_back(FullPathOf(archive));
  return CommonRoot(full);
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(ExtendedLengthPath(FullPathOf(path)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring TemporaryFilesBeside(const std::wstring& archive) {
  const std::wstring full = FullPathOf(archive);
  const std::wstring folder = full.substr(0, full.find_last_of(L'\\') + 1);
  WIN32_FIND_DATAW found;
  FindHandle find(FindFirstFileW(ExtendedLengthPath(folder + L"__rar_*").c_str(), &found));
  std::wstring names;
  if (!find) return names;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (!names.empty()) names += L"、";
    names += folder + found.cFileName;
  } while (FindNextFileW(find.get(), &found));
  return names;
}

std::wstring ListFilePath(unsigned number) {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  return std::wstring(temp) + L"rarbatch " + Decimal(GetCurrentProcessId()) + L"-" + Decimal(number) + L".lst";
}

bool WriteListFile(const CallResult& call) {
  // Never an empty file in place of names that have no UTF-8 form: the archiver would take it for
  // "nothing to delete".
  const std::optional<std::string> utf8 = ToCodePage(call.ListText, CP_UTF8);
  if (!utf8) return false;
  const std::string& bytes = *utf8;
  UniqueHandle file(CreateFileW(ExtendedLengthPath(call.ListFile).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace rarbatch
