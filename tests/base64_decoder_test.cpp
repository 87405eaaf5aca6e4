#include "base64_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sorrelin {
namespace {

// The bytes as "1 2 3", or the fault; text fed whole, or one character at a time.
std::string Decoded(const std::string& text, bool byCharacter) {
  ByteBuffer bytes;
  Base64Decoder decoder(bytes);
  for (std::size_t at = 0, n = 0; at < text.size(); at += n) {
    n = byCharacter ? 1 : text.size();
    while (at + n < text.size() && (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80) ++n;
    decoder.Feed(std::string_view(text).substr(at, n));
  }
  decoder.Finish();
  if (decoder.Failed()) return decoder.Error();
  std::string shown;
  for (const std::uint8_t byte : bytes.bytes()) shown += std::to_string(byte) + " ";
  return shown;
}

TEST(Base64Decoder, DecodesOrNamesTheFirstFaultAndItsOffset) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"AQID", "1 2 3 "},
      {"/+8A", "255 239 0 "},
      {" A Q\r\nI\tD \n", "1 2 3 "},
      {"AQ= =\r\n", "1 "},
      {"AQI", "1 2 "},
      {"AQIDBA", "1 2 3 4 "},
      {"AQ$D", "invalid Base64 character '$' at offset 2"},
      {"AQID\nAQ*D", "invalid Base64 character '*' at offset 7"},
      {"AQ\x01", "invalid Base64 character 0x01 at offset 2"},
      {"AQ\xC3\xA9", "invalid Base64 character U+00E9 at offset 2"},
      {"AQ\xF0\x9F\x98\x80", "invalid Base64 character U+1F600 at offset 2"},
      {"A===", "padding '=' in the wrong place at offset 1"},
      {"AQ=D", "padding '=' expected, found 'D' at offset 3"},
      {"AQ==AQID", "Base64 data continues after its padding with 'A' at offset 4"},
      {"AQI=A", "Base64 data continues after its padding with 'A' at offset 4"},
      {"AQ=", "padding '=' expected at the end at offset 3"},
      {"AQIDA", "incomplete Base64 group at the end at offset 5"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Decoded(text, false), expected) << text;
    EXPECT_EQ(Decoded(text, true), expected) << text;
  }
}

}  // namespace
}  // namespace sorrelin
