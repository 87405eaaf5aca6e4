#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats/output_format.h"
#include "formats/spill_file.h"
#include "formats/wide_lines.h"

namespace sorrelin {

// A sigrok session file (version 2): a zip of "version", "metadata" and the samples
// as units of 1, 2, 4 or 8 bytes, little-endian, in chunks "logic-1-1", "logic-1-2"...
// A chosen line whose values are all 0 or 1 is one channel, "lineN"; any other, eight,
// "lineN.0" to "lineN.7" from its lowest bit: 64 channels at most. The values, which
// come line after line, are kept in a SpillFile until all have come.
class SigrokSessionFormat : public OutputFormat {
 public:
  SigrokSessionFormat(const DataPlan& plan, OutputStream& out, const FormatSettings& settings)
      : plan_(plan), out_(out), settings_(settings) {}
  std::uint64_t SmallestSize() const override;
  // Raises ConversionError (kTooManyChannels) when the chosen lines are too many.
  bool Begin(const Proceed& proceed) override;
  void Values(std::span<const std::uint8_t> values) override;
  std::uint8_t* Room(std::size_t count) override { return spill_ ? spill_->Room(count) : nullptr; }
  void EndLine() override;
  // Raises ConversionError (kTooManyChannels) when the lines of other values than 0
  // and 1 make too many channels.
  bool End(const Proceed& proceed) override;

 private:
  // The ini text naming each chosen line's channels, from `channels` in all.
  std::string Metadata(std::uint64_t channels, std::size_t unitSize) const;

  const DataPlan& plan_;
  OutputStream& out_;
  FormatSettings settings_;
  std::unique_ptr<SpillFile> spill_;
  WideLines wide_;
};

}  // namespace sorrelin
