#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats/output_format.h"
#include "formats/spill_file.h"
#include "formats/vcd_changes.h"
#include "formats/wide_lines.h"

namespace sorrelin {

// A value change dump (IEEE 1364): a wire of 1 bit per chosen line whose values are
// all 0 or 1; for any other line 8 wires of 1 bit, lineN.0 to lineN.7, or with
// FormatSettings::vectors one wire of 8 bits, which sigrok stops reading at its first
// value over 1. The first value of every wire at the first chosen sample's time, then
// each change at its sample's time, and the end of the last sample. The values, which
// come line after line, are kept in a SpillFile until all have come.
//
// Times are those of the samples in the document, and a dump of later samples starts
// at the first one's time, with nothing before: GTKWave shows them there, and sigrok
// by default makes the first time its sample 0, so reads them whole (with skip=0 it
// fills the time before with zeros). A start at #0 with the first values would show
// values outside the selection, and have sigrok fill the time before with them.
class VcdFormat : public OutputFormat {
 public:
  VcdFormat(const DataPlan& plan, OutputStream& out, const FormatSettings& settings);
  std::uint64_t SmallestSize() const override;
  bool Begin(const Proceed& proceed) override;
  void Values(std::span<const std::uint8_t> values) override;
  std::uint8_t* Room(std::size_t count) override { return spill_ ? spill_->Room(count) : nullptr; }
  void EndLine() override;
  bool End(const Proceed& proceed) override;

 private:
  bool WriteDefinitions(const Proceed& proceed);

  const DataPlan& plan_;
  OutputStream& out_;
  FormatSettings settings_;
  std::string head_;  // from $date to $scope
  VcdTicks ticks_;
  std::unique_ptr<SpillFile> spill_;
  WideLines wide_;
  std::uint64_t wideLines_ = 0, wideDigits_ = 0;  // of those lines, and of their numbers
  std::size_t span_ = 0;                          // the chosen line under way
  std::uint64_t line_ = 0;
};

}  // namespace sorrelin
