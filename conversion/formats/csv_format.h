#pragma once

#include <memory>

#include "formats/number_text.h"
#include "formats/output_format.h"
#include "formats/spill_file.h"

namespace sorrelin {

// Comma-separated values (RFC 4180): a header row naming the chosen lines, then a
// row per chosen sample: its number, its time when the sample rate is known, and the
// value of each chosen line; every row ends with CR LF. The values, which come line
// after line, are kept in a SpillFile until all have come.
class CsvFormat : public OutputFormat {
 public:
  CsvFormat(const DataPlan& plan, OutputStream& out, const FormatSettings& settings)
      : plan_(plan), out_(out), settings_(settings) {}
  std::uint64_t SmallestSize() const override;
  bool Begin(const Proceed& proceed) override;
  void Values(std::span<const std::uint8_t> values) override { spill_->Append(values); }
  std::uint8_t* Room(std::size_t count) override { return spill_ ? spill_->Room(count) : nullptr; }
  void EndLine() override {}
  bool End(const Proceed& proceed) override;

 private:
  // End with a row only at the first and last samples and where a line changes.
  bool EndChanges(const Proceed& proceed);
  // Writes the time of a sample, numbered from 1, and a comma at `at`; returns the end.
  char* WriteTime(std::uint64_t sample, char* at) const;

  const DataPlan& plan_;
  OutputStream& out_;
  FormatSettings settings_;
  std::unique_ptr<SpillFile> spill_;
  // With changes: a row too wide to come at once, as it is gathered.
  std::unique_ptr<std::uint8_t[]> row_;
};

}  // namespace sorrelin
