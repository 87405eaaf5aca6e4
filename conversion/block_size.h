#pragma once

#include <cstddef>

namespace sorrelin {

// The size of the blocks read into expat's own buffer (every byte of a document whose
// data is not decoded beside the parser) and in which temporary files (the spill, held
// data) are written and read: large enough that a system call costs little beside its
// bytes, small enough for memory to stay a few such buffers whatever a document's size.
inline constexpr std::size_t kBlockSize = std::size_t{1} << 20;

// The blocks read where a document's data is decoded beside the parser, on the same
// thread: small enough to stay in that core's cache from the read's copy to the decoding.
inline constexpr std::size_t kReadBlockSize = std::size_t{256} << 10;

// Blocks handed to the thread that writes an output: four of half kBlockSize, so that
// a side that falls behind for a moment still finds work waiting, in the memory of two
// whole blocks.
inline constexpr std::size_t kHandOffBlocks = 4;
inline constexpr std::size_t kHandOffBlockSize = kBlockSize / 2;

}  // namespace sorrelin
