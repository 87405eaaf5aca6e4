// Every Base64 kernel this processor runs decodes as the scalar one: the same bytes, or
// the same fault at the same offset, fed whole, in pieces and in runs.
#include "read/base64_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "read/base64_decoder.h"

namespace {
using namespace sorrelin;

// `lines` lines of 76 pseudo-random alphabet characters and CR LF, then `tail`.
std::string MimeLines(int lines, std::string_view tail) {
  std::string text;
  for (std::uint32_t i = 0, state = 7; i < lines * 76u; ++i) {
    state = state * 1103515245 + 12345;
    text += "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[state >> 16 & 63];
    if (i % 76 == 75) text += "\r\n";
  }
  return text.append(tail);
}

// Decodes `text` with `kernel`: whole (way 0), in pieces of about 37 bytes that keep
// characters whole (1), or as runs with the character ending each fed alone (2).
std::string Decode(Base64Kernel kernel, std::string_view text, int way) {
  ByteBuffer bytes;
  Base64Decoder decoder(bytes, kernel);
  for (std::size_t at = 0, n = 0; at < text.size(); at += n) {
    if (way == 2) at += decoder.FeedRun(text.substr(at));
    n = std::min<std::size_t>(way == 0 ? text.size() : way == 1 ? 37 : 1, text.size() - at);
    while (at + n < text.size() && (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80) ++n;
    decoder.Feed(text.substr(at, n));
  }
  decoder.Finish();
  const std::string_view out(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return decoder.Failed() ? "fault " + decoder.Error() : std::string(out);
}

TEST(Base64Kernels, EveryKernelDecodesAsTheScalarOne) {
  std::vector<std::string> texts = {MimeLines(40, "AQIDBA=="), MimeLines(2, "AQ=\t=\r\nA"),
                                    MimeLines(1, "\xE2\x82\xAC") + MimeLines(1, "AQI")};
  // Every byte value at several places of a vector block: first, inside, last, second block.
  for (int byte = 0; byte < 256; ++byte)
    for (const std::size_t at : {0, 18, 31, 45, 62})
      texts.push_back(MimeLines(1, "").replace(at, 1, 1, static_cast<char>(byte)));
  for (const Base64Kernel kernel : AvailableBase64Kernels())
    for (const std::string& text : texts)
      for (const int way : {0, 1, 2})
        ASSERT_EQ(Decode(kernel, text, way), Decode(Base64Kernel::kScalar, text, way))
            << Base64KernelName(kernel) << ", way " << way << ": " << text;
}

}  // namespace
