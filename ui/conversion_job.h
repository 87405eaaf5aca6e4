#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "conversion_command.h"

namespace sorrelin {

// Runs one conversion at a time on a worker thread, and tells its owner on the
// owner's thread how far it has come and how it ended. It stops at the next block
// once cancelled or once an interrupt signal has been caught.
class ConversionJob : public QObject {
 public:
  using ProgressShown = std::function<void(int percent)>;
  using Ended = std::function<void(const ConversionResult& result)>;

  // `environment` gives the document's bytes and the temporary files.
  ConversionJob(ConversionEnvironment environment, ProgressShown showProgress, Ended ended,
                QObject* parent = nullptr);
  ~ConversionJob() override;  // cancels a conversion under way and waits for it

  // Starts converting the document that `pathText` names into its table.
  void Start(const std::string& pathText);
  void Cancel() noexcept { cancelled_ = true; }
  bool Running() const { return watcher_.isRunning(); }

 private:
  class Progress;

  ConversionEnvironment environment_;
  ProgressShown showProgress_;
  Ended ended_;
  std::atomic<bool> cancelled_ = false;
  std::unique_ptr<Progress> progress_;
  QFutureWatcher<ConversionResult> watcher_;
};

}  // namespace sorrelin
