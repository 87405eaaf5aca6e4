#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "output/output_stream.h"
#include "output/temporary_file.h"

namespace sorrelin {

// A few samples of a run of lines, read back from a SpillFile.
struct SpillBlock {
  std::uint64_t firstLine;  // numbered from 0 among the lines kept
  std::size_t lineCount;
  std::uint64_t firstSample;  // numbered from 0 among the samples kept
  std::size_t sampleCount;
  std::size_t stride;  // from one line's values to the next
  // values[i * stride + j]: sample firstSample + j of line firstLine + i. With a look
  // behind, values[i * stride - 1] is the sample before, when there is one.
  const std::uint8_t* values;
  bool lookBehind;
  // Whether the block holds the last of `lines` lines.
  bool EndsLines(std::uint64_t lines) const { return firstLine + lineCount == lines; }
};

// The values of `lines` lines of `samples` samples, kept in a temporary file as they
// come, line after line (each MiB whose values are all 0 or 1 as bits), and read back
// sample after sample: each block holds the same few samples of many lines, read with
// a few large reads. Memory stays bounded whatever the counts.
class SpillFile {
 public:
  // The file is made at once, in `folder`, with room reserved for every value.
  // Raises ConversionError: kNotEnoughSpace when the disk cannot hold the values,
  // kWriteFailed when the file cannot be made.
  SpillFile(std::uint64_t lines, std::uint64_t samples, const TemporaryFileFactory& files,
            const std::filesystem::path& folder);
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  // The next values, line after line. Raises ConversionError when a write fails.
  void Append(std::span<const std::uint8_t> values);
  // Where the next `count` values may be put, to be given to Append from there (they
  // are then not copied); null when they do not fit in what waits to be written.
  std::uint8_t* Room(std::size_t count);

  // Calls `take` for blocks covering every value, in the order of their samples, then
  // of their lines; a block of several samples holds every line. `lookBehind` (0 or
  // 1) samples before each block come with it. `take` returns whether to go on;
  // ReadBack, whether every block was taken.
  bool ReadBack(std::size_t lookBehind, const std::function<bool(const SpillBlock&)>& take);

 private:
  void Flush();
  void Read(std::uint64_t firstLine, std::size_t lineCount, std::uint64_t from, std::size_t count,
            std::uint8_t* to, std::size_t stride);
  void ReadValues(std::uint64_t offset, std::uint8_t* values, std::size_t size);
  [[noreturn]] void Fail(const std::string& what, int error) const;

  // Where a write of values went, and whether as bits.
  struct Piece {
    std::uint64_t at;
    bool packed;
  };

  std::uint64_t lines_;
  std::uint64_t samples_;
  std::filesystem::path folder_;
  TemporaryFile file_;
  std::unique_ptr<std::uint8_t[]> pending_;  // values not yet written
  std::size_t pendingSize_ = 0;
  std::unique_ptr<std::uint8_t[]> staging_;  // pieces of neighbouring lines read together
  std::unique_ptr<std::uint8_t[]> bits_;     // a write's values as bits
  std::vector<Piece> pieces_;                // one per write, every write but the last full
  std::uint64_t fileSize_ = 0;
};

}  // namespace sorrelin
