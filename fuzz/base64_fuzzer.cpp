// Feeds arbitrary text to the streaming Base64 decoder with every kernel this processor
// runs: whole, in pieces of pseudo-random sizes, one character at a time, and as runs
// taken by FeedRun with the rest fed a character at a time. Every kernel and way must
// give the scalar kernel's bytes for the whole text, or the same fault at the same offset.
// Pieces hold whole UTF-8 characters, as the XML parser hands them over.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "read/base64_decoder.h"
#include "read/base64_kernels.h"

namespace {

// The length of the piece of about `n` bytes at `at`, not cutting a character.
std::size_t Piece(std::string_view text, std::size_t at, std::size_t n) {
  n = std::min(n, text.size() - at);
  while (at + n < text.size() && (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80) ++n;
  return n;
}

template <typename Feed>
std::string Decode(sorrelin::Base64Kernel kernel, Feed feed) {
  sorrelin::ByteBuffer bytes;
  sorrelin::Base64Decoder decoder(bytes, kernel);
  feed(decoder);
  decoder.Finish();
  if (decoder.Failed()) return "fault " + decoder.Error();
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t seed = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  const std::string whole =
      Decode(sorrelin::Base64Kernel::kScalar, [&](auto& decoder) { decoder.Feed(text); });
  // Whole, pieces of pseudo-random sizes, single characters, and runs with a character between.
  for (const sorrelin::Base64Kernel kernel : sorrelin::AvailableBase64Kernels()) {
    for (const int way : {0, 1, 2, 3}) {
      std::uint32_t state = seed;
      const std::string outcome = Decode(kernel, [&](auto& decoder) {
        for (std::size_t at = 0, n = 0; at < text.size(); at += n) {
          if (way == 2) at += decoder.FeedRun(text.substr(at));
          state = state * 1103515245 + 12345;
          const std::size_t length = way == 0   ? 1 + (state >> 16) % 100
                                     : way == 3 ? text.size()
                                                : 1;
          n = at < text.size() ? Piece(text, at, length) : 0;
          decoder.Feed(text.substr(at, n));
        }
      });
      if (outcome != whole) std::abort();
    }
  }
  return 0;
}
