#pragma once

#include <atomic>
#include <chrono>
#include <string>

namespace sorrelin {

// What a conversion running on a worker thread shows; called on the thread that
// started it, while the worker waits.
class ConversionDisplay {
 public:
  virtual ~ConversionDisplay() = default;
  virtual void ShowMessage(const std::string& text) = 0;
  // The share of the document read so far, 0 to 100.
  virtual void ShowProgress(int percent) = 0;
};

// Runs RunConversion for `pathText` on a worker thread and returns when it has ended,
// as RunConversion does. Meanwhile this thread handles its events, so that its
// windows keep painting, and shows the conversion's messages and, once it has run
// for `progressDelay`, its progress. The conversion stops at its next block once
// `cancel` is set or an interrupt signal has been caught. A failure raised on the
// worker is raised again here.
void RunConversionInBackground(const std::string& pathText, ConversionDisplay& display,
                               const std::atomic<bool>& cancel,
                               std::chrono::milliseconds progressDelay);

}  // namespace sorrelin
