#include "output/output_stream.h"

#include <algorithm>
#include <cstring>

#include "block_size.h"

namespace sorrelin {
namespace {

constexpr std::size_t kBlock = kHandOffBlockSize;
constexpr std::size_t kBufferSize = kBlock + OutputStream::kLargestRoom;

}  // namespace

// A block has room for kBufferSize bytes and is handed over when the next
// Room() does not fit: every write is of at least kBlock bytes.
OutputStream::OutputStream(OutputTarget* target) {
  if (target) {
    writer_ = std::make_unique<BlockWriter>(*target, kBufferSize);
    block_ = next_ = writer_->Block();
    end_ = block_ + kBufferSize;
  } else {
    StopWriting();
  }
}

void OutputStream::Write(std::string_view text) {
  while (!text.empty()) {
    const std::size_t n = std::min(text.size(), kLargestRoom);
    std::memcpy(Room(n), text.data(), n);
    Wrote(n);
    text.remove_prefix(n);
  }
}

void OutputStream::NextBlock() {
  counted_ += static_cast<std::size_t>(next_ - block_);
  if (writer_) block_ = writer_->Hand(static_cast<std::size_t>(next_ - block_));
  next_ = block_;
  end_ = block_ + (writer_ ? kBufferSize : kLargestRoom);
  if (writer_ && writer_->Fault()) StopWriting();
}

void OutputStream::StopWriting() {
  counted_ += static_cast<std::size_t>(next_ - block_);
  if (writer_) fault_ = writer_->Drain();
  writer_.reset();
  if (!scratch_) scratch_ = std::make_unique_for_overwrite<char[]>(kLargestRoom);
  block_ = next_ = scratch_.get();
  end_ = block_ + kLargestRoom;
}

void OutputStream::Close() {
  if (!writer_ || block_ == nullptr) return;
  const auto size = static_cast<std::size_t>(next_ - block_);
  counted_ += size;
  writer_->HandLast(size);
  block_ = next_ = end_ = nullptr;
}

std::exception_ptr OutputStream::Finish() {
  if (writer_) {
    Close();
    fault_ = writer_->Drain();
    writer_.reset();
  }
  return fault_;
}

}  // namespace sorrelin
