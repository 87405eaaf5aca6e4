#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string_view>

#include "output/block_writer.h"
#include "output/output_target.h"

namespace sorrelin {

// An output written in blocks of 512 KiB or a little more on a thread of its own.
// Formats write at Room() and say how much with Wrote(). Once a write has failed, or
// with no target, bytes are counted instead of written, so that the output's size is
// still known.
class OutputStream {
 public:
  // The most that Room() gives at once.
  static constexpr std::size_t kLargestRoom = std::size_t{64} << 10;

  // Null `target`: count only.
  explicit OutputStream(OutputTarget* target);
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  // Where the next `bytes` (at most kLargestRoom) may be written.
  char* Room(std::size_t bytes) {
    if (static_cast<std::size_t>(end_ - next_) < bytes) NextBlock();
    return next_;
  }
  void Wrote(std::size_t bytes) noexcept { next_ += bytes; }
  void Write(std::string_view text);
  // Adds `bytes` to the size without writing them; only once !Writing().
  void Count(std::uint64_t bytes) noexcept { counted_ += bytes; }
  // Counts from now on, writing nothing more.
  void StopWriting();

  bool Writing() const noexcept { return writer_ != nullptr; }
  std::uint64_t Size() const noexcept {
    return counted_ + static_cast<std::uint64_t>(next_ - block_);
  }
  // Hands over what is left to be written, without waiting; nothing more is written.
  void Close();
  // Writes what is left and waits for every write: the first fault, if any.
  std::exception_ptr Finish();

 private:
  void NextBlock();

  std::unique_ptr<BlockWriter> writer_;  // null while counting
  std::unique_ptr<char[]> scratch_;      // what is written at while counting
  char* block_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;        // where the block's room ends
  std::uint64_t counted_ = 0;  // bytes before block_
  std::exception_ptr fault_;
};

// Text written straight into a stream's room, taken 64 KiB at a time: how the formats
// that read a spill back write what they make of it.
class RoomWriter {
 public:
  explicit RoomWriter(OutputStream& out) : out_(out) {}
  ~RoomWriter() { out_.Wrote(static_cast<std::size_t>(at - start_)); }
  RoomWriter(const RoomWriter&) = delete;
  RoomWriter& operator=(const RoomWriter&) = delete;
  // Makes room for `bytes`, at most OutputStream::kLargestRoom, at `at`.
  void Ensure(std::size_t bytes) {
    if (static_cast<std::size_t>(end_ - at) >= bytes) return;
    out_.Wrote(static_cast<std::size_t>(at - start_));
    start_ = at = out_.Room(OutputStream::kLargestRoom);
    end_ = at + OutputStream::kLargestRoom;
  }
  void Put(std::string_view text) {
    Ensure(text.size());
    at = std::copy(text.begin(), text.end(), at);
  }

  char* at = nullptr;  // where the next text goes

 private:
  OutputStream& out_;
  char* start_ = nullptr;
  char* end_ = nullptr;
};

}  // namespace sorrelin
