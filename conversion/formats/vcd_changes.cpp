#include "formats/vcd_changes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace sorrelin {
namespace {

// "b" and a value's binary digits without leading zeros, then a space.
struct VectorText {
  char text[10];
  std::uint8_t length;
};

constexpr std::array<VectorText, 256> MakeVectorTexts() {
  std::array<VectorText, 256> table{};
  for (int value = 0; value < 256; ++value) {
    VectorText& entry = table[value];
    int n = 0;
    entry.text[n++] = 'b';
    int bit = 7;
    while (bit > 0 && (value >> bit & 1) == 0) --bit;
    for (; bit >= 0; --bit) entry.text[n++] = static_cast<char>('0' + (value >> bit & 1));
    entry.text[n++] = ' ';
    entry.length = static_cast<std::uint8_t>(n);
  }
  return table;
}

constexpr std::array<VectorText, 256> kVectorTexts = MakeVectorTexts();

// Room for a time stamp ('#', its digits, line feed) and for a change (a vector text,
// an identifier of at most 10 characters, a line feed).
constexpr std::size_t kStampRoom = 2 + NumberText::kRoom;
constexpr std::size_t kChangeRoom = 24;
static_assert(kStampRoom + kRowLines * kChangeRoom + 32 <= OutputStream::kLargestRoom);

// Bit k set when the value of line k of `count` (at most 16) differs between `row` and
// `before`. Reads 16 bytes of each, as rows of SampleRows may be read.
std::uint32_t ChangedLines(const std::uint8_t* row, const std::uint8_t* before, std::size_t count) {
#ifdef SORRELIN_SSE2
  const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
  const __m128i then = _mm_loadu_si128(reinterpret_cast<const __m128i*>(before));
  const auto same = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(now, then)));
  return ~same & ((std::uint32_t{1} << count) - 1);
#else
  std::uint32_t changed = 0;
  for (std::size_t k = 0; k < count; ++k) changed |= std::uint32_t{row[k] != before[k]} << k;
  return changed;
#endif
}

}  // namespace

std::size_t WriteIdentifier(std::uint64_t line, char* at) {
  std::size_t length = 0;
  while (true) {
    at[length++] = static_cast<char>('!' + line % 94);
    if (line < 94) return length;
    line = line / 94 - 1;
  }
}

std::uint64_t VcdTicks::Of(std::uint64_t sample) const {
  if (perSample) return sample;
  return static_cast<std::uint64_t>(
      std::roundl(static_cast<long double>(sample) * perSecond / sampleRate));
}

void VcdChangeWriter::MakeTexts(std::uint64_t line, std::size_t count) {
  texts_.resize(count);
  textsFirst_ = line;
  textsWide_ = false;
  for (std::size_t i = 0; i < count; ++i) {
    LineText& entry = texts_[i];
    entry.length = static_cast<std::uint8_t>(WriteIdentifier(line + i, entry.text));
    entry.text[entry.length++] = '\n';
    entry.wide = wide_[static_cast<std::size_t>(line + i)];
    textsWide_ = textsWide_ || entry.wide;
  }
}

char* VcdChangeWriter::WriteChange(const LineText& line, std::uint8_t value, char* at) {
  if (line.wide) {
    std::memcpy(at, kVectorTexts[value].text, sizeof kVectorTexts[value].text);
    at += kVectorTexts[value].length;
  } else {
    *at++ = static_cast<char>('0' + value);
  }
  std::memcpy(at, line.text, sizeof line.text);
  return at + line.length;
}

void VcdChangeWriter::Write(const SpillBlock& block, RoomWriter& text) {
  bool narrow = narrowWriter_ != nullptr && block.firstLine == 0 && block.lineCount <= 16;
  for (std::size_t i = 0; narrow && i < block.lineCount; ++i) narrow = !wide_[i];
  if (narrow) {
    WriteNarrow(block, text);
    return;
  }
  const bool endsDump = block.EndsLines(wide_.size());
  rows_.ForEach(block, [&](std::size_t j, std::size_t first, std::size_t count,
                           const std::uint8_t* row, const std::uint8_t* previous) {
    const std::uint64_t sample = block.firstSample + j;
    const std::uint64_t line = block.firstLine + first;
    text.Ensure(kDumpStart.size() + kStampRoom + count * kChangeRoom + kDumpEnd.size());
    if (previous == nullptr) {
      if (line == 0) text.Put(kDumpStart);
    } else {
      const bool same = count <= 16 ? ChangedLines(row, previous, count) == 0
                                    : std::memcmp(row, previous, count) == 0;
      if (same) return;
      if (stamped_ != sample) {
        stamped_ = sample;
        *text.at++ = '#';
        text.at = tickText_.Write(ticks_.Of(sample), text.at);
        *text.at++ = '\n';
      }
    }
    if (texts_.size() < count || textsFirst_ != line) MakeTexts(line, count);
    const LineText* const texts = texts_.data();
    char* at = text.at;
    for (std::size_t group = 0; group < count; group += 16) {
      const std::size_t n = std::min<std::size_t>(16, count - group);
      std::uint32_t changed = previous == nullptr ? (std::uint32_t{1} << n) - 1
                                                  : ChangedLines(row + group, previous + group, n);
      if (textsWide_) {
        for (; changed != 0; changed &= changed - 1) {
          const std::size_t i = group + static_cast<std::size_t>(std::countr_zero(changed));
          at = WriteChange(texts[i], row[i], at);
        }
      } else if (changed != 0 && narrowWriter_ != nullptr && line + group + n <= 94) {
        at = narrowWriter_(row + group, changed, static_cast<char>('!' + line + group), at);
      } else if (changed != 0) {  // every value 0 or 1: no branch on each line
        for (std::size_t i = group; i < group + n; ++i, changed >>= 1) {
          *at = static_cast<char>('0' + row[i]);
          std::memcpy(at + 1, texts[i].text, sizeof texts[i].text);
          at += (1 + texts[i].length) & (0 - static_cast<std::size_t>(changed & 1));
        }
      }
    }
    text.at = at;
    if (previous == nullptr && endsDump && first + count == block.lineCount) text.Put(kDumpEnd);
  });
}

// Up to 16 lines of 0s and 1s, all of the block's: a row's changes in a few shuffles.
void VcdChangeWriter::WriteNarrow(const SpillBlock& block, RoomWriter& text) {
  rows_.ForEach(block, [&](std::size_t j, std::size_t, std::size_t count, const std::uint8_t* row,
                           const std::uint8_t* previous) {
    const std::uint32_t changed =
        previous == nullptr ? (std::uint32_t{1} << count) - 1 : ChangedLines(row, previous, count);
    if (changed == 0) return;
    text.Ensure(kDumpStart.size() + kStampRoom + 16 * kChangeRoom + kDumpEnd.size());
    if (previous == nullptr) {
      text.Put(kDumpStart);
    } else {
      *text.at++ = '#';
      text.at = tickText_.Write(ticks_.Of(block.firstSample + j), text.at);
      *text.at++ = '\n';
    }
    text.at = narrowWriter_(row, changed, '!', text.at);
    if (previous == nullptr) text.Put(kDumpEnd);
  });
}

}  // namespace sorrelin
