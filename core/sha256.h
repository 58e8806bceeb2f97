// SHA-256, to check that a backup copy and a restored archive hold exactly the original's bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace rarbatch {

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, std::size_t size);
  // The digest of everything given so far; the object is spent afterwards.
  std::array<std::uint8_t, 32> Finish();

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes
};

// The digest as 64 lower-case hexadecimal digits.
std::string HexDigest(const std::array<std::uint8_t, 32>& digest);

}  // namespace rarbatch
