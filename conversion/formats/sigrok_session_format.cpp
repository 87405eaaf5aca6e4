#include "formats/sigrok_session_format.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "conversion_error.h"
#include "formats/format_module.h"
#include "formats/sample_rows.h"
#include "formats/simd.h"
#include "formats/zip_stream.h"

namespace sorrelin {
namespace {

// Bytes of units in a chunk, as libsigrok writes them; its reader takes any size.
constexpr std::size_t kChunkBytes = std::size_t{4} << 20;
constexpr std::uint64_t kMostChannels = 64;
// Samples packed into units at once.
constexpr std::size_t kBatch = 1024;

ConversionError TooManyChannels(std::uint64_t channels) {
  return ConversionError(ErrorNumber::kTooManyChannels,
                         "a sigrok session holds at most 64 channels: these lines make " +
                             std::to_string(channels) + "; choose lines with -l");
}

// The smallest of 1, 2, 4 and 8 bytes holding a bit per channel.
std::size_t UnitSizeFor(std::uint64_t channels) {
  std::size_t size = 1;
  while (size < 8 && size * 8 < channels) size *= 2;
  return size;
}

// units[t] |= values[t] << shift for t below n. Kept out of the loop over lines, where
// GCC 12 unrolls and jams two lines into a loop it then leaves unvectorized.
template <typename Unit>
[[gnu::noinline]] void OrShifted(Unit* units, const std::uint8_t* values, std::size_t n,
                                 unsigned shift) {
  for (std::size_t t = 0; t < n; ++t) units[t] |= static_cast<Unit>(Unit{values[t]} << shift);
}

// ORs samples [from, from + count) of the block's lines into the units at `to`: the
// value of chosen line k shifted by shifts[k]. Units are made in their own width, so
// that more of them fit in a vector register.
template <typename Unit>
void PackUnits(const SpillBlock& block, std::size_t from, std::size_t count,
               const std::vector<unsigned>& shifts, std::uint8_t* to) {
  Unit units[kBatch];
  for (std::size_t done = 0; done < count; done += kBatch) {
    const std::size_t n = std::min(kBatch, count - done);
    std::fill_n(units, n, Unit{0});
    for (std::size_t i = 0; i < block.lineCount; ++i) {
      OrShifted(units, block.values + i * block.stride + from + done, n,
                shifts[static_cast<std::size_t>(block.firstLine + i)]);
    }
    std::uint8_t* at = to + done * sizeof(Unit);
    for (std::size_t t = 0; t < n; ++t, at += sizeof(Unit)) {
      for (std::size_t b = 0; b < sizeof(Unit); ++b)
        at[b] |= static_cast<std::uint8_t>(units[t] >> (8 * b));
    }
  }
}

// Sixteen lines of 0s and 1s as channels 0 to 15, all in the block: 16 samples at a
// time turned into rows, each row's bits taken at once.
void PackSixteenLines(const SpillBlock& block, std::size_t from, std::size_t count,
                      const std::vector<unsigned>& shifts, std::uint8_t* to) {
  std::size_t t = 0;
#ifdef SORRELIN_SSE2
  alignas(16) std::uint8_t rows[16 * 16];
  for (; count - t >= 16; t += 16) {
    GatherRows(block.values + from + t, block.stride, 16, 16, rows);
    for (std::size_t s = 0; s < 16; ++s) {
      const __m128i row = _mm_load_si128(reinterpret_cast<const __m128i*>(rows + 16 * s));
      const auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_slli_epi16(row, 7)));
      to[2 * (t + s)] |= static_cast<std::uint8_t>(bits);
      to[2 * (t + s) + 1] |= static_cast<std::uint8_t>(bits >> 8);
    }
  }
#endif
  PackUnits<std::uint16_t>(block, from + t, count - t, shifts, to + 2 * t);
}

void PackUnits(std::size_t unitSize, const SpillBlock& block, std::size_t from, std::size_t count,
               const std::vector<unsigned>& shifts, std::uint8_t* to) {
  if (unitSize == 2 && shifts.size() == 16 && shifts.back() == 15 && block.lineCount == 16) {
    return PackSixteenLines(block, from, count, shifts, to);
  }
  switch (unitSize) {
    case 1:
      return PackUnits<std::uint8_t>(block, from, count, shifts, to);
    case 2:
      return PackUnits<std::uint16_t>(block, from, count, shifts, to);
    case 4:
      return PackUnits<std::uint32_t>(block, from, count, shifts, to);
    default:
      return PackUnits<std::uint64_t>(block, from, count, shifts, to);
  }
}

std::span<const std::uint8_t> BytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::uint64_t SigrokSessionFormat::SmallestSize() const {
  // A lower bound, since deflate's output depends on the values: for each entry its
  // local header, data descriptor and central header without extra fields, then the
  // end record; the units of 0/1 lines deflated at deflate's best ratio, 1032 to 1.
  bool overflow = false;
  const std::uint64_t units = plan_.chosenLineCount == 0 ? 0 : plan_.sampleCount;
  const std::uint64_t bytes =
      CheckedProduct(units, UnitSizeFor(std::min(plan_.chosenLineCount, kMostChannels)), overflow);
  const std::uint64_t chunks = std::max<std::uint64_t>(1, (bytes + kChunkBytes - 1) / kChunkBytes);
  const std::uint64_t perChunk = 30 + 16 + 46 + 2 * 9;  // a name of 9 characters or more
  const std::uint64_t fixed = 2 * (30 + 16 + 46) + 2 * (7 + 8) + 1 + 1 + 22;
  const std::uint64_t size =
      CheckedSum(fixed + bytes / 1032, CheckedProduct(chunks, perChunk, overflow), overflow);
  return overflow ? std::numeric_limits<std::uint64_t>::max() : size;
}

