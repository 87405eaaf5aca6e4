#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace sorrelin {

// The progress of one conversion as one line on a terminal, rewritten in place
// ("run1.XMLdig: 42 %, 310 MB/s, 0:03 left"). It appears once the conversion has run
// for a second, and is erased before anything else is written and when it is done.
// It fits the width of the terminal that standard error writes to, redrawn when the
// window changes size, and leaves two columns free for an echoed "^C".
class ProgressLine {
 public:
  // Shows nothing when `terminal` is null. `pathText` names the document.
  ProgressLine(std::ostream* terminal, const std::string& pathText);
  ~ProgressLine() { Erase(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Bytes of the document read so far and its size (0 when not known). Cheap to call
  // often: the line is redrawn at most four times a second.
  void Update(std::uint64_t bytesRead, std::uint64_t bytesTotal);
  // Clears the whole line, including what the terminal echoed on it, such as "^C".
  void Erase();

  // One character of the name as shown: itself, or its escape such as \x01.
  struct NameCharacter {
    std::string text;
    std::size_t columns;
  };

 private:
  using Clock = std::chrono::steady_clock;

  // Updates the rate, mostly from what was read since the line was last drawn.
  void MeasureRate(std::uint64_t bytesRead, Clock::time_point now);

  std::ostream* terminal_;
  std::vector<NameCharacter> name_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point shownAt_{};   // when the line was last drawn
  std::uint64_t shownBytes_ = 0;  // and the bytes read then
  double bytesPerSecond_ = 0;
  bool shown_ = false;
};

}  // namespace sorrelin
