#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "formats/narrow_changes.h"
#include "formats/number_text.h"
#include "formats/sample_rows.h"
#include "formats/spill_file.h"
#include "output/output_stream.h"

namespace sorrelin {

inline constexpr std::string_view kDumpStart = "#0\n$dumpvars\n";
inline constexpr std::string_view kDumpEnd = "$end\n";

// Writes the identifier of the chosen line `line` (from 0) at `at`, which has room for
// 12 characters: the printable characters '!' to '~' for the first 94 lines, then two
// of them, and so on. Returns its length.
std::size_t WriteIdentifier(std::uint64_t line, char* at);

// The time of a chosen sample, from 0, in ticks: the sample itself when a tick is a
// sample, else its time in ticks of `perSecond` a second.
struct VcdTicks {
  bool perSample = true;
  long double perSecond = 1;
  double sampleRate = 1;
  std::uint64_t Of(std::uint64_t sample) const;
};

// Writes the changes of a value change dump from spill blocks that hold a look behind:
// at sample 0 every line's value, between kDumpStart and kDumpEnd; at each later sample
// where a line changes, its time stamp and each change. It keeps the texts of the
// lines it last wrote.
class VcdChangeWriter {
 public:
  // `wide[i]`: whether chosen line i has values other than 0 and 1. Both are kept.
  VcdChangeWriter(const std::vector<bool>& wide, const VcdTicks& ticks)
      : wide_(wide), ticks_(ticks) {}
  void Write(const SpillBlock& block, RoomWriter& text);

 private:
  // A chosen line's identifier and line feed, and whether it is 8 bits wide.
  struct LineText {
    char text[12];
    std::uint8_t length;
    bool wide;
  };
  // Writes the line's value, identifier and line feed at `at`; returns the end.
  static char* WriteChange(const LineText& line, std::uint8_t value, char* at);
  void WriteNarrow(const SpillBlock& block, RoomWriter& text);
  // Makes the texts of `count` chosen lines from `line`.
  void MakeTexts(std::uint64_t line, std::size_t count);

  const std::vector<bool>& wide_;
  const VcdTicks& ticks_;
  SampleRows rows_;
  NumberText tickText_;
  std::uint64_t stamped_ = 0;  // the last sample whose time is written
  std::vector<LineText> texts_;
  std::uint64_t textsFirst_ = 0;  // the chosen line of texts_[0]
  bool textsWide_ = false;        // whether any of them is wide
  NarrowChangeWriter narrowWriter_ = VectorNarrowChangeWriter();
};

}  // namespace sorrelin
