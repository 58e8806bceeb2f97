// What an archiver call wrote, kept within a bound.
#include "kept_output.h"

#include <algorithm>

#include "core/number_text.h"

namespace rarbatch {

KeptOutput::KeptOutput(std::size_t headLimit, std::size_t tailLimit)
    : headLimit_(headLimit), tailLimit_(tailLimit) {}

void KeptOutput::Append(const char* data, std::size_t size) {
  total_ += size;
  const std::size_t toHead = std::min(size, headLimit_ - head_.size());
  head_.append(data, toHead);
  tail_.append(data + toHead, size - toHead);
  // Trimmed in steps, so that each byte is moved a bounded number of times.
  if (tail_.size() > 2 * tailLimit_) tail_.erase(0, tail_.size() - tailLimit_);
}

std::wstring KeptOutput::Text(const std::function<std::wstring(const std::string&)>& decode) const {
  std::wstring text = decode(head_);
  if (head_.size() + tail_.size() == total_) return text + decode(tail_);
  std::size_t start = tail_.size() - std::min(tail_.size(), tailLimit_);
  // From the next line start when there is one; a GBK trail byte is never an LF.
  const std::size_t lineStart = start == 0 ? 0 : tail_.find('\n', start - 1);
  if (lineStart != std::string::npos && start != 0) start = lineStart + 1;
  const std::size_t dropped = total_ - head_.size() - (tail_.size() - start);
  text += L"\r\n" + std::wstring(kLeftOutMark) + Decimal(dropped) + L" 字节）……\r\n";
  return text + decode(tail_.substr(start));
}

}  // namespace rarbatch
