#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "data_sink.h"
#include "formats/data_plan.h"
#include "formats/output_format.h"

namespace sorrelin {

// Takes the decoded data in pieces of any size and hands the chosen values to a
// format, line by line; bytes beyond the L x S the counts call for are left out.
class DataRouter : public DataSink {
 public:
  DataRouter(const DataPlan& plan, OutputFormat& format);
  void Take(std::span<const std::uint8_t> bytes) override;
  // The format's room, where every one of the next `bytes` would go to it.
  std::uint8_t* Room(std::size_t bytes) override;
  // Counts bytes without handing them to the format.
  void Skip(std::uint64_t bytes) noexcept { received_ += bytes; }
  // Bytes of data received, those left out included.
  std::uint64_t Received() const noexcept { return received_; }
  bool Complete() const noexcept { return !plan_.neededOverflows && received_ >= plan_.needed; }

 private:
  bool LineChosen() const noexcept { return spans_[span_].begin <= line_; }

  const DataPlan& plan_;
  OutputFormat& format_;
  std::vector<DataPlan::LineSpan> spans_;  // the chosen lines, then one past every line
  std::uint64_t received_ = 0;
  std::uint64_t line_ = 0;    // the line under way, from 0
  std::uint64_t column_ = 0;  // its next sample, from 0
  std::size_t span_ = 0;      // the first span not yet behind line_
};

}  // namespace sorrelin
