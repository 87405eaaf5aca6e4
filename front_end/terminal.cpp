#include "terminal.h"

#include <array>
#include <utility>

namespace sorrelin {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the valid UTF-8 character at the start of `text`, or 0.
std::size_t CharacterLength(std::string_view text) {
  const auto byte = [&](std::size_t i) -> unsigned char {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
  };
  const unsigned char lead = byte(0);
  // The range of the second byte, which rules out overlong forms, surrogates and
  // values past U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  std::size_t length = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(byte(i))) return 0;
  }
  return length;
}

char32_t CodePoint(std::string_view character) {
  const auto lead = static_cast<unsigned char>(character[0]);
  if (character.size() == 1) return lead;
  char32_t value = lead & (0x7F >> character.size());
  for (std::size_t i = 1; i < character.size(); ++i) {
    value = (value << 6) | (static_cast<unsigned char>(character[i]) & 0x3F);
  }
  return value;
}

// Characters shown two columns wide, somewhat generously: a text counted as wider
// than it is only leaves a few columns free.
constexpr std::array<std::pair<char32_t, char32_t>, 10> kWideCharacters{{
    {0x1100, 0x115F},    // Hangul Jamo initials
    {0x2E80, 0xA4CF},    // CJK radicals to Yi
    {0xAC00, 0xD7A3},    // Hangul syllables
    {0xF900, 0xFAFF},    // CJK compatibility ideographs
    {0xFE30, 0xFE4F},    // CJK compatibility forms
    {0xFF00, 0xFF60},    // fullwidth forms
    {0xFFE0, 0xFFE6},    // fullwidth signs
    {0x1F300, 0x1F64F},  // pictographs and emoticons
    {0x1F900, 0x1F9FF},  // supplemental pictographs
    {0x20000, 0x3FFFD},  // CJK extensions
}};

}  // namespace

std::vector<std::string_view> Characters(std::string_view text) {
  std::vector<std::string_view> characters;
  while (!text.empty()) {
    const std::size_t length = CharacterLength(text);
    characters.push_back(text.substr(0, length == 0 ? 1 : length));
    text.remove_prefix(characters.back().size());
  }
  return characters;
}

std::size_t CharacterColumns(std::string_view character) noexcept {
  if (character.empty() || CharacterLength(character) != character.size()) return 1;
  const char32_t value = CodePoint(character);
  for (const auto& [first, last] : kWideCharacters) {
    if (value >= first && value <= last) return 2;
  }
  return 1;
}

}  // namespace sorrelin
