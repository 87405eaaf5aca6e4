// Feeds arbitrary text to the streaming Base64 decoder in arbitrary pieces and
// compares it with a plain reference decoding of the whole text.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base64_decoder.h"

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Valid text: white space anywhere; then 4k alphabet characters followed by nothing,
// two or three characters, "xx==" or "xxx=".
std::optional<std::vector<std::uint8_t>> Reference(std::string_view text) {
  std::string compact;
  for (char c : text) {
    if (!IsSpace(c)) compact += c;
  }
  std::size_t padding = 0;
  while (padding < 2 && padding < compact.size() && compact[compact.size() - 1 - padding] == '=')
    ++padding;
  const std::string body = compact.substr(0, compact.size() - padding);
  for (char c : body) {
    if (kAlphabet.find(c) == std::string_view::npos) return std::nullopt;
  }
  if (body.size() % 4 == 1) return std::nullopt;
  if (padding != 0 && (body.size() + padding) % 4 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : body) {
    bits = bits << 6 | static_cast<std::uint32_t>(kAlphabet.find(c));
    if (++count == 4) {
      bytes.push_back(static_cast<std::uint8_t>(bits >> 16));
      bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
      bytes.push_back(static_cast<std::uint8_t>(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 2) bytes.push_back(static_cast<std::uint8_t>(bits >> 4));
  if (count == 3) {
    bytes.push_back(static_cast<std::uint8_t>(bits >> 10));
    bytes.push_back(static_cast<std::uint8_t>(bits >> 2));
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = data[0] % 16 + 1;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  sorrelin::ByteBuffer decoded;
  sorrelin::Base64Decoder decoder(decoded);
  for (std::size_t at = 0; at < text.size(); at += piece) decoder.Feed(text.substr(at, piece));
  decoder.Finish();

  const auto expected = Reference(text);
  if (decoder.Failed() != !expected.has_value()) std::abort();
  if (expected) {
    if (decoded.size() != expected->size()) std::abort();
    for (std::size_t i = 0; i < decoded.size(); ++i) {
      if (decoded.data()[i] != (*expected)[i]) std::abort();
    }
  } else {
    // The fault names an offset within the text, or its end.
    const std::string& error = decoder.Error();
    const std::size_t at = error.rfind("at offset ");
    if (at == std::string::npos) std::abort();
    const unsigned long long offset = std::strtoull(error.c_str() + at + 10, nullptr, 10);
    if (offset > text.size()) std::abort();
    if (offset < text.size() && IsSpace(text[offset])) std::abort();
  }
  return 0;
}
