#include "block_writer.h"

#include "safe_output_file.h"

namespace sorrelin {

BlockWriter::BlockWriter(SafeOutputFile& file, std::size_t blockSize) : file_(file) {
  for (auto& block : blocks_) block = std::make_unique_for_overwrite<char[]>(blockSize);
  thread_ = std::thread([this] { WriteBlocks(); });
}

BlockWriter::~BlockWriter() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

char* BlockWriter::Write(char* block, std::size_t size) {
  std::unique_lock lock(mutex_);
  queue_[(first_ + count_) % kBlocks] = {block, size};
  ++count_;
  changed_.notify_all();
  // Blocks are filled in turn, so the next one is free once at most two wait.
  changed_.wait(lock, [this] { return count_ < kBlocks; });
  next_ = (next_ + 1) % kBlocks;
  return blocks_[next_].get();
}

std::optional<ConversionError> BlockWriter::Fault() {
  std::lock_guard lock(mutex_);
  return fault_;
}

std::optional<ConversionError> BlockWriter::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return count_ == 0; });
  return fault_;
}

void BlockWriter::WriteBlocks() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return ending_ || count_ > 0; });
    if (count_ == 0) return;
    const Pending pending = queue_[first_];
    const bool failed = fault_.has_value();
    lock.unlock();
    std::optional<ConversionError> fault;
    try {
      if (!failed) file_.Write(pending.bytes, pending.size);
    } catch (const ConversionError& error) {
      fault.emplace(error);
    }
    lock.lock();
    if (fault) fault_ = std::move(fault);
    first_ = (first_ + 1) % kBlocks;
    --count_;
    changed_.notify_all();
  }
}

}  // namespace sorrelin
