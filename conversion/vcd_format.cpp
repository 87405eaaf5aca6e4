#include "vcd_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "message_text.h"
#include "sample_rows.h"

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

constexpr std::string_view kSmallestVariable = "$var wire 1 ! line1 $end\n";
constexpr std::string_view kDefinitionsEnd = "$upscope $end\n$enddefinitions $end\n";
constexpr std::string_view kDumpStart = "#0\n$dumpvars\n";
constexpr std::string_view kDumpEnd = "$end\n";

// The identifier of the chosen line `line` (from 0): the printable characters '!' to
// '~' for the first 94 lines, then two of them, and so on. Returns its length.
std::size_t WriteIdentifier(std::uint64_t line, char* at) {
  std::size_t length = 0;
  while (true) {
    at[length++] = static_cast<char>('!' + line % 94);
    if (line < 94) return length;
    line = line / 94 - 1;
  }
}

// Bit k set when the value of line k of `count` (at most 16) differs between `row` and
// `before`.
std::uint32_t ChangedLines(const std::uint8_t* row, const std::uint8_t* before, std::size_t count) {
#ifdef SORRELIN_SSE2
  if (count == 16) {
    const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    const __m128i then = _mm_loadu_si128(reinterpret_cast<const __m128i*>(before));
    return ~static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(now, then))) & 0xFFFF;
  }
#endif
  std::uint32_t changed = 0;
  for (std::size_t k = 0; k < count; ++k) changed |= std::uint32_t{row[k] != before[k]} << k;
  return changed;
}

// Now in UTC, as 2026-12-07T10:37:39Z.
std::string DateText() {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

std::string RateText(double number) {
  char text[32];
  return std::string(
      text, std::to_chars(text, text + sizeof text, number, std::chars_format::general, 12).ptr);
}

// The name escaped and quoted; a '$' would let a reader take "$end" in it for the
// comment's end.
std::string CommentName(const std::string& name) {
  std::string text;
  for (const char c : Quoted(name)) text += c == '$' ? std::string("\\x24") : std::string(1, c);
  return text;
}

}  // namespace

