#include "conversion_job.h"

#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <chrono>

#include "interrupt_signals.h"

namespace sorrelin {
namespace {

// A conversion shorter than this shows no progress.
constexpr std::chrono::milliseconds kProgressDelay{500};

}  // namespace

// Called on the worker: posts each new percentage to the job's thread, never waiting.
class ConversionJob::Progress : public ConversionProgress {
 public:
  explicit Progress(ConversionJob& job)
      : job_(&job), cancelled_(job.cancelled_), from_(Clock::now() + kProgressDelay) {}

  bool KeepConverting(std::uint64_t bytesRead, std::uint64_t bytesTotal) override {
    if (bytesTotal > 0 && Clock::now() >= from_) {
      const double share = static_cast<double>(std::min(bytesRead, bytesTotal)) / bytesTotal;
      const int percent = static_cast<int>(100 * share);
      if (percent > shown_) {
        shown_ = percent;
        // Dropped if the job is gone by then.
        QMetaObject::invokeMethod(
            job_, [job = job_, percent] { job->showProgress_(percent); }, Qt::QueuedConnection);
      }
    }
    return !cancelled_ && CaughtInterruptSignal() == 0;
  }

 private:
  using Clock = std::chrono::steady_clock;
  ConversionJob* job_;
  const std::atomic<bool>& cancelled_;
  Clock::time_point from_;
  int shown_ = -1;
};

ConversionJob::ConversionJob(ConversionEnvironment environment, ProgressShown showProgress,
                             Ended ended, QObject* parent)
    : QObject(parent),
      environment_(std::move(environment)),
      showProgress_(std::move(showProgress)),
      ended_(std::move(ended)) {
  connect(&watcher_, &QFutureWatcher<ConversionResult>::finished, this,
          [this] { ended_(watcher_.result()); });
}

ConversionJob::~ConversionJob() {
  Cancel();
  watcher_.waitForFinished();
}

void ConversionJob::Start(const std::string& pathText) {
  cancelled_ = false;
  progress_ = std::make_unique<Progress>(*this);
  ConversionRequest request;
  request.pathText = pathText;
  watcher_.setFuture(QtConcurrent::run([request = std::move(request), this] {
    return RunConversion(request, *progress_, environment_);
  }));
}

}  // namespace sorrelin
