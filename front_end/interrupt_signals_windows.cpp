#include <csignal>
#include <cstdlib>
#include <initializer_list>

#include "interrupt_signals.h"

namespace sorrelin {
namespace {

volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void RememberSignal(int signal) { caughtSignal = signal; }

}  // namespace

void CatchInterruptSignals() {
  for (const int signal : {SIGINT, SIGTERM, SIGBREAK}) std::signal(signal, &RememberSignal);
}

int CaughtInterruptSignal() noexcept { return caughtSignal; }

int InterruptSignalDescriptor() noexcept { return -1; }

void EndAsSignalled(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);
}

}  // namespace sorrelin
