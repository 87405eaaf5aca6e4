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

// Room for a time stamp ('#', its digits, line feed, and at the first sample the
// dump's start); for a line's change (a vector text, an identifier of at most 10
// characters, a line feed); and for the changes of a line of 8 wires.
constexpr std::size_t kStampRoom = 2 + NumberText::kRoom + kDumpStart.size();
constexpr std::size_t kChangeRoom = 24;
constexpr std::size_t kBitsRoom = 8 * 13;
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

// Writes the time stamp of `sample` at `at`, with room for kStampRoom, and at the
// first sample the start of the dump; returns the end.
[[gnu::always_inline]] inline char* WriteStampText(std::uint64_t sample, const VcdTicks& ticks,
                                                   NumberText& tickText, char* at) {
  *at++ = '#';
  at = tickText.Write(ticks.Of(sample), at);
  *at++ = '\n';
  if (sample == 0) at = std::copy(kDumpStart.begin(), kDumpStart.end(), at);
  return at;
}

}  // namespace

std::size_t WriteIdentifier(std::uint64_t wire, char* at) {
  std::size_t length = 0;
  while (true) {
    at[length++] = static_cast<char>('!' + wire % 94);
    if (wire < 94) return length;
    wire = wire / 94 - 1;
  }
}

std::uint64_t VcdChangeWriter::WireOf(std::uint64_t line) const {
  if (line == nextLine_) return nextWire_;  // lines come in order, from 0 at each sample
  std::uint64_t wire = line;
  for (std::size_t i = 0; i < line && !vectors_; ++i) wire += wide_[i] ? 7 : 0;
  return wire;
}

void VcdChangeWriter::MakeTexts(std::uint64_t line, std::size_t count) {
  textsWire_ = WireOf(line);
  texts_.resize(count);
  bitTexts_.clear();
  textsFirst_ = line;
  textsWide_ = false;
  std::uint64_t wire = textsWire_;
  for (std::size_t i = 0; i < count; ++i) {
    LineText& entry = texts_[i];
    const bool wide = wide_[line + i];
    entry.kind = !wide ? Kind::kBit : vectors_ ? Kind::kVector : Kind::kBits;
    entry.bits = static_cast<std::uint32_t>(bitTexts_.size());
    textsWide_ = textsWide_ || wide;
    for (int k = 0; k < (entry.kind == Kind::kBits ? 8 : 1); ++k) {
      WireText& text = entry.kind == Kind::kBits ? bitTexts_.emplace_back() : entry.wire;
      text.length = static_cast<std::uint8_t>(WriteIdentifier(wire++, text.text));
      text.text[text.length++] = '\n';
    }
  }
  nextLine_ = line + count;
  nextWire_ = wire;
}

char* VcdChangeWriter::WriteChange(const LineText& line, std::uint8_t before, std::uint8_t value,
                                   char* at) const {
  if (line.kind == Kind::kBits) {
    for (unsigned changed = before ^ value; changed != 0; changed &= changed - 1) {
      const int bit = std::countr_zero(changed);
      const WireText& wire = bitTexts_[line.bits + bit];
      *at++ = static_cast<char>('0' + (value >> bit & 1));
      std::memcpy(at, wire.text, sizeof wire.text);
      at += wire.length;
    }
    return at;
  }
  if (line.kind == Kind::kVector) {
    std::memcpy(at, kVectorTexts[value].text, sizeof kVectorTexts[value].text);
    at += kVectorTexts[value].length;
  } else {
    *at++ = static_cast<char>('0' + value);
  }
  std::memcpy(at, line.wire.text, sizeof line.wire.text);
  return at + line.wire.length;
}

void VcdChangeWriter::WriteStamp(std::uint64_t sample, RoomWriter& text) {
  stamped_ = sample;
  text.at = WriteStampText(sample, ticks_, tickText_, text.at);
}

