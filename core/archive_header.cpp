// What an archive's first bytes say about it, and the reason no call can succeed on it.
#include "archive_header.h"

#include <algorithm>
#include <cstdint>

namespace rarbatch {
namespace {

constexpr std::string_view kRar5Signature("Rar!\x1A\x07\x01\x00", 8);
constexpr std::string_view kRarSignaturePrefix("Rar!\x1A\x07", 6);  // then the format version
constexpr std::string_view kRar14Signature("RE~^", 4);
constexpr std::string_view kProgramSignature("MZ", 2);

// The CRC-32 of zip and PNG (reflected, polynomial 0xEDB88320). Headers are short; no table needed.
std::uint32_t Crc32(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::uint32_t LittleEndian(std::string_view bytes, std::size_t at, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = count; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

ArchiveHeader Damaged(ArchiveFormat format) {
  ArchiveHeader header;
  header.Format = format;
  header.Damaged = true;
  return header;
}

// RAR 4: after the signature (which is also the marker block), the main archive header: HEAD_CRC (2),
// HEAD_TYPE (1) = 0x73, HEAD_FLAGS (2), HEAD_SIZE (2), RESERVED1 (2), RESERVED2 (4), perhaps more.
ArchiveHeader ReadRar4(std::string_view bytes) {
  constexpr std::size_t kStart = 7;  // the signature "Rar!\x1A\x07\x00"
  constexpr std::size_t kFixedSize = 13;
  if (bytes.size() < kStart + kFixedSize) return Damaged(ArchiveFormat::Rar4);
  const std::string_view head = bytes.substr(kStart);
  const std::uint32_t storedCrc = LittleEndian(head, 0, 2);
  const std::uint32_t flags = LittleEndian(head, 3, 2);
  const std::uint32_t size = LittleEndian(head, 5, 2);
  if (static_cast<unsigned char>(head[2]) != 0x73 || size < kFixedSize) return Damaged(ArchiveFormat::Rar4);
  // The CRC covers HEAD_TYPE to RESERVED2; archivers that add the encryption version byte (flag 0x0200)
  // cover the whole header instead. Either one matching will do.
  const auto matches = [&](std::size_t end) {
    return end <= head.size() && (Crc32(head.substr(2, end - 2)) & 0xFFFFu) == storedCrc;
  };
  if (!matches(kFixedSize) && !matches(size)) return Damaged(ArchiveFormat::Rar4);

  ArchiveHeader header;
  header.Format = ArchiveFormat::Rar4;
  header.Volume = (flags & 0x0001) != 0;
  header.Locked = (flags & 0x0004) != 0;
  header.Solid = (flags & 0x0008) != 0;
  header.NamesEncrypted = (flags & 0x0080) != 0;
  header.FirstVolume = header.Volume && (flags & 0x0100) != 0;
  header.RecoveryRecord = (flags & 0x0040) != 0;
  return header;
}

// Reads RAR 5's variable-length numbers (7 bits a byte, lowest first, the top bit saying another
// byte follows; at most 10 bytes) from a span, never past its end.
class VintReader {
 public:
  explicit VintReader(std::string_view bytes) : bytes_(bytes) {}

  std::optional<std::uint64_t> Next() {
    std::uint64_t value = 0;
    for (int i = 0; i < 10 && at_ < bytes_.size(); ++i) {
      const auto byte = static_cast<unsigned char>(bytes_[at_++]);
      const std::uint64_t bits = byte & 0x7Fu;
      if (i == 9 && bits > 1) return std::nullopt;  // beyond 64 bits
      value |= bits << (7 * i);
      if ((byte & 0x80u) == 0) return value;
    }
    return std::nullopt;  // cut short, or an 11th byte
  }

  std::size_t Position() const { return at_; }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

// One RAR 5 header: CRC32 (4 bytes) of what follows it, header size (vint), then that many bytes
// starting with the header type (vint). `body` is those bytes.
struct Rar5Block {
  std::uint64_t Type;
  std::string_view Body;
};

std::optional<Rar5Block> ReadRar5Block(std::string_view bytes) {
  if (bytes.size() < 4) return std::nullopt;
  VintReader reader(bytes.substr(4));
  const std::optional<std::uint64_t> size = reader.Next();
  const std::size_t bodyStart = 4 + reader.Position();
  if (!size || *size == 0 || *size > bytes.size() - bodyStart) return std::nullopt;
  const std::size_t end = bodyStart + static_cast<std::size_t>(*size);
  if (Crc32(bytes.substr(4, end - 4)) != LittleEndian(bytes, 0, 4)) return std::nullopt;
  const std::string_view body = bytes.substr(bodyStart, end - bodyStart);
  const std::optional<std::uint64_t> type = VintReader(body).Next();
  if (!type) return std::nullopt;
  return Rar5Block{*type, body};
}

// The main header's extra area: records of size (vint, counting what follows it), type (vint) and
// data. The locator (type 1): flags (vint), then the quick open offset when flag 0x0001 and the
// recovery record's offset when flag 0x0002. Gives that offset, or 0.
std::uint64_t RecoveryOffsetIn(std::string_view extra) {
  while (!extra.empty()) {
    VintReader reader(extra);
    const std::optional<std::uint64_t> size = reader.Next();
    if (!size || *size == 0 || *size > extra.size() - reader.Position()) return 0;
    const std::string_view record = extra.substr(reader.Position(), static_cast<std::size_t>(*size));
    extra.remove_prefix(reader.Position() + static_cast<std::size_t>(*size));
    VintReader fields(record);
    if (fields.Next() != std::optional<std::uint64_t>(1)) continue;
    const std::optional<std::uint64_t> flags = fields.Next();
    if (!flags) return 0;
    if ((*flags & 0x0001) && !fields.Next()) return 0;
    if (!(*flags & 0x0002)) return 0;
    return fields.Next().value_or(0);
  }
  return 0;
}

// RAR 5: after the signature, the archive encryption header (type 4) when the names are encrypted,
// else the main archive header (type 1): type, header flags, the extra area's size when flag 0x0001,
// the data area's size when flag 0x0002, archive flags, and the volume number when archive flag 0x0002.
ArchiveHeader ReadRar5(std::string_view bytes) {
  const std::optional<Rar5Block> block = ReadRar5Block(bytes.substr(kRar5Signature.size()));
  if (!block) return Damaged(ArchiveFormat::Rar5);
  ArchiveHeader header;
  header.Format = ArchiveFormat::Rar5;
  if (block->Type == 4) {
    header.NamesEncrypted = true;
    return header;
  }
  if (block->Type != 1) return Damaged(ArchiveFormat::Rar5);

  VintReader reader(block->Body);
  reader.Next();  // the type, read once already
  const std::optional<std::uint64_t> headerFlags = reader.Next();
  if (!headerFlags) return Damaged(ArchiveFormat::Rar5);
  std::optional<std::uint64_t> extraSize;
  if ((*headerFlags & 0x0001) && !(extraSize = reader.Next())) return Damaged(ArchiveFormat::Rar5);
  if ((*headerFlags & 0x0002) && !reader.Next()) return Damaged(ArchiveFormat::Rar5);
  const std::optional<std::uint64_t> archiveFlags = reader.Next();
  if (!archiveFlags) return Damaged(ArchiveFormat::Rar5);
  const bool hasVolumeNumber = (*archiveFlags & 0x0002) != 0;
  if (hasVolumeNumber && !reader.Next()) return Damaged(ArchiveFormat::Rar5);
  // The extra area is the header's last bytes; a size that does not fit is ignored, not fatal.
  if (extraSize && *extraSize <= block->Body.size()) {
    header.RecoveryOffset = RecoveryOffsetIn(block->Body.substr(block->Body.size() - *extraSize));
  }

  header.Volume = (*archiveFlags & 0x0001) != 0;
  header.FirstVolume = header.Volume && !hasVolumeNumber;
  header.Solid = (*archiveFlags & 0x0004) != 0;
  header.Locked = (*archiveFlags & 0x0010) != 0;
  header.RecoveryRecord = (*archiveFlags & 0x0008) != 0;
  if (!header.RecoveryRecord) header.RecoveryOffset = 0;
  return header;
}

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

ArchiveHeader ReadArchiveHeader(std::string_view firstBytes) {
  ArchiveHeader header;
  if (StartsWith(firstBytes, kRarSignaturePrefix)) {
    // The byte after the common six gives the format; a later format raises it.
    if (firstBytes.size() == kRarSignaturePrefix.size()) {
      header.Format = ArchiveFormat::UnknownRar;  // cut before saying which
    } else if (firstBytes[kRarSignaturePrefix.size()] == '\x00') {
      return ReadRar4(firstBytes);
    } else if (firstBytes[kRarSignaturePrefix.size()] == '\x01') {
      return StartsWith(firstBytes, kRar5Signature) ? ReadRar5(firstBytes) : Damaged(ArchiveFormat::Rar5);
    } else {
      header.Format = ArchiveFormat::UnknownRar;
    }
  } else if (StartsWith(firstBytes, kRar14Signature)) {
    header.Format = ArchiveFormat::UnknownRar;
  } else if (StartsWith(firstBytes, kProgramSignature)) {
    header.Format = ArchiveFormat::Program;
  }
  return header;
}

std::uint64_t RecoveryRecordSize(const ArchiveHeader& header, std::uint64_t fileSize) {
  if (!header.RecoveryRecord || header.RecoveryOffset == 0 || header.RecoveryOffset >= fileSize) return 0;
  return fileSize - header.RecoveryOffset;
}

unsigned RecoveryPercentToKeep(const ArchiveHeader& header, std::uint64_t fileSize) {
  if (!header.RecoveryRecord) return 0;
  const std::uint64_t record = RecoveryRecordSize(header, fileSize);
  if (record == 0) return kFallbackRecoveryPercent;
  const std::uint64_t data = header.RecoveryOffset;
  // ceil(100 * record / data) + 1, without overflow for any size a file can have.
  const std::uint64_t limit = kMostRecoveryPercent;
  if (record / data >= limit / 100) return kMostRecoveryPercent;
  const std::uint64_t share = (record * 100 + data - 1) / data;
  return static_cast<unsigned>(std::min<std::uint64_t>(share + 1, limit));
}

std::optional<std::wstring> WhyNoCallCanSucceed(const ArchiveHeader& header, const BatchJob& job) {
  if (header.Format == ArchiveFormat::NotRar) return L"不是 RAR 压缩包";
  if (header.Format != ArchiveFormat::Rar4 && header.Format != ArchiveFormat::Rar5) return std::nullopt;
  if (header.Damaged) return std::nullopt;
  if (header.Locked) return L"已锁定";
  // The password goes to the add calls, and with samples to the listing and the comparison as well.
  const bool callsWithPassword =
      job.UsePassword && !job.Password.empty() && (!job.AddFiles.empty() || !job.Samples.empty());
  if (header.NamesEncrypted && !callsWithPassword) return L"文件名已加密，需要密码";
  // Samples delete too: the archiver modifies no volume ("Cannot modify volume"), so a match found in
  // one could never be taken out.
  const bool deletesOrAdds = !job.DeleteNames.empty() || !job.AddFiles.empty() || !job.Samples.empty();
  if (header.Volume && deletesOrAdds) return L"分卷压缩包不能删除或添加文件";
  return std::nullopt;
}

}  // namespace rarbatch
