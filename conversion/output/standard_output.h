#pragma once

#include "output/output_target.h"
#include "platform/files.h"

namespace sorrelin {

// The program's standard output as an output's target. Bytes go out as they are
// written, so a failure part way leaves what was written before it.
class StandardOutput : public OutputTarget {
 public:
  StandardOutput();  // raises ConversionError (kOutputNotWritable) when it cannot be used
  void Reserve(std::uint64_t) override {}
  void Write(const char* bytes, std::size_t size) override;
  bool Commit(const std::function<bool()>&) override { return true; }
  void Discard() noexcept override {}

 private:
  UniqueFile file_;
};

}  // namespace sorrelin