VcdFormat::VcdFormat(const DataPlan& plan, OutputStream& out, const FormatSettings& settings)
    : plan_(plan), out_(out), settings_(settings) {
  // A tick is 1, 10 or 100 s, ms, us, ns, ps or fs: the sample period when it is one
  // of them, else the next shorter.
  static constexpr std::array<const char*, 6> kUnits = {"s", "ms", "us", "ns", "ps", "fs"};
  static constexpr std::array<double, 18> kTicksPerSecond = {1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,
                                                             1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                                             1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::string timescale = "1 s";
  std::string timing = "sample rate unknown: a tick is a sample";
  if (const auto rate = settings.sampleRate) {
    timing = RateText(*rate) + " samples per second";
    std::size_t k = 0;
    while (k + 1 < kTicksPerSecond.size() && kTicksPerSecond[k] < *rate) ++k;
    tickPerSample_ = kTicksPerSecond[k] <= *rate;  // beyond 1 fs, a tick is a sample too
    ticksPerSecond_ = kTicksPerSecond[k];
    // kTicksPerSecond[k] is 10^(k - 2): a tick is 10^(3 * unit + 2 - k) units.
    const std::size_t unit = k / 3;
    const std::size_t zeros = 3 * unit + 2 - k;
    timescale = std::string(zeros == 2 ? "100 " : zeros == 1 ? "10 " : "1 ") + kUnits[unit];
    if (*rate > kTicksPerSecond.back()) timing += "; the period is below 1 fs: a tick is a sample";
  }
  head_ = "$date " + DateText() + " $end\n$version Sorrelin " SORRELIN_VERSION " $end\n" +
          "$comment Converted from " + CommentName(settings.documentName) + ": " +
          std::to_string(plan.chosenLineCount) + " of " + std::to_string(plan.lines) + " lines, " +
          std::to_string(plan.sampleCount) + " of " + std::to_string(plan.samples) +
          " samples from sample " + std::to_string(plan.firstSample + 1) + ", " + timing +
          " $end\n$timescale " + timescale + " $end\n$scope module sorrelin $end\n";
}

std::uint64_t VcdFormat::Tick(std::uint64_t sample) const {
  if (tickPerSample_) return sample;
  return static_cast<std::uint64_t>(
      std::roundl(static_cast<long double>(sample) * ticksPerSecond_ / *settings_.sampleRate));
}

std::uint64_t VcdFormat::SmallestSize() const {
  // Every wire of 1 bit with the shortest name, a dump of single digits, no change.
  bool overflow = false;
  const std::uint64_t lines = plan_.chosenLineCount;
  const bool dump = plan_.sampleCount != 0;
  char end[24];
  const std::size_t endSize =
      std::to_chars(end, end + sizeof end, Tick(plan_.sampleCount)).ptr - end;
  std::uint64_t size = head_.size() + kDefinitionsEnd.size() + 2 + endSize +
                       (dump ? kDumpStart.size() + kDumpEnd.size() : 0);
  size = CheckedSum(
      size, CheckedProduct(lines, kSmallestVariable.size() + (dump ? 3 : 0), overflow), overflow);
  return overflow ? std::numeric_limits<std::uint64_t>::max() : size;
}

void VcdFormat::Begin() {
  wide_.assign(static_cast<std::size_t>(plan_.chosenLineCount), false);
  spill_ = std::make_unique<SpillFile>(plan_.chosenLineCount, plan_.sampleCount,
                                       settings_.temporaryFiles, settings_.spillFolder);
}

void VcdFormat::Values(std::span<const std::uint8_t> values) {
  std::uint8_t seen = 0;
  for (const std::uint8_t value : values) seen |= value;
  seen_ |= seen;
  spill_->Append(values);
}

void VcdFormat::EndLine() {
  if (seen_ > 1) wide_[static_cast<std::size_t>(line_)] = true;
  ++line_;
  seen_ = 0;
}

void VcdFormat::End() {
  WriteDefinitions();
  RoomWriter text(out_);
  SampleRows rows;
  spill_->ReadBack(1, [&](const SpillBlock& block) { WriteChanges(block, rows, text); });
  text.Ensure(kStampRoom);
  *text.at++ = '#';
  text.at = std::to_chars(text.at, text.at + 20, Tick(plan_.sampleCount)).ptr;
  *text.at++ = '\n';
}

void VcdFormat::WriteDefinitions() {
  std::string text = head_;
  std::uint64_t chosen = 0;
  for (const DataPlan::LineSpan& span : plan_.chosenLines) {
    for (std::uint64_t line = span.begin; line < span.end; ++line, ++chosen) {
      char identifier[16];
      text += wide_[static_cast<std::size_t>(chosen)] ? "$var wire 8 " : "$var wire 1 ";
      text.append(identifier, WriteIdentifier(chosen, identifier));
      text += " line" + std::to_string(line + 1) + " $end\n";
      if (text.size() >= OutputStream::kLargestRoom) {
        out_.Write(text);
        text.clear();
      }
    }
  }
  out_.Write(text + std::string(kDefinitionsEnd));
}

void VcdFormat::MakeTexts(std::uint64_t line, std::size_t count) {
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

char* VcdFormat::WriteChange(const LineText& line, std::uint8_t value, char* at) {
  if (line.wide) {
    std::memcpy(at, kVectorTexts[value].text, sizeof kVectorTexts[value].text);
    at += kVectorTexts[value].length;
  } else {
    *at++ = static_cast<char>('0' + value);
  }
  std::memcpy(at, line.text, sizeof line.text);
  return at + line.length;
}

void VcdFormat::WriteChanges(const SpillBlock& block, SampleRows& rows, RoomWriter& text) {
  const bool endsDump = block.EndsLines(plan_.chosenLineCount);
  rows.ForEach(block, [&](std::size_t j, std::size_t first, std::size_t count,
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
        text.at = tickText_.Write(Tick(sample), text.at);
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

}  // namespace sorrelin
