#pragma once

#include <memory>
#include <string>
#include <vector>

#include "narrow_changes.h"
#include "number_text.h"
#include "output_format.h"
#include "sample_rows.h"
#include "spill_file.h"

namespace sorrelin {

// A value change dump (IEEE 1364): a wire per chosen line, of 1 bit when its values
// are all 0 or 1, else of 8; the first value of every line at time 0, then each
// change at its sample's time, and the end of the last sample. The values, which
// come line after line, are kept in a SpillFile until all have come.
class VcdFormat : public OutputFormat {
 public:
  VcdFormat(const DataPlan& plan, OutputStream& out, const FormatSettings& settings);
  std::uint64_t SmallestSize() const override;
  void Begin() override;
  void Values(std::span<const std::uint8_t> values) override;
  void EndLine() override;
  void End() override;

 private:
  void WriteDefinitions();
  // A chosen line's identifier and line feed, and whether it is 8 bits wide.
  struct LineText {
    char text[12];
    std::uint8_t length;
    bool wide;
  };
  void WriteChanges(const SpillBlock& block, SampleRows& rows, RoomWriter& text);
  // Writes the line's value, identifier and line feed at `at`; returns the end.
  static char* WriteChange(const LineText& line, std::uint8_t value, char* at);
  // Makes the texts of `count` chosen lines from `line`.
  void MakeTexts(std::uint64_t line, std::size_t count);
  // The time of a chosen sample, from 0, in ticks.
  std::uint64_t Tick(std::uint64_t sample) const;

  const DataPlan& plan_;
  OutputStream& out_;
  FormatSettings settings_;
  std::string head_;  // from $date to $scope
  bool tickPerSample_ = true;
  long double ticksPerSecond_ = 1;  // when a tick is not a sample
  std::unique_ptr<SpillFile> spill_;
  std::vector<bool> wide_;     // the chosen lines with values other than 0 and 1
  std::uint64_t line_ = 0;     // the chosen line under way, from 0
  std::uint8_t seen_ = 0;      // its values so far, OR-ed
  std::uint64_t stamped_ = 0;  // the last sample whose time is written
  NumberText tickText_;
  std::vector<LineText> texts_;
  std::uint64_t textsFirst_ = 0;  // the chosen line of texts_[0]
  bool textsWide_ = false;        // whether any of them is wide
  NarrowChangeWriter narrowWriter_ = VectorNarrowChangeWriter();
};

}  // namespace sorrelin
