#include "interrupt_watch.h"

#include <QSocketNotifier>
#include <QTimer>
#include <utility>

#include "interrupt_signals.h"

namespace sorrelin {
namespace {

// Where no descriptor tells of interrupt signals, how often to look for one.
constexpr int kInterruptPollMilliseconds = 150;

}  // namespace

void WatchInterruptSignals(QObject* owner, std::function<void()> caught) {
  if (const int descriptor = InterruptSignalDescriptor(); descriptor >= 0) {
    auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner,
                     [notifier, caught = std::move(caught)] {
                       notifier->setEnabled(false);  // one signal is enough to end the program
                       caught();
                     });
    return;
  }
  auto* poll = new QTimer(owner);
  QObject::connect(poll, &QTimer::timeout, owner, [caught = std::move(caught)] {
    if (CaughtInterruptSignal() != 0) caught();
  });
  poll->start(kInterruptPollMilliseconds);
}

}  // namespace sorrelin
