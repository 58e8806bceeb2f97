// Four bytes that, appended to some bytes, give them any CRC32 chosen: the decoy of the tests that
// delete by content, of a sample's size and CRC32 but with other bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/content_samples.h"

namespace rarbatch::testing {

inline std::string ForgeCrc32Suffix(const std::string& bytes, std::uint32_t target) {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  // The register as it stands after `bytes`, and, worked back from the target, as it must stand
  // before the four bytes for each of them to lead to it: the bytes are the difference.
  const std::uint32_t forward = ~Crc32Update(0, bytes.data(), bytes.size());
  std::uint32_t backward = ~target;
  for (int i = 0; i < 4; ++i) {
    std::uint32_t j = 0;
    while ((table[j] >> 24) != (backward >> 24)) ++j;
    backward = ((backward ^ table[j]) << 8) | j;
  }
  const std::uint32_t patch = forward ^ backward;
  std::string suffix(4, '\0');
  for (int i = 0; i < 4; ++i) suffix[static_cast<std::size_t>(i)] = static_cast<char>((patch >> (8 * i)) & 0xFF);
  return suffix;
}

}  // namespace rarbatch::testing
