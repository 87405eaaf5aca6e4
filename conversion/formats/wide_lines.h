#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sorrelin {

// Which chosen lines hold values other than 0 and 1, learnt as their values come, line
// after line: memory only for the lines that have come.
class WideLines {
 public:
  // Values of the line under way.
  void Take(std::span<const std::uint8_t> values) {
    std::uint8_t seen = 0;
    for (const std::uint8_t value : values) seen |= value;
    seen_ |= seen;
  }
  // Ends the line under way; whether it held other values than 0 and 1.
  bool EndLine() {
    const bool wide = seen_ > 1;
    wide_.push_back(wide);
    seen_ = 0;
    return wide;
  }
  // Whether the chosen line `line` (from 0) came with other values; false before it came.
  bool operator[](std::uint64_t line) const { return line < wide_.size() && wide_[line]; }
  std::uint64_t Count() const { return wide_.size(); }  // of the lines come

 private:
  std::vector<bool> wide_;
  std::uint8_t seen_ = 0;  // the values of the line under way, OR-ed
};

}  // namespace sorrelin
