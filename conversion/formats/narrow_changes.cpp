#include "formats/narrow_changes.h"

namespace sorrelin {
namespace {

#ifdef SORRELIN_NARROW_SSSE3
SORRELIN_SSSE3 char* WriteChanges(const std::uint8_t* row, std::uint32_t changed,
                                  char firstIdentifier, char* at) {
  return WriteChangesSsse3(row, changed, firstIdentifier, at);
}
#endif

}  // namespace

NarrowChangeWriter VectorNarrowChangeWriter() {
#ifdef SORRELIN_NARROW_SSSE3
  if (__builtin_cpu_supports("ssse3")) return WriteChanges;
#endif
  return nullptr;
}

}  // namespace sorrelin
