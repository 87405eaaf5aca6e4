#include "standard_streams.h"

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "message_text.h"

namespace sorrelin {

std::string StandardOutputFault() {
  errno = 0;
  std::cout.flush();
  const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout;
  if (!failed) return {};
  // A write that failed before, as when std::endl flushed, may have left no errno.
  return "cannot write standard output" + (errno != 0 ? ": " + ErrnoMessage(errno) : "");
}

}  // namespace sorrelin
