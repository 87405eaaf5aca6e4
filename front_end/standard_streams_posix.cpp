#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "standard_streams.h"

namespace sorrelin {

void OpenClosedStandardStreams() noexcept {
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: this one, as those below are open.
    const int opened = ::open("/dev/null", descriptor == 0 ? O_WRONLY : O_RDONLY);
    if (opened >= 0 && opened != descriptor) {
      ::dup2(opened, descriptor);
      ::close(opened);
    }
  }
}

void FailWritesToClosedPipes() noexcept { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace sorrelin
