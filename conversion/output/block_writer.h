#pragma once

#include <cstddef>
#include <exception>
#include <memory>

#include "output/hand_off.h"
#include "output/output_target.h"

namespace sorrelin {

// Writes blocks to a target on a thread of its own, so that the next blocks are filled
// while one is written. It owns a few blocks (kHandOffBlocks): one being filled, the
// others waiting or being written. A fault on the thread, of any kind, is kept and
// later blocks are dropped. Where no thread can be started, blocks are written when
// handed over.
class BlockWriter {
 public:
  BlockWriter(OutputTarget& target, std::size_t blockSize);
  ~BlockWriter();  // the block being written is finished; no other is started
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  // The block to fill.
  char* Block() const noexcept { return filling_->bytes.get(); }
  // Hands over the first `size` bytes of Block() and returns the next block to fill,
  // once it has been written.
  char* Hand(std::size_t size);
  // Hands over the first `size` bytes of Block() as the last block, without waiting.
  void HandLast(std::size_t size);
  // Waits until the blocks handed over are written; the first fault, if any.
  std::exception_ptr Drain() { return handOff_.Drain(); }
  std::exception_ptr Fault() { return handOff_.Fault(); }

 private:
  struct Bytes {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
  };

  void WriteBlocks(std::stop_token stop);

  OutputTarget& target_;
  HandOff<Bytes> handOff_;  // last but one: its thread ends before the rest goes
  Bytes* filling_;
};

}  // namespace sorrelin
