#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

namespace sorrelin {

// A growable byte array whose spare capacity is never zero-filled, so untouched
// capacity costs no resident memory.
class ByteBuffer {
 public:
  std::size_t size() const noexcept { return size_; }
  const std::uint8_t* data() const noexcept { return bytes_.get(); }
  std::span<const std::uint8_t> bytes() const noexcept { return {bytes_.get(), size_}; }

  // Makes room for at least `capacity` bytes in all, keeping the contents.
  void Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    if (size_ != 0) std::memcpy(grown.get(), bytes_.get(), size_);
    bytes_ = std::move(grown);
    capacity_ = capacity;
  }

  // Makes room for `count` more bytes, growing geometrically, and returns where they go.
  std::uint8_t* AppendSpace(std::size_t count) {
    if (capacity_ - size_ < count) Reserve(std::max(size_ + count, capacity_ + capacity_ / 2));
    return bytes_.get() + size_;
  }
  void CommitAppended(std::size_t count) noexcept { size_ += count; }
  // Empties the buffer, keeping its capacity.
  void Clear() noexcept { size_ = 0; }

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace sorrelin
