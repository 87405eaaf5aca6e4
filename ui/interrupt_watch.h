#pragma once

#include <functional>

class QObject;

namespace sorrelin {

// Calls `caught` on `owner`'s thread, for as long as `owner` lives, once an interrupt
// signal has been caught: when the signals' descriptor turns readable, or, where
// there is none, at the next look every 150 ms.
void WatchInterruptSignals(QObject* owner, std::function<void()> caught);

}  // namespace sorrelin
