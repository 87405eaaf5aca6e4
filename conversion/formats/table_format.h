#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "formats/simd.h"
#ifdef SORRELIN_SSE2
#include <emmintrin.h>
#endif

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

// Room FormatValues needs at `out` for `count` values.
constexpr std::size_t FormatRoom(std::size_t count) { return 4 * count + 32; }

// Writes each value's text and comma at `out`, which has FormatRoom(count) bytes
// of room (copies may spill past the text). Returns the new end. Runs of values
// below 10, the usual 0/1 samples, go 16 (or 8) at a time as digit-comma pairs.
inline char* FormatValues(const std::uint8_t* values, std::size_t count, char* out) noexcept {
  const std::uint8_t* const end = values + count;
  while (end - values >= 16) {
#ifdef SORRELIN_SSE2
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(group, nine), nine)) == 0xFFFF) {
      const __m128i digits = _mm_add_epi8(group, _mm_set1_epi8('0'));
      const __m128i commas = _mm_set1_epi8(',');
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(digits, commas));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(digits, commas));
      values += 16;
      out += 32;
      continue;
    }
#else
    if constexpr (std::endian::native == std::endian::little) {
      std::uint64_t eight;
      std::memcpy(&eight, values, 8);
      // Every byte below 10: none has its top bit set, before or after adding 118.
      constexpr std::uint64_t kOnes = 0x0101010101010101;
      if (((eight | (eight + 118 * kOnes)) & (0x80 * kOnes)) == 0) {
        for (int half = 0; half < 2; ++half) {
          std::uint64_t pairs = eight >> (32 * half) & 0xFFFFFFFF;
          pairs = (pairs | pairs << 16) & 0x0000FFFF0000FFFF;
          pairs = (pairs | pairs << 8) & 0x00FF00FF00FF00FF;
          pairs += 0x2C302C302C302C30;  // ",0" in each 16-bit lane
          std::memcpy(out + 8 * half, &pairs, 8);
        }
        values += 8;
        out += 16;
        continue;
      }
    }
#endif
    for (const std::uint8_t* stop = values + 16; values != stop; ++values) {
      const ValueText& entry = kValueTexts[*values];
      std::memcpy(out, entry.text, 4);
      out += entry.length;
    }
  }
  for (; values != end; ++values) {
    const ValueText& entry = kValueTexts[*values];
    std::memcpy(out, entry.text, 4);
    out += entry.length;
  }
  return out;
}

// The number of characters FormatValues writes for these values.
inline std::uint64_t FormattedSize(std::span<const std::uint8_t> values) noexcept {
  std::uint64_t extra = 0;  // a digit more for each value from 10, another from 100
  for (const std::uint8_t value : values) extra += (value >= 10) + (value >= 100);
  return values.size() * 2 + extra;
}

}  // namespace sorrelin
