#include "read/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <system_error>

namespace sorrelin {

ReadAhead::ReadAhead(BlockSource& source, std::size_t blockSize)
    : source_(source), blockSize_(blockSize) {
  if (!source.ReadsPromptly()) return;
  for (auto& block : blocks_) block.bytes = std::make_unique_for_overwrite<char[]>(blockSize);
  try {
    thread_ = std::jthread([this] { ReadBlocks(); });
  } catch (const std::system_error&) {
    // No thread: the source is read when asked.
  }
}

ReadAhead::~ReadAhead() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

ReadAhead::Bytes ReadAhead::Take() {
  if (thread_.joinable()) return Taken(std::numeric_limits<std::size_t>::max());
  Block& block = blocks_[0];
  if (!block.bytes) block.bytes = std::make_unique_for_overwrite<char[]>(blockSize_);
  const BlockSource::Block read = source_.Read({block.bytes.get(), blockSize_});
  return {{block.bytes.get(), read.size}, read.last};
}

ReadAhead::Bytes ReadAhead::ReadInto(std::span<char> buffer) {
  if (!thread_.joinable()) {
    const BlockSource::Block read = source_.Read(buffer);
    return {buffer.first(read.size), read.last};
  }
  std::size_t filled = 0;
  for (;;) {
    Bytes part;
    try {
      part = Taken(buffer.size() - filled);
    } catch (...) {
      if (filled == 0) throw;
      return {buffer.first(filled), false};  // the next call raises it
    }
    std::memcpy(buffer.data() + filled, part.bytes.data(), part.bytes.size());
    filled += part.bytes.size();
    // A block read short would have ended one read of more.
    if (part.last || filled == buffer.size() || blocks_[taking_].size < blockSize_)
      return {buffer.first(filled), part.last};
  }
}

ReadAhead::Bytes ReadAhead::Taken(std::size_t most) {
  Block* block = &blocks_[taking_];
  while (!holding_ || (taken_ == block->size && !block->last && !block->fault)) block = &Next();
  if (block->fault) std::rethrow_exception(block->fault);
  const std::size_t count = std::min(most, block->size - taken_);
  const char* bytes = block->bytes.get() + taken_;
  taken_ += count;
  return {{bytes, count}, block->last && taken_ == block->size};
}

// Gives back the block taken from, and waits for the next.
ReadAhead::Block& ReadAhead::Next() {
  std::unique_lock lock(mutex_);
  if (holding_) {
    blocks_[taking_].ready = false;
    taking_ ^= 1;
    changed_.notify_all();
  }
  holding_ = true;
  taken_ = 0;
  Block& block = blocks_[taking_];
  changed_.wait(lock, [&block] { return block.ready; });
  return block;
}

void ReadAhead::Fill(Block& block) noexcept {
  try {
    const BlockSource::Block read = source_.Read({block.bytes.get(), blockSize_});
    block.size = read.size;
    block.last = read.last;
  } catch (...) {
    block.size = 0;
    block.fault = std::current_exception();
  }
}

void ReadAhead::ReadBlocks() {
  BlockStopSignalsOnThisThread();
  for (int filling = 0;; filling ^= 1) {
    Block& block = blocks_[filling];
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this, &block] { return ending_ || !block.ready; });
      if (ending_) return;
    }
    Fill(block);  // the caller does not look at a block until it is ready
    const bool end = block.last || block.fault;
    {
      std::lock_guard lock(mutex_);
      block.ready = true;
    }
    changed_.notify_all();
    if (end) return;
  }
}

}  // namespace sorrelin
