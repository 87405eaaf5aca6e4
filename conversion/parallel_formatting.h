#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include "output_stream.h"
#include "spill_file.h"

namespace sorrelin {

// Text written into memory that grows as needed.
class TextBuffer final : public RoomWriter {
 public:
  std::string_view Text() const {
    return {data_.get(), static_cast<std::size_t>(at - data_.get())};
  }
  void Clear() noexcept { at = data_.get(); }

 private:
  void TakeRoom() override;

  std::unique_ptr<char[]> data_;
};

// Formats spill blocks that hold every line on two threads: the block's samples are
// cut into slices, and while the caller formats one slice into the output, a helper
// thread formats the next into a buffer, which the caller then copies after it. The
// output is as if every slice were formatted in order on one thread.
class ParallelFormatting {
 public:
  // Formats `slice` at `text` with the state kept by `hand`: 0 for the caller's
  // slices, 1 for the helper's. Each hand's slices come in the order of their samples.
  using Format = std::function<void(const SpillBlock& slice, RoomWriter& text, int hand)>;

  explicit ParallelFormatting(Format format);
  ~ParallelFormatting();
  ParallelFormatting(const ParallelFormatting&) = delete;
  ParallelFormatting& operator=(const ParallelFormatting&) = delete;

  // Formats `block` at `text`. Blocks of more lines than a row holds, or of few
  // samples, are formatted by the caller alone. The helper is done with the block's
  // values on return, thrown exceptions included.
  void Run(const SpillBlock& block, RoomWriter& text);

 private:
  void Help();
  void Give(const SpillBlock& slice);
  // Waits for the helper's slice; its fault, if any, is raised.
  void AwaitHelp();

  Format format_;
  TextBuffer helped_;  // the helper's last slice
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<SpillBlock> job_;  // given to the helper and not yet formatted
  bool ending_ = false;
  std::exception_ptr fault_;
  std::jthread thread_;  // last: it ends before the rest goes
};

}  // namespace sorrelin
