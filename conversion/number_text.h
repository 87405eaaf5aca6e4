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
    // The text is kept, read and written in whole words: a word read just after a
    // byte of it was stored would wait for the store.
    if (number == number_ + 1 && nines_ != 0) {
      words_[lastWord_] += lastDigitOne_;
      --nines_;
    } else if (number != number_) {
      Set(number);
    }
    number_ = number;
    std::memcpy(at, words_, kRoom);
    return at + length_;
  }

 private:
  void Set(std::uint64_t number) noexcept {
    char text[kRoom] = {};
    length_ = static_cast<std::size_t>(std::to_chars(text, text + kRoom, number).ptr - text);
    std::memcpy(words_, text, kRoom);
    nines_ = static_cast<unsigned>('9' - text[length_ - 1]);
    lastWord_ = (length_ - 1) / 8;
    char one[8] = {};
    one[(length_ - 1) % 8] = 1;
    std::memcpy(&lastDigitOne_, one, 8);
    number_ = number;
  }

  std::uint64_t words_[kRoom / 8];  // the digits of number_, as bytes
  std::size_t length_;
  std::uint64_t number_;
  unsigned nines_;  // next numbers before the last digit carries
  std::size_t lastWord_;
  std::uint64_t lastDigitOne_;  // 1 in the last digit's byte of its word
};

}  // namespace sorrelin
