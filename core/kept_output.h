// What an archiver call wrote, kept within a bound: a folder of many files makes the archiver write a
// line for each, and a run of many archives must not hold all of it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace rarbatch {

// How Text marks the bytes it left out: a listing holding it was cut short.
inline constexpr wchar_t kLeftOutMark[] = L"……（省略 ";

class KeptOutput {
 public:
  // Keeps up to `headLimit` bytes from the start and about `tailLimit` bytes from the end.
  explicit KeptOutput(std::size_t headLimit = 64 * 1024, std::size_t tailLimit = 64 * 1024);

  void Append(const char* data, std::size_t size);

  // The start and the end, each decoded with `decode`, and between them a line that tells how many
  // bytes were left out. The end starts at a line start where it has one, so that a character is
  // not cut in two.
  std::wstring Text(const std::function<std::wstring(const std::string&)>& decode) const;

 private:
  std::size_t headLimit_, tailLimit_;
  std::string head_, tail_;
  std::size_t total_ = 0;
};

}  // namespace rarbatch
