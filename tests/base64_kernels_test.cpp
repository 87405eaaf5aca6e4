// The Base64 decoder's bytes and faults, and every Base64 kernel this processor runs
// decoding as the scalar one: the same bytes, or the same fault at the same offset, fed
// whole, in pieces, in runs and a character at a time, line breaks where earlier ones
// stood included; the vector kernels leave the upper halves of the registers clean. And
// the spill's bit packing, whose vector loop ends in a scalar one that checks the values
// too.
#include "read/base64_kernels.h"

#include <gtest/gtest.h>

#if defined(__GNUC__) && defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

#include <string>
#include <utility>
#include <vector>

#include "formats/bit_packing.h"
#include "formats/number_text.h"
#include "test_support.h"

namespace {
using namespace sorrelin;
using namespace sorrelin::testing;

// `lines` lines of 76 pseudo-random alphabet characters and CR LF, then `tail`.
std::string MimeLines(int lines, std::string_view tail) {
  return EncodeBase64(RandomBytes(57 * lines, 7)).append(tail);
}

TEST(Base64Decoder, DecodesOrNamesTheFirstFaultAndItsOffset) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"AQID", "\1\2\3"},
      {" A Q\r\nI\tD \n", "\1\2\3"},
      {"AQ= =\r\n", "\1"},
      {"AQI", "\1\2"},
      {"AQIDBA", "\1\2\3\4"},
      {"AQ$D", "fault invalid Base64 character '$' at offset 2"},
      {"AQID\nAQ*D", "fault invalid Base64 character '*' at offset 7"},
      {"AQ\x01", "fault invalid Base64 character 0x01 at offset 2"},
      {"AQ\x7F", "fault invalid Base64 character 0x7F at offset 2"},
      {"AQ\x80", "fault invalid Base64 character (non-ASCII) at offset 2"},
      {"AQ\xC3", "fault invalid Base64 character (non-ASCII) at offset 2"},
      {"AQ\xC3Q", "fault invalid Base64 character (non-ASCII) at offset 2"},
      {"AQ\xE0\xA4\x85", "fault invalid Base64 character U+0905 at offset 2"},
      {"AQ\xC3\xA9", "fault invalid Base64 character U+00E9 at offset 2"},
      {"AQ\xF0\x9F\x98\x80", "fault invalid Base64 character U+1F600 at offset 2"},
      {"A===", "fault padding '=' in the wrong place at offset 1"},
      {"AQ=D", "fault padding '=' expected, found 'D' at offset 3"},
      {"AQ==AQID", "fault Base64 data continues after its padding with 'A' at offset 4"},
      {"AQI=A", "fault Base64 data continues after its padding with 'A' at offset 4"},
      {"AQ=", "fault padding '=' expected at the end at offset 3"},
      {"AQIDA", "fault incomplete Base64 group at the end at offset 5"},
  };
  for (const auto& [text, expected] : cases) {
    for (const int way : {0, 3})
      EXPECT_EQ(Base64Decoded(BestBase64Kernel(), text, way), expected) << text;
  }
}

TEST(Base64Kernels, EveryKernelDecodesAsTheScalarOne) {
  std::vector<std::string> texts = {MimeLines(40, "AQIDBA=="), MimeLines(2, "AQ=\t=\r\nA"),
                                    MimeLines(1, "\xE2\x82\xAC") + MimeLines(1, "AQI"),
                                    MimeLines(2, "AQID\r\n") + MimeLines(2, "")};
  // Every byte value at several places of a vector block (first, inside, last, second
  // block) and about the third line's break, where the first two stood in their blocks.
  for (int byte = 0; byte < 256; ++byte)
    for (const std::size_t at : {0, 18, 31, 45, 62, 153, 154, 155, 156})
      texts.push_back(MimeLines(3, "").replace(at, 1, 1, static_cast<char>(byte)));
  for (const Base64Kernel kernel : AvailableBase64Kernels())
    for (const std::string& text : texts)
      for (const int way : {0, 1, 2, 3})
        ASSERT_EQ(Base64Decoded(kernel, text, way), Base64Decoded(Base64Kernel::kScalar, text, way))
            << Base64KernelName(kernel) << ", way " << way << ": " << text;
}

#if defined(__GNUC__) && defined(__x86_64__)
// Whether the upper halves of the vector registers are in use (XINUSE bit 2), which
// slows SSE code run after it; -1 where the processor cannot tell.
__attribute__((target("xsave"))) int UpperHalvesInUse() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid_count(0xD, 1, &a, &b, &c, &d) || !(a & 4)) return -1;
  return (_xgetbv(1) & 4) != 0;
}

__attribute__((target("avx"))) void CleanUpperHalves() { _mm256_zeroupper(); }

// Every way out of a vector kernel leaves them clean: its end without a break or after
// one, a stranger.
TEST(Base64Kernels, LeaveTheUpperHalvesOfVectorsClean) {
  for (const Base64Kernel kernel : AvailableBase64Kernels()) {
    const Base64GroupDecoder decode = VectorBase64Decoder(kernel);
    if (!decode || !__builtin_cpu_supports("avx")) continue;
    for (const std::string& text :
         {std::string(64, 'A'), MimeLines(3, ""), MimeLines(1, "AAAA*") + MimeLines(1, "")}) {
      std::vector<std::uint8_t> bytes(text.size() + kBase64KernelSlack);
      std::uint8_t* out = bytes.data();
      CleanUpperHalves();
      decode(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out);
      EXPECT_NE(UpperHalvesInUse(), 1) << Base64KernelName(kernel) << ": " << text;
    }
  }
}
#endif

// Values of 0 and 1 are packed; another in the scalar end, after the vector loop, refuses it.
TEST(BitPacking, AnyOtherValueRefusesThePacking) {
  std::vector<std::uint8_t> values(4099, 1), bits(513);
  EXPECT_TRUE(PackBinaryValues(values.data(), values.size(), bits.data()));
  values[4098] = 2;
  EXPECT_FALSE(PackBinaryValues(values.data(), values.size(), bits.data()));
}

// Counted up across every carry, a digit more and a word's edge, and after jumps: one
// back, none, and larger.
TEST(NumberText, WritesWhatToCharsWrites) {
  NumberText text;
  char written[24], expected[24];
  for (const std::uint64_t start : {1ULL, 1099ULL, 2198ULL, 99'999'990ULL, 9'999'999'999'999'990ULL,
                                    9'999'999'999'999'999'990ULL, 5ULL})
    for (std::uint64_t n = start; n < start + 1100; ++n)
      ASSERT_EQ(std::string_view(written, text.Write(n, written)),
                std::string_view(expected, std::to_chars(expected, expected + 24, n).ptr));
}

}  // namespace
