#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats/output_format.h"
#include "formats/spill_file.h"
#include "formats/vcd_changes.h"

namespace sorrelin {

// A value change dump (IEEE 1364): a wire per chosen line, of 1 bit when its values
// are all 0 or 1, else of 8; the first value of every line at time 0, then each
// change at its sample's time, and the end of the last sample. The values, which
// come line after line, are kept in a SpillFile until all have come.
class VcdFormat : public OutputFormat {
 public:
  VcdFormat(const DataPlan& plan, OutputStream& out, const FormatSettings& settings);
  std::uint64_t SmallestSize() const override;
  bool Begin(const Proceed& proceed) override;
  void Values(std::span<const std::uint8_t> values) override;
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
  std::vector<bool> wide_;  // the chosen lines come so far with values other than 0 and 1
  std::uint8_t seen_ = 0;   // its values so far, OR-ed
};

}  // namespace sorrelin
