#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sorrelin {

// The decimal text of numbers that mostly come one after another, as sample numbers
// and times do: the next number costs a digit or two instead of a conversion.
class NumberText {
 public:
  static constexpr std::size_t kRoom = 24;

  // Writes `number` at `at`, which has room for kRoom bytes; returns the text's end.
  char* Write(std::uint64_t number, char* at) noexcept {
    const bool next = number == number_ + 1;
    if (!next && number != number_) {
      length_ = static_cast<std::size_t>(std::to_chars(text_, text_ + kRoom, number).ptr - text_);
    }
    // The last text is copied, then counted up in both places: a copy of digits just
    // stored one by one would wait for the stores.
    std::memcpy(at, text_, kRoom);
    if (next) {
      std::size_t i = length_;
      for (; i > 0 && text_[i - 1] == '9'; --i) at[i - 1] = text_[i - 1] = '0';
      if (i > 0) {
        at[i - 1] = ++text_[i - 1];
      } else {  // 99 becomes 100
        at[0] = text_[0] = '1';
        at[length_] = text_[length_] = '0';
        ++length_;
      }
    }
    number_ = number;
    return at + length_;
  }

 private:
  char text_[kRoom] = {'0'};
  std::size_t length_ = 1;
  std::uint64_t number_ = 0;
};

}  // namespace sorrelin
