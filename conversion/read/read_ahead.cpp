#include "read/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "block_size.h"
#include "platform/files.h"

namespace sorrelin {

ReadAhead::ReadAhead(BlockSource& source, std::size_t blockSize)
    : source_(source), blockSize_(blockSize) {
  if (!source.ReadsPromptly()) return;
  ahead_ = std::make_unique<HandOff<Block>>(BlocksOfBytes<Block>(kHandOffBlocks, blockSize));
  if (!ahead_->Start([this](std::stop_token stop) { ReadBlocks(std::move(stop)); }))
    ahead_.reset();  // no thread: the source is read when asked
}

ReadAhead::~ReadAhead() = default;

ReadAhead::Bytes ReadAhead::Take() {
  if (ahead_) return Taken(std::numeric_limits<std::size_t>::max());
  if (!asked_) asked_ = std::make_unique_for_overwrite<char[]>(blockSize_);
  const BlockSource::Block read = source_.Read({asked_.get(), blockSize_});
  return {{asked_.get(), read.size}, read.last};
}

ReadAhead::Bytes ReadAhead::ReadInto(std::span<char> buffer) {
  if (!ahead_) {
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
    if (part.last || filled == buffer.size() || holding_->size < blockSize_)
      return {buffer.first(filled), part.last};
  }
}

ReadAhead::Bytes ReadAhead::Taken(std::size_t most) {
  while (!holding_ || (taken_ == holding_->size && !holding_->last)) {
    if (holding_) ahead_->GiveBack();
    holding_ = nullptr;
    taken_ = 0;
    holding_ = ahead_->ToTake();  // raises a failed read's fault after the blocks before it
  }
  const std::size_t count = std::min(most, holding_->size - taken_);
  const char* bytes = holding_->bytes.get() + taken_;
  taken_ += count;
  return {{bytes, count}, holding_->last && taken_ == holding_->size};
}

void ReadAhead::ReadBlocks(std::stop_token stop) {
  BlockStopSignalsOnThisThread();
  while (Block* block = ahead_->ToFill(stop)) {
    const BlockSource::Block read = source_.Read({block->bytes.get(), blockSize_});
    block->size = read.size;
    block->last = read.last;
    ahead_->Pass();
    if (read.last) return;
  }
}

}  // namespace sorrelin
