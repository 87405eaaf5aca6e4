#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "output/hand_off.h"
#include "read/block_source.h"

namespace sorrelin {

// Reads a document a block at a time for its reader. A source that can be read again
// is a file: a thread of its own reads the next blocks into a few buffers
// (kHandOffBlocks) while the caller works on one, each block as one Read of the
// source gave it. What a read raised is raised to the caller after the blocks before
// it. Any other source (a pipe, a terminal), or a file where no thread can be
// started, is read when asked, on the caller's thread, so a signal can stop a wait on
// it.
class ReadAhead {
 public:
  struct Bytes {
    std::span<const char> bytes;
    bool last = false;  // the document ends with them
  };

  ReadAhead(BlockSource& source, std::size_t blockSize);
  ~ReadAhead();  // the read under way is finished; no other is started
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The rest of the block at hand, or the next block, where it was read: the bytes
  // stay until the next call. Read when asked, they may be none without the end.
  Bytes Take();
  // Fills `buffer` as one Read of the source would: from the blocks in turn while each
  // was read whole, until it is full, the document ends or a read failed.
  Bytes ReadInto(std::span<char> buffer);

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    bool last = false;
  };

  Bytes Taken(std::size_t most);
  void ReadBlocks(std::stop_token stop);

  BlockSource& source_;
  std::size_t blockSize_;
  std::unique_ptr<char[]> asked_;          // what is read when asked
  Block* holding_ = nullptr;               // the block the caller takes from
  std::size_t taken_ = 0;                  // its bytes taken so far
  std::unique_ptr<HandOff<Block>> ahead_;  // last, null without a thread: it ends first
};

}  // namespace sorrelin
