#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <functional>
#include <string>

#include "conversion_command.h"

namespace sorrelin {

// One conversion, run on a thread of Qt's pool from the moment the job is made; a
// job never runs another. The worker holds its own copies of what it uses and never
// refers to the job. The job tells its owner, on the owner's thread, how far the
// conversion has come and how it ended. The conversion stops at the next block once
// cancelled or once an interrupt signal has been caught.
class ConversionJob : public QObject {
 public:
  using ProgressShown = std::function<void(int percent)>;
  using Ended = std::function<void(const ConversionResult& result)>;

  // Starts the conversion `request` asks for (by default the table beside the
  // document); `environment` gives the document's bytes and the temporary files.
  ConversionJob(ConversionRequest request, ConversionEnvironment environment,
                ProgressShown showProgress, Ended ended, QObject* parent = nullptr);
  // Cancels a conversion under way and waits until the worker has stopped, which it
  // does the next time the conversion asks whether to go on. Nothing is told after.
  ~ConversionJob() override;
  ConversionJob(const ConversionJob&) = delete;
  ConversionJob& operator=(const ConversionJob&) = delete;

  void Cancel() { watcher_.cancel(); }

 private:
  ConversionResult Result() const;

  ProgressShown showProgress_;
  Ended ended_;
  QFutureWatcher<ConversionResult> watcher_;
};

}  // namespace sorrelin
