#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

#include "terminal.h"

namespace sorrelin {
namespace {

std::atomic<bool> sizeChanged{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void NoteSizeChange(int) { sizeChanged.store(true, std::memory_order_relaxed); }

}  // namespace

bool IsTerminal(std::FILE* stream) noexcept { return ::isatty(::fileno(stream)) != 0; }

int StandardErrorColumns() noexcept {
  struct winsize size {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

void WatchTerminalSize() {
  static bool watching = false;
  if (watching) return;
  watching = true;
  struct sigaction action {};
  // Leaves a handler that someone else installed in place.
  if (::sigaction(SIGWINCH, nullptr, &action) != 0 || action.sa_handler != SIG_DFL) return;
  action.sa_handler = &NoteSizeChange;
  sigemptyset(&action.sa_mask);
  // Unlike the interrupt signals, a resize must not end a read waiting for input.
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGWINCH, &action, nullptr);
}

bool TerminalSizeChanged() noexcept {
  return sizeChanged.exchange(false, std::memory_order_relaxed);
}

}  // namespace sorrelin
