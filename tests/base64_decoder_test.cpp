#include "base64_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "conversion_error.h"
#include "test_support.h"

namespace sorrelin {
namespace {

std::vector<std::uint8_t> Bytes(const ByteBuffer& buffer) {
  return {buffer.data(), buffer.data() + buffer.size()};
}

struct DecodeCase {
  std::string text;
  std::vector<std::uint8_t> bytes;  // expected when error is empty
  std::string error;
};

TEST(Base64Decoder, DecodesOrNamesTheFaultAndItsOffset) {
  const std::vector<DecodeCase> cases = {
      {"", {}, ""},
      {"AQID", {1, 2, 3}, ""},
      {"AQ= =\r\n", {1}, ""},
      {"/+8A", {0xFF, 0xEF, 0x00}, ""},
      {" A Q\r\nI\tD \n", {1, 2, 3}, ""},
      {"AQI", {1, 2}, ""},
      {"AQ$D", {}, "invalid Base64 character '$' at offset 2"},
      {"AQ\x01", {}, "invalid Base64 character 0x01 at offset 2"},
      {"AQ\xC3\xA9", {}, "invalid Base64 character U+00E9 at offset 2"},
      {"A===", {}, "padding '=' in the wrong place at offset 1"},
      {"AQ=D", {}, "padding '=' expected, found 'D' at offset 3"},
      {"AQ==AQID", {}, "Base64 data continues after its padding with 'A' at offset 4"},
      {"AQ=", {}, "padding '=' expected at the end at offset 3"},
      {"AQIDA", {}, "incomplete Base64 group at the end at offset 5"},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE("text: " + c.text);
    if (c.error.empty()) {
      EXPECT_EQ(Bytes(DecodeBase64(c.text)), c.bytes);
    } else {
      try {
        DecodeBase64(c.text);
        ADD_FAILURE() << "no error";
      } catch (const ConversionError& error) {
        EXPECT_EQ(error.Kind(), ErrorNumber::kInvalidBase64);
        EXPECT_EQ(std::string(error.what()), c.error);
      }
    }
  }
}

TEST(Base64Decoder, PiecesOfAnySizeGiveTheSameBytesAndOffsets) {
  std::mt19937 random(7);
  std::vector<std::uint8_t> original(100'003);
  for (auto& byte : original) byte = static_cast<std::uint8_t>(random());
  const std::string text = testing::EncodeBase64(original);

  ByteBuffer decoded;
  Base64Decoder decoder(decoded);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t n = std::min<std::size_t>(random() % 97 + 1, text.size() - at);
    decoder.Feed(std::string_view(text).substr(at, n));
    at += n;
  }
  decoder.Finish();
  ASSERT_FALSE(decoder.Failed()) << decoder.Error();
  EXPECT_EQ(Bytes(decoded), original);

  ByteBuffer ignored;
  Base64Decoder oneByOne(ignored);
  for (char c : std::string("AQID\nAQ*D")) oneByOne.Feed(std::string_view(&c, 1));
  EXPECT_EQ(oneByOne.Error(), "invalid Base64 character '*' at offset 7");
}

}  // namespace
}  // namespace sorrelin
