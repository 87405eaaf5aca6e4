#pragma once

#include <cstddef>

namespace sorrelin {

// The size of the blocks in which documents are read and files written: large enough
// that a system call costs little beside its bytes, small enough for memory to stay
// a few such buffers whatever a document's size.
inline constexpr std::size_t kBlockSize = std::size_t{1} << 20;

}  // namespace sorrelin
