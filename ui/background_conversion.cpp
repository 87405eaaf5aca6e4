#include "background_conversion.h"

#include <QCoreApplication>
#include <QObject>
#include <algorithm>
#include <exception>
#include <thread>

#include "conversion_command.h"
#include "platform.h"

namespace sorrelin {
namespace {

using Clock = std::chrono::steady_clock;

// The conversion's host on the worker: the path text taken before the conversion
// started, and the display's calls run on the display's thread, waited for.
class WorkerHost : public ConversionHost {
 public:
  WorkerHost(const std::string& pathText, ConversionDisplay& display, QObject& displayThread,
             const std::atomic<bool>& cancel, std::chrono::milliseconds progressDelay)
      : pathText_(pathText),
        display_(display),
        displayThread_(displayThread),
        cancel_(cancel),
        progressFrom_(Clock::now() + progressDelay) {}

  std::string PathText() const override { return pathText_; }

  void ShowMessage(const std::string& text) override {
    OnDisplayThread([this, &text] { display_.ShowMessage(text); });
  }

  bool KeepConverting(std::uint64_t bytesRead, std::uint64_t bytesTotal) override {
    if (bytesTotal > 0 && Clock::now() >= progressFrom_) {
      const double share = static_cast<double>(std::min(bytesRead, bytesTotal)) / bytesTotal;
      const int percent = static_cast<int>(100 * share);
      if (percent != shownPercent_) {
        shownPercent_ = percent;
        OnDisplayThread([this, percent] { display_.ShowProgress(percent); });
      }
    }
    return !cancel_ && CaughtInterruptSignal() == 0;
  }

 private:
  template <typename Call>
  void OnDisplayThread(Call call) {
    QMetaObject::invokeMethod(&displayThread_, call, Qt::BlockingQueuedConnection);
  }

  std::string pathText_;
  ConversionDisplay& display_;
  QObject& displayThread_;
  const std::atomic<bool>& cancel_;
  Clock::time_point progressFrom_;
  int shownPercent_ = -1;
};

}  // namespace

void RunConversionInBackground(const std::string& pathText, ConversionDisplay& display,
                               const std::atomic<bool>& cancel,
                               std::chrono::milliseconds progressDelay) {
  QObject displayThread;  // lives on this thread: the worker's calls to the display run here
  WorkerHost host(pathText, display, displayThread, cancel, progressDelay);
  std::atomic<bool> ended = false;
  std::exception_ptr failure;
  {
    std::jthread worker([&] {
      try {
        RunConversion(host);
      } catch (...) {
        failure = std::current_exception();
      }
      ended = true;
      QMetaObject::invokeMethod(
          &displayThread, [] {}, Qt::QueuedConnection);  // wakes the loop
    });
    // Not a QEventLoop: an application quit must not end this wait while the worker
    // may be waiting for this thread.
    while (!ended) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace sorrelin
