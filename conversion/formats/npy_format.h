#pragma once

#include <string>

#include "formats/output_format.h"

namespace sorrelin {

// A NumPy array file (format version 1.0) of unsigned bytes, one row per chosen line:
// a 64-byte aligned header, then the values as they come.
class NpyFormat : public OutputFormat {
 public:
  NpyFormat(const DataPlan& plan, OutputStream& out);
  std::uint64_t SmallestSize() const override;
  bool Begin(const Proceed&) override {
    out_.Write(header_);
    return true;
  }
  void Values(std::span<const std::uint8_t> values) override;
  std::uint8_t* Room(std::size_t count) override;
  void EndLine() override {}
  bool End(const Proceed&) override { return true; }

 private:
  const DataPlan& plan_;
  OutputStream& out_;
  std::string header_;
};

}  // namespace sorrelin
