#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "byte_buffer.h"
#include "read/base64_kernels.h"

namespace sorrelin {

// Streaming decoder of standard Base64 ("=" padding) into a ByteBuffer. Space, tab,
// CR and LF are skipped anywhere. The text may arrive in pieces of any size, each of
// whole UTF-8 characters as the XML parser gives them; the first fault is remembered
// with its character offset and the rest is ignored. Long stretches of alphabet
// characters go to `kernel`; one this processor does not run decodes as the scalar one.
class Base64Decoder {
 public:
  Base64Decoder(ByteBuffer& output, Base64Kernel kernel)
      : output_(output), decodeGroups_(VectorBase64Decoder(kernel)) {}

  void Feed(std::string_view text) { Decode(text, false); }
  // Decodes the leading run of `text` made of Base64 characters, "=" and white
  // space, and returns its length: where the first other character stands.
  std::size_t FeedRun(std::string_view text) { return Decode(text, true); }
  // As FeedRun, the bytes decoded to `out` instead, which has RoomFor(text.size())
  // bytes of room; `written` is how many.
  std::size_t FeedRunInto(std::string_view text, std::uint8_t* out, std::size_t& written) {
    return DecodeInto(text, true, out, written);
  }
  // Room for the bytes of `characters` characters, and for the kernels' stores past them.
  static constexpr std::size_t RoomFor(std::size_t characters) {
    return characters / 4 * 3 + 3 + kBase64KernelSlack;
  }
  // The text has ended: a group of a single character or unfinished padding is a fault.
  void Finish();

  bool Failed() const noexcept { return !error_.empty(); }
  const std::string& Error() const noexcept { return error_; }

 private:
  std::size_t Decode(std::string_view text, bool runOnly);
  std::size_t DecodeInto(std::string_view text, bool runOnly, std::uint8_t* first,
                         std::size_t& written);
  void FeedOne(const unsigned char* at, const unsigned char* end, std::uint8_t*& out);
  void Fail(const std::string& what, std::uint64_t offset);

  ByteBuffer& output_;
  Base64GroupDecoder decodeGroups_;  // null for the scalar kernel
  std::uint32_t bits_ = 0;
  int pending_ = 0;           // characters of the current group, 0..3
  bool awaitingPad_ = false;  // "xx=" seen, the second "=" must follow
  bool ended_ = false;        // a padded group closed the data; only white space may follow
  std::uint64_t offset_ = 0;  // offset of the next character
  std::string error_;
};

}  // namespace sorrelin
