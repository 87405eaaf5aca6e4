#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>

namespace sorrelin {

// The text of every byte value followed by its comma ("0," .. "255,"), packed in
// four bytes with its length, so a value is written with one 4-byte copy.
struct ValueText {
  char text[4];
  std::uint8_t length;
};

constexpr std::array<ValueText, 256> MakeValueTexts() {
  std::array<ValueText, 256> table{};
  for (int value = 0; value < 256; ++value) {
    ValueText& entry = table[value];
    int n = 0;
    if (value >= 100) entry.text[n++] = static_cast<char>('0' + value / 100);
    if (value >= 10) entry.text[n++] = static_cast<char>('0' + value / 10 % 10);
    entry.text[n++] = static_cast<char>('0' + value % 10);
    entry.text[n++] = ',';
    entry.length = static_cast<std::uint8_t>(n);
  }
  return table;
}

inline constexpr std::array<ValueText, 256> kValueTexts = MakeValueTexts();

// Writes each value's text and comma at `out`; needs 4 bytes of room per value
// (the last copy may spill up to 3 bytes past the text). Returns the new end.
inline char* FormatValues(std::span<const std::uint8_t> values, char* out) noexcept {
  for (const std::uint8_t value : values) {
    const ValueText& entry = kValueTexts[value];
    std::memcpy(out, entry.text, 4);
    out += entry.length;
  }
  return out;
}

// The number of characters FormatValues writes for these values.
inline std::uint64_t FormattedSize(std::span<const std::uint8_t> values) noexcept {
  std::uint64_t size = 0;
  // Chunks keep the narrow counters from overflowing and let the compiler vectorise.
  constexpr std::size_t kChunk = 1 << 16;
  for (std::size_t start = 0; start < values.size(); start += kChunk) {
    const auto chunk = values.subspan(start, std::min(kChunk, values.size() - start));
    std::uint32_t extra = 0;
    for (const std::uint8_t value : chunk) extra += (value >= 10) + (value >= 100);
    size += chunk.size() * 2 + extra;
  }
  return size;
}

}  // namespace sorrelin
