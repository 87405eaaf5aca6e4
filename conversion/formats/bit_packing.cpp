#include "formats/bit_packing.h"

#include <cstring>

#include "formats/simd.h"
#ifdef SORRELIN_SSE2
#include <emmintrin.h>
#endif

namespace sorrelin {

bool PackBinaryValues(const std::uint8_t* values, std::size_t size, std::uint8_t* bits) noexcept {
  std::size_t i = 0;
  std::uint8_t seen = 0;  // every value, OR-ed
#ifdef SORRELIN_SSE2
  // Sixteen values at a time: bit 0 of each byte, shifted to its top, is a mask bit.
  __m128i seenAll = _mm_setzero_si128();
  for (; size - i >= 16; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
    seenAll = _mm_or_si128(seenAll, v);
    const auto mask = static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_slli_epi16(v, 7)));
    std::memcpy(bits + i / 8, &mask, 2);  // x86 is little-endian: the low byte first
  }
  alignas(16) std::uint8_t lanes[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), seenAll);
  for (const std::uint8_t lane : lanes) seen |= lane;
#endif
  for (; i < size; i += 8) {
    std::uint8_t byte = 0;
    for (std::size_t k = 0; k < 8 && i + k < size; ++k) {
      seen |= values[i + k];
      byte |= static_cast<std::uint8_t>((values[i + k] & 1) << k);
    }
    bits[i / 8] = byte;
  }
  return seen <= 1;
}

void UnpackBits(const std::uint8_t* bits, std::size_t first, std::size_t size,
                std::uint8_t* to) noexcept {
  std::size_t i = first;
  const std::size_t end = first + size;
  for (; i < end && i % 8 != 0; ++i) *to++ = bits[i / 8] >> i % 8 & 1;
#ifdef SORRELIN_SSE2
  // Thirty-two values from four bytes: each byte spread over eight lanes, one bit kept
  // in each.
  const __m128i places = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
  const __m128i one = _mm_set1_epi8(1);
  const auto keep = [&](__m128i spread, std::uint8_t* at) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at),
                     _mm_and_si128(_mm_cmpeq_epi8(_mm_and_si128(spread, places), places), one));
  };
  for (; end - i >= 32; i += 32, to += 32) {
    std::uint32_t four;
    std::memcpy(&four, bits + i / 8, 4);
    __m128i v = _mm_cvtsi32_si128(static_cast<int>(four));
    v = _mm_unpacklo_epi8(v, v);
    v = _mm_unpacklo_epi16(v, v);  // each byte 4 times
    keep(_mm_unpacklo_epi32(v, v), to);
    keep(_mm_unpackhi_epi32(v, v), to + 16);
  }
#endif
  for (; i < end; ++i) *to++ = bits[i / 8] >> i % 8 & 1;
}

}  // namespace sorrelin
