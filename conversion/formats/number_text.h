#pragma once

#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sorrelin {

// The decimal text of numbers that mostly come one after another, as sample numbers
// and times do: the next number costs an addition instead of a conversion.
class NumberText {
 public:
  static constexpr std::size_t kRoom = 24;

  NumberText() noexcept { Set(0); }

  // Writes `number` at `at`, which has room for kRoom bytes; returns the text's end.
  char* Write(std::uint64_t number, char* at) noexcept {
    // The text is kept, read and written in whole words, the same way each time: a
    // read that spans a store of another size would wait for it. The next number adds
    // 1 to the last digit, or when that is 9, 1 to the digit before it and -9 to it;
    // each addition stays within its digits' bytes, so the words add apart.
    const bool next = number == number_ + 1 && number != 0;  // not the largest, plus 1
    if (next && nines_ != 0) {
      Add(step_);
      --nines_;
    } else if (next && tens_ != 0) {
      Add(carryStep_);
      nines_ = 9;
      --tens_;
    } else if (number != number_) {
      Set(number);  // a jump, or the second last digit carries too: once in 100
    }
    number_ = number;
    std::memcpy(at, words_, kRoom);
    return at + length_;
  }

 private:
  static constexpr std::size_t kWords = kRoom / 8;

  void Add(const std::uint64_t (&step)[kWords]) noexcept {
    for (std::size_t k = 0; k < kWords; ++k) words_[k] += step[k];
  }

  // Kept out of line, so that Write's common path inlines small.
  [[gnu::noinline]] void Set(std::uint64_t number) noexcept {
    char text[kRoom] = {};
    length_ = static_cast<std::size_t>(std::to_chars(text, text + kRoom, number).ptr - text);
    std::memcpy(words_, text, kRoom);
    nines_ = static_cast<unsigned>('9' - text[length_ - 1]);
    tens_ = length_ < 2 ? 0 : static_cast<unsigned>('9' - text[length_ - 2]);
    for (std::size_t k = 0; k < kWords; ++k) step_[k] = carryStep_[k] = 0;
    const auto add = [](std::uint64_t(&step)[kWords], std::size_t byte, std::uint64_t value) {
      const std::size_t place = byte % 8;  // of the word's bytes, in memory order
      step[byte / 8] +=
          value << 8 * (std::endian::native == std::endian::little ? place : 7 - place);
    };
    add(step_, length_ - 1, 1);
    if (length_ >= 2) {
      add(carryStep_, length_ - 2, 1);
      add(carryStep_, length_ - 1, std::uint64_t{0} - 9);
    }
    number_ = number;
  }

  std::uint64_t words_[kWords];  // the digits of number_, as bytes
  std::size_t length_;
  std::uint64_t number_;
  unsigned nines_;                   // next numbers before the last digit carries
  unsigned tens_;                    // carries before the digit before it carries too
  std::uint64_t step_[kWords];       // adds 1 to the last digit
  std::uint64_t carryStep_[kWords];  // adds 1 to the digit before it, -9 to it
};

}  // namespace sorrelin