void VcdChangeWriter::Write(const SpillBlock& block, RoomWriter& text) {
  bool narrow = narrowWriter_ != nullptr && block.firstLine == 0 && block.lineCount <= 16;
  for (std::size_t i = 0; narrow && i < block.lineCount; ++i) narrow = !wide_[i];
  if (narrow) {
    WriteNarrow(block, text);
    return;
  }
  const bool endsDump = block.EndsLines(wide_.Count());
  rows_.ForEach(block, [&](std::size_t j, std::size_t first, std::size_t count,
                           const std::uint8_t* row, const std::uint8_t* previous) {
    const std::uint64_t sample = block.firstSample + j;
    const std::uint64_t line = block.firstLine + first;
    if (previous != nullptr && (count <= 16 ? ChangedLines(row, previous, count) == 0
                                            : std::memcmp(row, previous, count) == 0)) {
      return;
    }
    if (texts_.size() != count || textsFirst_ != line) MakeTexts(line, count);
    text.Ensure(kStampRoom + (textsWide_ ? 0 : count * kChangeRoom));
    if (previous == nullptr ? line == 0 : stamped_ != sample) WriteStamp(sample, text);
    const LineText* const texts = texts_.data();
    char* at = text.at;
    for (std::size_t group = 0; group < count; group += 16) {
      const std::size_t n = std::min<std::size_t>(16, count - group);
      std::uint32_t changed = previous == nullptr ? (std::uint32_t{1} << n) - 1
                                                  : ChangedLines(row + group, previous + group, n);
      if (textsWide_) {
        text.at = at;
        text.Ensure(16 * kBitsRoom);
        at = text.at;
        for (; changed != 0; changed &= changed - 1) {
          const std::size_t i = group + static_cast<std::size_t>(std::countr_zero(changed));
          const std::uint8_t before =
              previous != nullptr ? previous[i] : static_cast<std::uint8_t>(~row[i]);
          at = WriteChange(texts[i], before, row[i], at);
        }
      } else if (changed != 0 && narrowWriter_ != nullptr && textsWire_ + group + n <= 94) {
        at = narrowWriter_(row + group, changed, static_cast<char>('!' + textsWire_ + group), at);
      } else if (changed != 0) {  // every value 0 or 1: no branch on each line
        for (std::size_t i = group; i < group + n; ++i, changed >>= 1) {
          *at = static_cast<char>('0' + row[i]);
          std::memcpy(at + 1, texts[i].wire.text, sizeof texts[i].wire.text);
          at += (1 + texts[i].wire.length) & (0 - static_cast<std::size_t>(changed & 1));
        }
      }
    }
    text.at = at;
    if (previous == nullptr && endsDump && first + count == block.lineCount) text.Put(kDumpEnd);
  });
}

// Up to 16 lines of 0s and 1s, all of the block's: a row's changes in a few shuffles,
// inlined with the time stamps into one loop. Called only with narrowWriter_ set.
SORRELIN_SSSE3 void VcdChangeWriter::WriteNarrow(const SpillBlock& block, RoomWriter& text) {
  nextLine_ = nextWire_ = block.lineCount;
  // Locals while a block is written, so that the compiler keeps them in registers.
  NumberText tickText = tickText_;
  const VcdTicks ticks = ticks_;
  std::uint64_t stamped = stamped_;
  rows_.ForEach(block, [&](std::size_t j, std::size_t, std::size_t count, const std::uint8_t* row,
                           const std::uint8_t* previous) SORRELIN_SSSE3 {
    const std::uint32_t changed =
        previous == nullptr ? (std::uint32_t{1} << count) - 1 : ChangedLines(row, previous, count);
    if (changed == 0) return;
    text.Ensure(kStampRoom + 16 * kChangeRoom + kDumpEnd.size());
    stamped = block.firstSample + j;
    char* at = WriteStampText(stamped, ticks, tickText, text.at);
#ifdef SORRELIN_NARROW_SSSE3
    at = WriteChangesSsse3(row, changed, '!', at);
#else
    at = narrowWriter_(row, changed, '!', at);
#endif
    if (previous == nullptr) at = std::copy(kDumpEnd.begin(), kDumpEnd.end(), at);
    text.at = at;
  });
  tickText_ = tickText;
  stamped_ = stamped;
}

}  // namespace sorrelin
