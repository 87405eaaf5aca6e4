#pragma once

#include "formats/output_format.h"

namespace sorrelin {

// The text table: one row per chosen line, each value's decimal text and a comma,
// every row ended by CR LF.
class TextTableFormat : public OutputFormat {
 public:
  TextTableFormat(const DataPlan& plan, OutputStream& out) : plan_(plan), out_(out) {}
  std::uint64_t SmallestSize() const override;
  bool Begin(const Proceed&) override { return true; }
  void Values(std::span<const std::uint8_t> values) override;
  void EndLine() override;
  bool End(const Proceed& proceed) override;

 private:
  const DataPlan& plan_;
  OutputStream& out_;
};

}  // namespace sorrelin
