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
  // Writes `number` at `at`, which has room for kRoom bytes; returns the text's end.
  static constexpr std::size_t kRoom = 24;
  char* Write(std::uint64_t number, char* at) noexcept {
    if (number == number_ + 1) {
      Increment();
    } else if (number != number_) {
      length_ = static_cast<std::size_t>(std::to_chars(text_, text_ + kRoom, number).ptr - text_);
    }
    number_ = number;
    std::memcpy(at, text_, kRoom);
    return at + length_;
  }

 private:
  void Increment() noexcept {
    std::size_t i = length_;
    while (i > 0 && text_[i - 1] == '9') text_[--i] = '0';
    if (i > 0) {
      ++text_[i - 1];
    } else {  // 99 becomes 100
      text_[0] = '1';
      text_[length_++] = '0';
    }
  }

  char text_[kRoom] = {'0'};
  std::size_t length_ = 1;
  std::uint64_t number_ = 0;
};

}  // namespace sorrelin
