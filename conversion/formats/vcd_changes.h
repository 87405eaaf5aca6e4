#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "formats/narrow_changes.h"
#include "formats/number_text.h"
#include "formats/sample_rows.h"
#include "formats/spill_file.h"
#include "formats/vcd_timescale.h"
#include "formats/wide_lines.h"
#include "output/output_stream.h"

namespace sorrelin {

inline constexpr std::string_view kDumpStart = "$dumpvars\n";
inline constexpr std::string_view kDumpEnd = "$end\n";

// Writes the identifier of wire `wire` (from 0) at `at`, which has room for 12
// characters: the printable characters '!' to '~' for the first 94 wires, then two of
// them, and so on. Returns its length.
std::size_t WriteIdentifier(std::uint64_t wire, char* at);

// Writes the changes of a value change dump from spill blocks that hold a look behind:
// at the first sample every wire's value, after its time stamp between kDumpStart and
// kDumpEnd; at each later sample where a line changes, its time stamp and each change.
// A chosen line is a wire of 1 bit when its values are 0 or 1; else, with `vectors`,
// a wire of 8 bits, and without, 8 wires of 1 bit, its bit 0 first. It keeps the texts
// of the lines it last wrote.
class VcdChangeWriter {
 public:
  // `wide[i]`: whether chosen line i has values other than 0 and 1. Both are kept.
  VcdChangeWriter(const WideLines& wide, bool vectors, const VcdTicks& ticks)
      : wide_(wide), vectors_(vectors), ticks_(ticks) {}
  void Write(const SpillBlock& block, RoomWriter& text);

 private:
  enum class Kind : std::uint8_t { kBit, kVector, kBits };
  // A wire's identifier and line feed.
  struct WireText {
    char text[12];
    std::uint8_t length;
  };
  // A chosen line's wire, or its 8 wires from bitTexts_[bits].
  struct LineText {
    WireText wire;
    Kind kind;
    std::uint32_t bits;
  };
  // Writes the line's changes from `before` to `value` at `at`; returns the end.
  char* WriteChange(const LineText& line, std::uint8_t before, std::uint8_t value, char* at) const;
  void WriteNarrow(const SpillBlock& block, RoomWriter& text);
  // Writes the time stamp of `sample`, and at the first the start of the dump.
  void WriteStamp(std::uint64_t sample, RoomWriter& text);
  // Makes the texts of `count` chosen lines from `line`.
  void MakeTexts(std::uint64_t line, std::size_t count);
  // The first wire of chosen line `line`.
  std::uint64_t WireOf(std::uint64_t line) const;

  const WideLines& wide_;
  const bool vectors_;
  const VcdTicks& ticks_;
  SampleRows rows_;
  NumberText tickText_;
  std::uint64_t stamped_ = 0;  // the last sample whose time is written
  std::vector<LineText> texts_;
  std::vector<WireText> bitTexts_;
  std::uint64_t textsFirst_ = 0;  // the chosen line of texts_[0]
  bool textsWide_ = false;        // whether any of them is not a wire of 1 bit
  std::uint64_t textsWire_ = 0;   // the first wire of the line of texts_[0]
  std::uint64_t nextLine_ = 0;    // the line after them, and its first wire
  std::uint64_t nextWire_ = 0;
  NarrowChangeWriter narrowWriter_ = VectorNarrowChangeWriter();
};

}  // namespace sorrelin
