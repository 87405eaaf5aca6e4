#include "output/block_writer.h"

#include <system_error>

#include "platform/files.h"

namespace sorrelin {

BlockWriter::BlockWriter(OutputTarget& target, std::size_t blockSize) : target_(target) {
  for (auto& block : blocks_) block = std::make_unique_for_overwrite<char[]>(blockSize);
  try {
    thread_ = std::jthread([this] { WriteBlocks(); });
  } catch (const std::system_error&) {
    // No thread: Hand writes each block itself.
  }
}

BlockWriter::~BlockWriter() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BlockWriter::Write(const char* bytes, std::size_t size) noexcept {
  try {
    target_.Write(bytes, size);
  } catch (...) {
    std::lock_guard lock(mutex_);
    fault_ = std::current_exception();
  }
}

char* BlockWriter::Hand(std::size_t size) {
  const char* block = Block();
  filling_ ^= 1;
  if (!thread_.joinable()) {
    if (!Fault()) Write(block, size);
    return Block();
  }
  std::unique_lock lock(mutex_);
  // The other block is free once it has been written.
  changed_.wait(lock, [this] { return pending_ == nullptr; });
  pending_ = block;
  pendingSize_ = size;
  changed_.notify_all();
  // The returned block was handed over before this one, so it has been written.
  return Block();
}

std::exception_ptr BlockWriter::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return pending_ == nullptr; });
  return fault_;
}

std::exception_ptr BlockWriter::Fault() {
  std::lock_guard lock(mutex_);
  return fault_;
}

void BlockWriter::WriteBlocks() {
  BlockStopSignalsOnThisThread();
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return ending_ || pending_ != nullptr; });
    if (pending_ == nullptr) return;  // ending, and nothing left to write
    const char* block = pending_;
    const std::size_t size = pendingSize_;
    const bool failed = fault_ != nullptr;
    lock.unlock();
    if (!failed) Write(block, size);
    lock.lock();
    pending_ = nullptr;
    changed_.notify_all();
  }
}

}  // namespace sorrelin
