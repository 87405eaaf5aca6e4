#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "platform/document_input.h"

namespace sorrelin {

UniqueFile OpenForReading(const std::filesystem::path& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  // Only the open must not wait: reads wait, and WaitForInput bounds each wait.
  const int flags = ::fcntl(descriptor, F_GETFL);
  if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(descriptor);
    return nullptr;
  }
  UniqueFile file(::fdopen(descriptor, "rb"));
  if (!file) ::close(descriptor);
  return file;
}

bool WaitForInput(std::FILE* file, std::chrono::milliseconds timeout) {
  pollfd wanted{::fileno(file), POLLIN, 0};
  // Ready, ended (POLLHUP) or failed: the read that follows says which.
  return ::poll(&wanted, 1, static_cast<int>(timeout.count())) > 0;
}

}  // namespace sorrelin