bool SigrokSessionFormat::Begin(const Proceed&) {
  if (plan_.chosenLineCount > kMostChannels) throw TooManyChannels(plan_.chosenLineCount);
  spill_ = std::make_unique<SpillFile>(plan_.chosenLineCount, plan_.sampleCount,
                                       settings_.temporaryFiles, settings_.spillFolder);
  return true;
}

void SigrokSessionFormat::Values(std::span<const std::uint8_t> values) {
  wide_.Take(values);
  spill_->Append(values);
}

void SigrokSessionFormat::EndLine() { wide_.EndLine(); }

bool SigrokSessionFormat::End(const Proceed& proceed) {
  // Each chosen line's first channel, counted from bit 0 of a unit.
  const auto lines = static_cast<std::size_t>(plan_.chosenLineCount);
  std::vector<unsigned> shifts(lines);
  std::uint64_t channels = 0;
  for (std::size_t k = 0; k < lines; ++k) {
    shifts[k] = static_cast<unsigned>(std::min(channels, kMostChannels));
    channels += wide_[k] ? 8 : 1;
  }
  if (channels > kMostChannels) throw TooManyChannels(channels);
  const std::size_t unitSize = UnitSizeFor(channels);

  ZipStream zip(out_);
  zip.Add("version", BytesOf("2"));
  zip.Add("metadata", BytesOf(Metadata(channels, unitSize)));
  const std::uint64_t units = lines == 0 ? 0 : plan_.sampleCount;
  const std::size_t chunkUnits = kChunkBytes / unitSize;
  std::vector<std::uint8_t> chunk(
      static_cast<std::size_t>(std::min<std::uint64_t>(chunkUnits, units)) * unitSize);
  std::size_t filled = 0;  // units in the chunk with every line's bits
  std::uint64_t written = 0;
  auto writeChunk = [&] {
    zip.Add("logic-1-" + std::to_string(++written), {chunk.data(), filled * unitSize});
    std::fill(chunk.begin(), chunk.end(), 0);
    filled = 0;
  };
  const bool ended = spill_->ReadBack(0, [&](const SpillBlock& block) {
    if (!proceed(static_cast<double>(block.firstSample) / static_cast<double>(plan_.sampleCount))) {
      return false;
    }
    // A block holds some lines' values of some samples: the next lines of the same
    // samples, if any, come in the next blocks and add their bits to the same units.
    for (std::size_t j = 0; j < block.sampleCount;) {
      const std::size_t n = std::min(block.sampleCount - j, chunkUnits - filled);
      PackUnits(unitSize, block, j, n, shifts, chunk.data() + filled * unitSize);
      if (block.EndsLines(lines)) {
        filled += n;
        if (filled == chunkUnits) writeChunk();
      }
      j += n;
    }
    return true;
  });
  if (!ended) return false;
  // Without a first chunk, even of no samples, the reader finds no capture.
  if (filled != 0 || written == 0) writeChunk();
  zip.Finish();
  return true;
}

std::string SigrokSessionFormat::Metadata(std::uint64_t channels, std::size_t unitSize) const {
  // Read as a GLib key file, key after key: "total probes" makes the channels that
  // "probeN" names and turns on; one left unnamed is off. The version is that of the
  // libsigrok whose session files this layout follows.
  std::string text = "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\n";
  text += "total probes=" + std::to_string(channels) + "\n";
  // Whole hertz: libsigrok's parser would truncate a fraction. Below 0.5 Hz, unknown.
  if (const auto rate = settings_.sampleRate; rate && *rate >= 0.5 && *rate < 1.8e19) {
    text += "samplerate=" + std::to_string(static_cast<std::uint64_t>(std::round(*rate))) + " Hz\n";
  }
  text += "total analog=0\nunitsize=" + std::to_string(unitSize) + "\n";
  std::uint64_t probe = 0;
  std::size_t chosen = 0;
  for (const DataPlan::LineSpan& span : plan_.chosenLines) {
    for (std::uint64_t line = span.begin; line < span.end; ++line, ++chosen) {
      const std::string name = "line" + std::to_string(line + 1);
      if (!wide_[chosen]) {
        text += "probe" + std::to_string(++probe) + "=" + name + "\n";
        continue;
      }
      for (int bit = 0; bit < 8; ++bit) {
        text += "probe" + std::to_string(++probe) + "=" + name + "." + std::to_string(bit) + "\n";
      }
    }
  }
  return text;
}

extern const FormatModule kSigrokSessionFormat{
    "sr",
    ".sr",
    "a sigrok session, for PulseView",
    "sigrok session for PulseView",
    "output",
    true,
    true,
    {.rate = true, .wholeHertz = true},
    [](const DataPlan& plan, OutputStream& out,
       const FormatSettings& settings) -> std::unique_ptr<OutputFormat> {
      return std::make_unique<SigrokSessionFormat>(plan, out, settings);
    }};

}  // namespace sorrelin
