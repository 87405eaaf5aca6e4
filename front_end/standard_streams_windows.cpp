#include "standard_streams.h"

namespace sorrelin {

// The C runtime keeps the numbers 0 to 2 for the standard streams, even without them.
void OpenClosedStandardStreams() noexcept {}

void FailWritesToClosedPipes() noexcept {}  // a closed pipe fails the write already

}  // namespace sorrelin
