#include "parallel_formatting.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

#include "sample_rows.h"

namespace sorrelin {
namespace {

// Samples in a slice: about 256 KiB of values, and at most 16 Ki rows of text, in whole
// groups of kRowSamples.
std::size_t SliceSamples(std::size_t lines) {
  constexpr std::size_t kSliceValues = std::size_t{256} << 10;
  constexpr std::size_t kSliceRows = std::size_t{16} << 10;
  return std::clamp(kSliceValues / lines / kRowSamples * kRowSamples, kRowSamples, kSliceRows);
}

SpillBlock Slice(const SpillBlock& block, std::size_t first, std::size_t count) {
  SpillBlock slice = block;
  slice.firstSample += first;
  slice.sampleCount = std::min(count, block.sampleCount - first);
  slice.values += first;  // a look behind reads values[-1], within the block
  return slice;
}

}  // namespace

void TextBuffer::TakeRoom() {
  const std::size_t used = static_cast<std::size_t>(at - data_.get());
  const std::size_t size =
      std::max(2 * static_cast<std::size_t>(end_ - data_.get()), used + OutputStream::kLargestRoom);
  auto data = std::make_unique_for_overwrite<char[]>(size);
  if (used != 0) std::memcpy(data.get(), data_.get(), used);
  data_ = std::move(data);
  at = data_.get() + used;
  end_ = data_.get() + size;
}

ParallelFormatting::ParallelFormatting(Format format) : format_(std::move(format)) {
  try {
    thread_ = std::jthread([this] { Help(); });
  } catch (const std::system_error&) {
    // No thread: the caller formats every slice.
  }
}

ParallelFormatting::~ParallelFormatting() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ParallelFormatting::Run(const SpillBlock& block, RoomWriter& text) {
  const std::size_t perSlice = SliceSamples(std::max<std::size_t>(block.lineCount, 1));
  if (!thread_.joinable() || block.lineCount > kRowLines || block.sampleCount <= perSlice) {
    format_(block, text, 0);
    return;
  }
  for (std::size_t j = 0; j < block.sampleCount; j += 2 * perSlice) {
    const bool helped = block.sampleCount - j > perSlice;
    if (helped) Give(Slice(block, j + perSlice, perSlice));
    try {
      format_(Slice(block, j, perSlice), text, 0);
    } catch (...) {
      if (helped) {  // the helper must be done with the block before it goes
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !job_; });
        fault_ = nullptr;
      }
      throw;
    }
    if (helped) {
      AwaitHelp();
      text.Write(helped_.Text());
    }
  }
}

void ParallelFormatting::Give(const SpillBlock& slice) {
  {
    std::lock_guard lock(mutex_);
    job_ = slice;
  }
  changed_.notify_all();
}

void ParallelFormatting::AwaitHelp() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !job_; });
  if (fault_) std::rethrow_exception(std::exchange(fault_, nullptr));
}

void ParallelFormatting::Help() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return ending_ || job_; });
    if (!job_) return;
    const SpillBlock slice = *job_;
    lock.unlock();
    try {
      helped_.Clear();
      format_(slice, helped_, 1);
    } catch (...) {
      lock.lock();
      fault_ = std::current_exception();
      lock.unlock();
    }
    lock.lock();
    job_.reset();
    changed_.notify_all();
  }
}

}  // namespace sorrelin
