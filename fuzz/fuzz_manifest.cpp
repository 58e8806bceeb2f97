// Backup manifests from anywhere: parsing never crashes, a record never names a copy outside the
// manifest's folder, and every record written again reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/backup_plan.h"
#include "core/utf8.h"

namespace {

// A copy's path names a file below the manifest's folder: relative, no drive, and no step that is
// empty, "." or "..". ("..rar" is a name like any other.)
bool StaysInside(const std::wstring& copy) {
  if (copy.empty() || copy.find_first_of(L":/") != std::wstring::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = copy.find(L'\\', start);
    const std::wstring step = copy.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (step.empty() || step == L"." || step == L"..") return false;
    if (end == std::wstring::npos) return true;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);  // as the restore reads it
  const std::optional<std::wstring> text = rarbatch::FromUtf8(bytes);
  if (!text) return 0;
  std::size_t bad = 0;
  bool torn = false;
  const auto records = rarbatch::ParseManifest(*text, &bad, &torn);
  if (!records) return 0;
  const std::wstring header = std::wstring(rarbatch::kManifestHeader) + L"\r\n";
  for (rarbatch::BackupRecord record : *records) {
    if (!StaysInside(record.Copy)) std::abort();
    record.After.reset();
    const auto again = rarbatch::ParseManifest(header + rarbatch::FormatManifestLine(record), &bad);
    if (!again || again->size() != 1 || (*again)[0] != record) std::abort();
  }
  return 0;
}
