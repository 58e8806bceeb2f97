// SHA-256 through CNG: one provider and one hash object per digest, freed by their owners.
#include "win/file_hash.h"

#include <bcrypt.h>

#include <algorithm>

#include "core/content_samples.h"
#include "core/paths.h"
#include "win/file_ops.h"
#include "win/files.h"
#include "win/handles.h"

namespace rarbatch {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// One SHA-256 computation: the provider and the hash object, closed when it goes.
class Sha256 {
 public:
  Sha256() {
    if (!Succeeded(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      algorithm_ = nullptr;
      return;
    }
    // No buffer given: the system keeps the hash object's memory (Windows 7 and later).
    if (!Succeeded(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) hash_ = nullptr;
  }
  ~Sha256() {
    if (hash_) BCryptDestroyHash(hash_);
    if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool Update(const char* data, ULONG size) {
    return hash_ && Succeeded(BCryptHashData(hash_, reinterpret_cast<PUCHAR>(const_cast<char*>(data)), size, 0));
  }
  std::optional<std::string> FinishHex() {
    UCHAR digest[32];
    if (!hash_ || !Succeeded(BCryptFinishHash(hash_, digest, sizeof digest, 0))) return std::nullopt;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (UCHAR byte : digest) {
      hex.push_back(kDigits[byte >> 4]);
      hex.push_back(kDigits[byte & 15]);
    }
    return hex;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

struct StreamDigest::State {
  Sha256 hash;
  bool failed = false;
};

StreamDigest::StreamDigest() : state_(std::make_unique<State>()) {}
StreamDigest::~StreamDigest() = default;

bool StreamDigest::Add(const char* data, std::size_t size) {
  // CNG takes a ULONG at a time.
  while (!state_->failed && size > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
    state_->failed = !state_->hash.Update(data, piece);
    data += piece;
    size -= piece;
  }
  return !state_->failed;
}

std::optional<std::string> StreamDigest::FinishHex() {
  if (state_->failed) return std::nullopt;
  return state_->hash.FinishHex();
}

std::optional<ContentSample> SampleOfFile(const std::wstring& path, DWORD* error) {
  const std::atomic<bool> never{false};
  return SampleOfFile(path, error, never);
}

std::optional<ContentSample> SampleOfFile(const std::wstring& path, DWORD* error, const std::atomic<bool>& stop) {
  UniqueHandle file = OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (!file) {
    *error = GetLastError();
    return std::nullopt;
  }
  StreamDigest hash;
  ContentSample sample;
  sample.Origin = path;
  std::string buffer(1 << 20, '\0');
  for (;;) {
    if (stop.load()) {
      *error = ERROR_CANCELLED;
      return std::nullopt;
    }
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      *error = GetLastError();
      return std::nullopt;
    }
    if (read == 0) break;
    hash.Add(buffer.data(), read);
    sample.Crc32 = Crc32Update(sample.Crc32, buffer.data(), read);
    sample.Size += read;
  }
  std::optional<std::string> hex = hash.FinishHex();
  if (!hex) {
    *error = ERROR_NOT_SUPPORTED;
    return std::nullopt;
  }
  sample.Sha256 = std::move(*hex);
  return sample;
}

std::optional<FileDigest> DigestFile(const std::wstring& path, DWORD* error) {
  UniqueHandle file = OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (!file) {
    *error = GetLastError();
    return std::nullopt;
  }
  Sha256 hash;
  FileDigest digest;
  std::string buffer(1 << 20, '\0');
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      *error = GetLastError();
      return std::nullopt;
    }
    if (read == 0) break;
    if (!hash.Update(buffer.data(), read)) {
      *error = ERROR_NOT_SUPPORTED;
      return std::nullopt;
    }
    digest.Size += read;
  }
  std::optional<std::string> hex = hash.FinishHex();
  if (!hex) {
    *error = ERROR_NOT_SUPPORTED;
    return std::nullopt;
  }
  digest.Sha256 = std::move(*hex);
  *error = ERROR_SUCCESS;
  return digest;
}

std::optional<std::string> Sha256Hex(std::string_view bytes) {
  Sha256 hash;
  // In pieces below 4 GB, which is what one call takes.
  constexpr std::size_t kPiece = 1u << 30;
  for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
    const std::size_t size = std::min(kPiece, bytes.size() - at);
    if (!hash.Update(bytes.data() + at, static_cast<ULONG>(size))) return std::nullopt;
  }
  return hash.FinishHex();
}

}  // namespace rarbatch
