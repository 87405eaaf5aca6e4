#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "conversion_error.h"

namespace sorrelin {

class SafeOutputFile;

// Writes full blocks to a file on a thread of its own, so that the next block is
// formatted while this one is written. Blocks come from a few buffers of its own;
// a write fault is kept, and the blocks after it are dropped.
class BlockWriter {
 public:
  BlockWriter(SafeOutputFile& file, std::size_t blockSize);
  ~BlockWriter();  // waits for the blocks handed over and ends the thread
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  // The block to fill first.
  char* FirstBlock() const { return blocks_[0].get(); }
  // Hands over `size` bytes of the block being filled; returns the next one to fill,
  // once it is free.
  char* Write(char* block, std::size_t size);
  // The first write fault so far, if any.
  std::optional<ConversionError> Fault();
  // Waits until every block handed over is written; the first write fault, if any.
  std::optional<ConversionError> Drain();

 private:
  static constexpr int kBlocks = 3;
  void WriteBlocks();

  SafeOutputFile& file_;
  std::unique_ptr<char[]> blocks_[kBlocks];
  struct Pending {
    const char* bytes;
    std::size_t size;
  };
  Pending queue_[kBlocks];
  int first_ = 0;  // the oldest block handed over
  int count_ = 0;  // blocks handed over and not yet written
  int next_ = 0;   // the block being filled
  bool ending_ = false;
  std::optional<ConversionError> fault_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

}  // namespace sorrelin
