// SHA-256 through the system's own implementation, CNG (bcrypt.dll, Windows 7 and later): of a file,
// read through once, and of bytes in memory.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/batch_script.h"

namespace rarbatch {

// A file's size and SHA-256 (64 lower-case hex digits).
struct FileDigest {
  std::uint64_t Size = 0;
  std::string Sha256;
  bool operator==(const FileDigest&) const = default;
};

// The size and SHA-256 of the file at `path` (any length: the long form is tried by itself); nothing,
// with `error` set to the system's error code, when it cannot be read or hashed.
std::optional<FileDigest> DigestFile(const std::wstring& path, DWORD* error);

// The SHA-256 of bytes given in pieces, as they come.
class StreamDigest {
 public:
  StreamDigest();
  ~StreamDigest();
  StreamDigest(const StreamDigest&) = delete;
  StreamDigest& operator=(const StreamDigest&) = delete;
  // False once the system could not hash.
  bool Add(const char* data, std::size_t size);
  // 64 lower-case hex digits; nothing when the system could not hash. Once only.
  std::optional<std::string> FinishHex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A file taken as a sample of content to delete: its size, CRC32 and SHA-256, read through once,
// with `origin` = `path`. Nothing, with `error` set, when it cannot be read.
std::optional<ContentSample> SampleOfFile(const std::wstring& path, DWORD* error);
// As SampleOfFile, giving up between two reads once `stop` is set: nothing then, with `error` set to
// ERROR_CANCELLED (a window that closes while a large file is read).
std::optional<ContentSample> SampleOfFile(const std::wstring& path, DWORD* error, const std::atomic<bool>& stop);

// The SHA-256 of `bytes` as 64 lower-case hex digits; nothing when the system cannot hash.
std::optional<std::string> Sha256Hex(std::string_view bytes);

}  // namespace rarbatch
