#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <initializer_list>

#include "interrupt_signals.h"

namespace sorrelin {
namespace {

volatile std::sig_atomic_t caughtSignal = 0;
int wakeUp[2] = {-1, -1};  // written once per signal, for event loops

extern "C" void RememberSignal(int signal) {
  caughtSignal = signal;
  if (wakeUp[1] >= 0) {
    const int saved = errno;
    [[maybe_unused]] const auto ignored = ::write(wakeUp[1], "!", 1);
    errno = saved;
  }
}

}  // namespace

void CatchInterruptSignals() {
  if (wakeUp[0] < 0 && ::pipe(wakeUp) == 0) {
    for (const int end : wakeUp) {
      ::fcntl(end, F_SETFD, FD_CLOEXEC);
      ::fcntl(end, F_SETFL, O_NONBLOCK);
    }
  }
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    if (::sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
    action.sa_handler = &RememberSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked read returns, and the stop is seen
    ::sigaction(signal, &action, nullptr);
  }
  std::signal(SIGXFSZ, SIG_IGN);
}

int CaughtInterruptSignal() noexcept { return caughtSignal; }

int InterruptSignalDescriptor() noexcept { return wakeUp[0]; }

void EndAsSignalled(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);
}

}  // namespace sorrelin
