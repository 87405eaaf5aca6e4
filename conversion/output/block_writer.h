#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "output/output_target.h"

namespace sorrelin {

// Writes blocks to a target on a thread of its own, so that the next block is filled
// while this one is written. It owns two blocks: one being filled, the other being
// written. A fault on the thread, of any kind, is kept and later blocks are dropped.
// Where no thread can be started, blocks are written when handed over.
class BlockWriter {
 public:
  BlockWriter(OutputTarget& target, std::size_t blockSize);
  ~BlockWriter();  // the block being written is finished; no other is started
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  // The block to fill.
  char* Block() const noexcept { return blocks_[filling_].get(); }
  // Hands over the first `size` bytes of Block() and returns the next block to fill,
  // once the other has been written.
  char* Hand(std::size_t size);
  // Waits until the blocks handed over are written; the first fault, if any.
  std::exception_ptr Drain();
  std::exception_ptr Fault();

 private:
  void Write(const char* bytes, std::size_t size) noexcept;
  void WriteBlocks();

  OutputTarget& target_;
  std::unique_ptr<char[]> blocks_[2];
  int filling_ = 0;
  const char* pending_ = nullptr;  // handed over, not yet written
  std::size_t pendingSize_ = 0;
  std::exception_ptr fault_;
  bool ending_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::jthread thread_;  // last: it ends before the rest goes
};

}  // namespace sorrelin
