// The changes of 16 lines as byte shuffles (SSSE3): five lines at a time, each line's
// digit is spread to its place among the identifiers and line feeds, and the changed
// lines' texts are shuffled together. Only code marked SORRELIN_SSSE3 uses the
// extension, and only after the processor said it has it.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__) && defined(__x86_64__)
#define SORRELIN_NARROW_SSSE3 1
#define SORRELIN_SSSE3 __attribute__((target("ssse3")))
#include <immintrin.h>

#include <array>
#else
#define SORRELIN_SSSE3
#endif

namespace sorrelin {

// Writes at `at` the value changes of up to 16 neighbouring lines whose values are 0 or
// 1 and whose identifiers are one character, the first `firstIdentifier` and the
// others following it: for each line k with bit k of `changed` set, '0' + row[k], its
// identifier and a line feed. Reads 16 bytes of `row`; may write up to 16 bytes past
// the end it returns.
using NarrowChangeWriter = char* (*)(const std::uint8_t* row, std::uint32_t changed,
                                     char firstIdentifier, char* at);

// A writer of byte shuffles when this processor has them; else null.
NarrowChangeWriter VectorNarrowChangeWriter();

#ifdef SORRELIN_NARROW_SSSE3
namespace narrow_changes {

using Bytes = std::array<std::int8_t, 16>;

// Part p holds lines 5p .. 5p + 4, line 5p + j as the three bytes from 3j.
constexpr std::array<Bytes, 4> MakeSpreads() {  // each line's value to its text's first byte
  std::array<Bytes, 4> spreads{};
  for (int part = 0; part < 4; ++part) {
    for (int i = 0; i < 16; ++i) spreads[part][i] = i % 3 == 0 && i < 15 ? 5 * part + i / 3 : -1;
  }
  return spreads;
}

constexpr std::array<Bytes, 4> MakeTexts() {  // '0', the identifier's offset, '\n'
  std::array<Bytes, 4> texts{};
  for (int part = 0; part < 4; ++part) {
    for (int i = 0; i < 16; ++i) {  // the last byte is never taken
      texts[part][i] = static_cast<std::int8_t>(i % 3 == 0   ? '0'
                                                : i % 3 == 1 ? 5 * part + i / 3
                                                             : '\n');
    }
  }
  return texts;
}

constexpr std::array<Bytes, 32> MakeGathers() {  // the texts of the lines set in a 5-bit mask
  std::array<Bytes, 32> gathers{};
  for (int bits = 0; bits < 32; ++bits) {
    int n = 0;
    for (int j = 0; j < 5; ++j) {
      if (bits >> j & 1) {
        for (int b = 0; b < 3; ++b) gathers[bits][n++] = static_cast<std::int8_t>(3 * j + b);
      }
    }
    while (n < 16) gathers[bits][n++] = -1;
  }
  return gathers;
}

constexpr std::array<std::uint8_t, 32> MakeSizes() {  // of the texts of a 5-bit mask
  std::array<std::uint8_t, 32> sizes{};
  for (int bits = 0; bits < 32; ++bits) {
    for (int j = 0; j < 5; ++j) sizes[bits] += 3 * (bits >> j & 1);
  }
  return sizes;
}

alignas(16) inline constexpr std::array<Bytes, 4> kSpreads = MakeSpreads();
alignas(16) inline constexpr std::array<Bytes, 4> kTexts = MakeTexts();
alignas(16) inline constexpr std::array<Bytes, 32> kGathers = MakeGathers();
inline constexpr std::array<std::uint8_t, 32> kSizes = MakeSizes();
alignas(16) inline constexpr Bytes kIdentifierPlaces = {0, -1, 0,  0, -1, 0,  0, -1,
                                                        0, 0,  -1, 0, 0,  -1, 0, 0};

inline __m128i Load(const Bytes& bytes) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes.data()));
}

}  // namespace narrow_changes

// As a NarrowChangeWriter does, inlined into code marked SORRELIN_SSSE3.
[[gnu::always_inline]] inline SORRELIN_SSSE3 char* WriteChangesSsse3(const std::uint8_t* row,
                                                                     std::uint32_t changed,
                                                                     char firstIdentifier,
                                                                     char* at) {
  using namespace narrow_changes;
  const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
  const __m128i first = _mm_and_si128(_mm_set1_epi8(firstIdentifier), Load(kIdentifierPlaces));
  for (int part = 0; part < 4; ++part, changed >>= 5) {
    const unsigned bits = changed & 31;
    const __m128i digits = _mm_shuffle_epi8(values, Load(kSpreads[part]));
    const __m128i texts = _mm_add_epi8(_mm_add_epi8(digits, Load(kTexts[part])), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_shuffle_epi8(texts, Load(kGathers[bits])));
    at += kSizes[bits];
  }
  return at;
}
#endif

}  // namespace sorrelin
