#pragma once

#include <stdexcept>
#include <string>

namespace sorrelin {

// Stable error numbers; the README's table lists them with their meaning.
enum class ErrorNumber : int {
  kXmlReaderUnavailable = 1001,
  kOutOfMemory = 1002,
  kElementNotFound = 1003,
  kInvalidBase64 = 1004,
  kInvalidOutputPath = 1005,
  kOutputNotWritable = 1006,
  kCountNotANumber = 1007,
  kDataTooShort = 1008,
  kNotEnoughSpace = 1009,
  kWriteFailed = 1010,
  kSelectionOutsideCounts = 1011,
  kTooManyChannels = 1012,
  kSegmentNotFound = 1013,
};

// Any failure of a conversion other than a document that cannot be loaded.
class ConversionError : public std::runtime_error {
 public:
  ConversionError(ErrorNumber number, const std::string& description)
      : std::runtime_error(description), number_(number) {}

  int Number() const noexcept { return static_cast<int>(number_); }
  ErrorNumber Kind() const noexcept { return number_; }

 private:
  ErrorNumber number_;
};

// The error for memory that ran out, wherever it did.
inline ConversionError NotEnoughMemory() {
  return ConversionError(ErrorNumber::kOutOfMemory, "not enough memory for this document");
}

}  // namespace sorrelin
