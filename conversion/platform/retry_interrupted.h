#pragma once

#include <cerrno>

namespace sorrelin {

// Calls `call`, a system call that fails with -1 and errno, again while a signal ends
// it before it did anything (EINTR); what it last returned. POSIX only.
template <typename Call>
auto RetryInterrupted(Call call) {
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

}  // namespace sorrelin
