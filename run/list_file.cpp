// The list file an archiver call reads its names from.
#include "run/list_file.h"

#include <atomic>

#include "core/number_text.h"
#include "win/file_ops.h"
#include "win/text.h"

namespace rarbatch {

std::wstring ListFilePath(unsigned number) {
  return TempFolderPath() + L"rarbatch " + Decimal(GetCurrentProcessId()) + L"-" + Decimal(number) + L".lst";
}

std::wstring NewListFilePath() {
  static std::atomic<unsigned> next{0};
  return ListFilePath(next++);
}

std::optional<TempFile> WriteListFile(const CallResult& call) {
  if (call.ListFile.empty()) return std::nullopt;
  const std::optional<std::string> utf8 = ToCodePage(call.ListText, CP_UTF8);
  if (!utf8) return std::nullopt;
  std::optional<TempFile> file = TempFile::At(call.ListFile);
  if (!file || file->Write(*utf8) != ERROR_SUCCESS) return std::nullopt;
  file->Close();
  return file;
}

}  // namespace rarbatch
