#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace sorrelin {

// The progress of one conversion as one line on a terminal, rewritten in place
// ("run1.XMLdig: 42 %, 310 MB/s, 0:03 left"). It appears once the conversion has run
// for a second, and is erased before anything else is written and when it is done.
class ProgressLine {
 public:
  // Shows nothing when `terminal` is null. `pathText` names the document.
  ProgressLine(std::ostream* terminal, const std::string& pathText);
  ~ProgressLine() { Erase(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Bytes of the document read so far and its size (0 when not known).
  void Update(std::uint64_t bytesRead, std::uint64_t bytesTotal);
  void Erase();

 private:
  using Clock = std::chrono::steady_clock;

  std::ostream* terminal_;
  std::string name_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point shownAt_{};
  std::size_t shownLength_ = 0;
};

}  // namespace sorrelin
