#include "conversion_job.h"

#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <chrono>
#include <utility>

#include "interrupt_signals.h"
#include "platform/files.h"

namespace sorrelin {
namespace {

// A conversion shorter than this shows no progress.
constexpr std::chrono::milliseconds kProgressDelay{500};

// The future's progress value is the percentage shown plus 1: 0, which a watcher is
// told on connecting, means none yet. The promise drops a value not above the last.
constexpr int ProgressValue(int percent) { return percent + 1; }

// The worker's progress: each percentage goes to the promise, whose future's watcher
// tells the job; cancelling the future or an interrupt signal stops the conversion.
class PromisedProgress : public ConversionProgress {
 public:
  explicit PromisedProgress(QPromise<ConversionResult>& promise) : promise_(promise) {
    promise_.setProgressRange(0, ProgressValue(100));
  }

  bool KeepConverting(std::uint64_t bytesRead, std::uint64_t bytesTotal) override {
    if (bytesTotal > 0 && Clock::now() >= from_) {
      const double share = static_cast<double>(std::min(bytesRead, bytesTotal)) / bytesTotal;
      promise_.setProgressValue(ProgressValue(static_cast<int>(100 * share)));
    }
    return !promise_.isCanceled() && CaughtInterruptSignal() == 0;
  }

 private:
  using Clock = std::chrono::steady_clock;
  QPromise<ConversionResult>& promise_;
  const Clock::time_point from_ = Clock::now() + kProgressDelay;
};

// The worker's task; the request and the environment are the task's own copies.
void Convert(QPromise<ConversionResult>& promise, const ConversionRequest& request,
             const ConversionEnvironment& environment) {
  BlockStopSignalsOnThisThread();  // the window's thread handles them
  PromisedProgress progress(promise);
  promise.addResult(RunConversion(request, progress, environment));
}

}  // namespace

ConversionJob::ConversionJob(ConversionRequest request, ConversionEnvironment environment,
                             ProgressShown showProgress, Ended ended, QObject* parent)
    : QObject(parent), showProgress_(std::move(showProgress)), ended_(std::move(ended)) {
  using Watcher = QFutureWatcher<ConversionResult>;
  connect(&watcher_, &Watcher::progressValueChanged, this, [this](int value) {
    if (value > 0) showProgress_(value - 1);
  });
  connect(&watcher_, &Watcher::finished, this, [this] { ended_(Result()); });
  watcher_.setFuture(QtConcurrent::run(Convert, std::move(request), std::move(environment)));
}

ConversionJob::~ConversionJob() {
  watcher_.cancel();
  watcher_.waitForFinished();
}

ConversionResult ConversionJob::Result() const {
  // Once cancelled, the future takes no result however the conversion ended: it
  // counts as cancelled, as asked.
  if (watcher_.isCanceled() && watcher_.future().resultCount() == 0) {
    return {ConversionResult::Kind::kCancelled, 0, {}, {}};
  }
  return watcher_.result();
}

}  // namespace sorrelin
