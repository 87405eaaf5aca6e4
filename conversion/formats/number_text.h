#pragma once

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
    // read that spans a store of another size would wait for it.
    if (number == number_ + 1 && nines_ != 0) {
      std::uint64_t words[kWords];
      std::memcpy(words, words_, kRoom);
      for (std::size_t k = 0; k < kWords; ++k) words[k] += step_[k];
      std::memcpy(words_, words, kRoom);
      --nines_;
    } else if (number == number_ + 1) {
      Carry();
    } else if (number != number_) {
      Set(number);
    }
    number_ = number;
    std::memcpy(at, words_, kRoom);
    return at + length_;
  }

 private:
  // Adds 1 to a number that ends in 9: its trailing nines become zeros. Kept out of
  // line, as Set is, so that Write's common path inlines small.
  [[gnu::noinline]] void Carry() noexcept {
    char text[kRoom];
    std::memcpy(text, words_, kRoom);
    std::size_t k = length_;
    while (k != 0 && text[k - 1] == '9') text[--k] = '0';
    if (k == 0) return Set(number_ + 1);  // one digit more
    ++text[k - 1];
    std::memcpy(words_, text, kRoom);
    nines_ = 9;
  }

  [[gnu::noinline]] void Set(std::uint64_t number) noexcept {
    char text[kRoom] = {};
    length_ = static_cast<std::size_t>(std::to_chars(text, text + kRoom, number).ptr - text);
    std::memcpy(words_, text, kRoom);
    nines_ = static_cast<unsigned>('9' - text[length_ - 1]);
    char step[kRoom] = {};
    step[length_ - 1] = 1;
    std::memcpy(step_, step, kRoom);
    number_ = number;
  }

  static constexpr std::size_t kWords = kRoom / 8;
  std::uint64_t words_[kWords];  // the digits of number_, as bytes
  std::size_t length_;
  std::uint64_t number_;
  unsigned nines_;              // next numbers before the last digit carries
  std::uint64_t step_[kWords];  // adds 1 to the last digit
};

}  // namespace sorrelin
