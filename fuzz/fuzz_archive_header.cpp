// An archive's first bytes, read before the archiver is called: never a read outside them (the
// sanitizers see to that), and no flag is claimed from a header that was not read whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/archive_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const rarbatch::ArchiveHeader header = rarbatch::ReadArchiveHeader(bytes);
  const bool rar = header.Format == rarbatch::ArchiveFormat::Rar4 || header.Format == rarbatch::ArchiveFormat::Rar5;
  // Flags are read only from a RAR 4 or 5 main header that is whole.
  if ((!rar || header.Damaged) &&
      (header.Volume || header.Locked || header.Solid || header.FirstVolume || header.NamesEncrypted ||
       header.RecoveryRecord)) {
    std::abort();
  }
  // A record's place only with a record; the percent asked for stays within what the archiver takes.
  if (!header.RecoveryRecord && header.RecoveryOffset != 0) std::abort();
  for (const std::uint64_t fileSize : {std::uint64_t{size}, std::uint64_t{size} * 1000, ~std::uint64_t{0}}) {
    if (rarbatch::RecoveryPercentToKeep(header, fileSize) > rarbatch::kMostRecoveryPercent) std::abort();
  }
  (void)rarbatch::WhyNoCallCanSucceed(header, rarbatch::BatchJob{});
  return 0;
}
