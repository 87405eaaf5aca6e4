#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace sorrelin {

// Where an output's bytes go: a file put in place whole at the end, or a stream.
// Failures raise ConversionError: kNotEnoughSpace for a full disk or quota (its
// text is made by the caller, who knows the output's size), kWriteFailed otherwise.
class OutputTarget {
 public:
  virtual ~OutputTarget() = default;
  // Fails when less than `bytes` are free, and reserves them where the system can.
  virtual void Reserve(std::uint64_t bytes) = 0;
  virtual void Write(const char* bytes, std::size_t size) = 0;
  // Puts the output in place, unless `proceed`, asked last, says no: then nothing
  // changes and it returns false.
  virtual bool Commit(const std::function<bool()>& proceed) = 0;
  // Gives up the output: what was written is removed where it can be.
  virtual void Discard() noexcept = 0;
};

}  // namespace sorrelin
