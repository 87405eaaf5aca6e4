#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "formats/simd.h"
#include "formats/spill_file.h"
#ifdef SORRELIN_SSE2
#include <emmintrin.h>
#endif

namespace sorrelin {

// Copies `count` samples of `lines` lines, line i's at values + i * stride, to `rows`
// sample after sample: rows[t * lines + i] is sample t of line i.
inline void GatherRows(const std::uint8_t* values, std::size_t stride, std::size_t lines,
                       std::size_t count, std::uint8_t* rows) noexcept {
  std::size_t i = 0;
#ifdef SORRELIN_SSE2
  if (count == 16) {
    // Sixteen lines at a time: a 16 x 16 transposition in four rounds of interleaving.
    for (; lines - i >= 16; i += 16) {
      __m128i a[16], b[16];
      for (int k = 0; k < 16; ++k) {
        a[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + (i + k) * stride));
      }
      // b[8h + k]: lines 2k, 2k + 1 of samples 8h .. 8h + 7.
      for (int k = 0; k < 8; ++k) {
        b[k] = _mm_unpacklo_epi8(a[2 * k], a[2 * k + 1]);
        b[k + 8] = _mm_unpackhi_epi8(a[2 * k], a[2 * k + 1]);
      }
      for (int k = 0; k < 4; ++k) {
        for (int h = 0; h < 2; ++h) {
          a[8 * h + 2 * k] = _mm_unpacklo_epi16(b[8 * h + 2 * k], b[8 * h + 2 * k + 1]);
          a[8 * h + 2 * k + 1] = _mm_unpackhi_epi16(b[8 * h + 2 * k], b[8 * h + 2 * k + 1]);
        }
      }
      // a[8h + 2k + u]: lines 4k..4k+3 of samples 8h + 4u .. 8h + 4u + 3.
      // b[4s + v] and b[4s + 2 + v]: lines 0-7 and 8-15 of samples 4s + 2v, 4s + 2v + 1.
      for (int s = 0; s < 4; ++s) {
        const int h = s / 2, u = s % 2;
        const __m128i low0 = a[8 * h + 0 + u], low1 = a[8 * h + 2 + u];
        const __m128i high0 = a[8 * h + 4 + u], high1 = a[8 * h + 6 + u];
        b[4 * s + 0] = _mm_unpacklo_epi32(low0, low1);
        b[4 * s + 1] = _mm_unpackhi_epi32(low0, low1);
        b[4 * s + 2] = _mm_unpacklo_epi32(high0, high1);
        b[4 * s + 3] = _mm_unpackhi_epi32(high0, high1);
      }
      for (int s = 0; s < 4; ++s) {
        for (int v = 0; v < 2; ++v) {
          const __m128i low = b[4 * s + v], high = b[4 * s + 2 + v];
          const std::size_t t = 4 * s + 2 * v;
          _mm_storeu_si128(reinterpret_cast<__m128i*>(rows + t * lines + i),
                           _mm_unpacklo_epi64(low, high));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(rows + (t + 1) * lines + i),
                           _mm_unpackhi_epi64(low, high));
        }
      }
    }
  }
#endif
  for (; i < lines; ++i) {
    for (std::size_t t = 0; t < count; ++t) rows[t * lines + i] = values[i * stride + t];
  }
}

// Whether two rows of `count` values are the same; SampleRows' rows may be read 16
// bytes at a time.
inline bool SameRow(const std::uint8_t* row, const std::uint8_t* other, std::size_t count) noexcept {
#ifdef SORRELIN_SSE2
  if (count <= 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(other));
    const unsigned differ = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
    return (differ & ((1u << count) - 1)) == 0;
  }
#endif
  return std::memcmp(row, other, count) == 0;
}

// Lines a row holds at most, and samples gathered at once.
inline constexpr std::size_t kRowLines = 2048;
inline constexpr std::size_t kRowSamples = 16;

// A spill block's values turned into rows, sample after sample, for the formats that
// write a sample of every line together.
class SampleRows {
 public:
  // A row may be read 16 bytes at a time, past its end too: every byte is set.
  SampleRows()
      : rows_(std::make_unique<std::uint8_t[]>((kRowSamples + 1) * kRowLines + 16)) {}

  // Calls take(j, first, count, row, previous) for each sample j of the block in order,
  // with row[i] the value of its line first + i, for at most kRowLines lines at once.
  // `previous` holds the same lines' values at the sample before, when the block has it
  // (read back with a look behind, or a sample gathered with this one); else it is null.
  // Always inlined, so that `take` may be inlined where the caller's target allows.
  template <typename Take>
  [[gnu::always_inline]] void ForEach(const SpillBlock& block, Take&& take) {
    const std::size_t samplesAtOnce = block.lineCount <= kRowLines ? kRowSamples : 1;
    for (std::size_t j = 0; j < block.sampleCount; j += samplesAtOnce) {
      const std::size_t n = std::min(samplesAtOnce, block.sampleCount - j);
      const bool behind = block.lookBehind && block.firstSample + j != 0;
      for (std::size_t first = 0; first < block.lineCount; first += kRowLines) {
        const std::size_t m = std::min(kRowLines, block.lineCount - first);
        const std::uint8_t* const values = block.values + first * block.stride + j;
        if (behind && j != 0 && samplesAtOnce != 1) {  // the last row gathered
          std::memcpy(rows_.get(), rows_.get() + samplesAtOnce * m, m);
        } else if (behind) {
          GatherRows(values - 1, block.stride, m, 1, rows_.get());
        }
        GatherRows(values, block.stride, m, n, rows_.get() + m);
        for (std::size_t t = 0; t < n; ++t) {
          const std::uint8_t* const row = rows_.get() + (t + 1) * m;
          take(j + t, first, m, row, behind || t != 0 ? row - m : nullptr);
        }
      }
    }
  }

 private:
  std::unique_ptr<std::uint8_t[]> rows_;
};

}  // namespace sorrelin
