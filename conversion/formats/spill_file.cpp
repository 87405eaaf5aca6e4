#include "formats/spill_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

#include "block_size.h"
#include "conversion_error.h"
#include "formats/bit_packing.h"
#include "formats/data_plan.h"
#include "message_text.h"

namespace fs = std::filesystem;

namespace sorrelin {
namespace {

constexpr std::size_t kWriteSize = kBlockSize;
// The most a block of values read back may take, and the most samples it may hold,
// so that a format asks as often whether to go on however few the lines.
constexpr std::size_t kBlockBudget = std::size_t{16} << 20;
constexpr std::size_t kBlockSamples = std::size_t{1} << 20;
// Pieces of neighbouring lines closer than this, or than their own length, are read
// together through a buffer of kStagingSize.
constexpr std::size_t kSmallGap = 4096;
constexpr std::size_t kStagingSize = std::size_t{1} << 20;

}  // namespace

SpillFile::SpillFile(std::uint64_t lines, std::uint64_t samples, const TemporaryFileFactory& files,
                     const fs::path& folder)
    : lines_(lines), samples_(samples), folder_(folder) {
  bool overflow = false;
  std::uint64_t bytes = CheckedProduct(lines, samples, overflow);
  if (overflow) bytes = std::numeric_limits<std::uint64_t>::max();
  if (bytes == 0) return;  // nothing to keep
  file_ = files(folder_);
  if (!file_.file) Fail("cannot make a temporary file in ", errno);
  // A named file goes at once where the system allows; elsewhere when done.
  std::error_code ignored;
  if (!file_.path.empty() && fs::remove(file_.path, ignored)) file_.path.clear();
  std::setvbuf(file_.file.get(), nullptr, _IONBF, 0);
  if (!ReserveFreeSpace(file_.file.get(), folder_, bytes)) Fail("", ENOSPC);
  pending_ = std::make_unique_for_overwrite<std::uint8_t[]>(kWriteSize);
}

SpillFile::~SpillFile() {
  file_.file.reset();
  std::error_code ignored;
  if (!file_.path.empty()) fs::remove(file_.path, ignored);
}

void SpillFile::Fail(const std::string& what, int error) const {
  const std::string folder = Quoted(PathToText(folder_));
  if (IsDiskFull(error)) {
    throw ConversionError(ErrorNumber::kNotEnoughSpace, "not enough free space in " + folder +
                                                            " for the " + std::to_string(lines_) +
                                                            " x " + std::to_string(samples_) +
                                                            " values kept while converting");
  }
  throw ConversionError(ErrorNumber::kWriteFailed, what + folder + ": " + ErrnoMessage(error));
}

std::uint8_t* SpillFile::Room(std::size_t count) {
  if (!pending_ || kWriteSize - pendingSize_ < count) return nullptr;
  return pending_.get() + pendingSize_;
}

void SpillFile::Append(std::span<const std::uint8_t> values) {
  while (!values.empty()) {
    const std::size_t n = std::min(values.size(), kWriteSize - pendingSize_);
    std::uint8_t* const at = pending_.get() + pendingSize_;
    if (at != values.data()) std::memmove(at, values.data(), n);  // else put there by Room
    pendingSize_ += n;
    values = values.subspan(n);
    if (pendingSize_ == kWriteSize) Flush();
  }
}

void SpillFile::Flush() {
  if (pendingSize_ == 0) return;
  const std::uint8_t* bytes = pending_.get();
  std::size_t size = pendingSize_;
  if (!bits_) bits_ = std::make_unique_for_overwrite<std::uint8_t[]>(kWriteSize / 8);
  const bool packed = PackBinaryValues(bytes, size, bits_.get());
  if (packed) {
    bytes = bits_.get();
    size = (size + 7) / 8;
  }
  if (!WriteAll(file_.file.get(), reinterpret_cast<const char*>(bytes), size)) {
    Fail("cannot write a temporary file in ", errno);
  }
  pieces_.push_back({fileSize_, packed});
  fileSize_ += size;
  pendingSize_ = 0;
}

bool SpillFile::ReadBack(std::size_t lookBehind,
                         const std::function<bool(const SpillBlock&)>& take) {
  if (!file_.file) return true;
  Flush();
  pending_.reset();
  // Every line in a block when a sample of each fits, else one sample of fewer lines.
  const std::size_t perLine = 1 + lookBehind;
  const bool allLines = lines_ <= kBlockBudget / perLine;
  const auto groupLines = static_cast<std::size_t>(allLines ? lines_ : kBlockBudget / perLine);
  const std::size_t blockSamples =
      allLines ? static_cast<std::size_t>(std::min<std::uint64_t>(
                     samples_, std::min(kBlockSamples, kBlockBudget / groupLines - lookBehind)))
               : 1;
  const std::size_t stride = blockSamples + lookBehind;
  const auto block = std::make_unique_for_overwrite<std::uint8_t[]>(groupLines * stride);
  for (std::uint64_t first = 0; first < samples_; first += blockSamples) {
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(blockSamples, samples_ - first));
    const std::size_t behind = first == 0 ? 0 : lookBehind;
    for (std::uint64_t line = 0; line < lines_; line += groupLines) {
      const auto lineCount =
          static_cast<std::size_t>(std::min<std::uint64_t>(groupLines, lines_ - line));
      Read(line, lineCount, first - behind, count + behind, block.get() + lookBehind - behind,
           stride);
      if (!take(
              {line, lineCount, first, count, stride, block.get() + lookBehind, lookBehind != 0})) {
        return false;
      }
    }
  }
  return true;
}

// Reads `count` values from sample `from` of each line to `to`, `stride` apart.
void SpillFile::Read(std::uint64_t firstLine, std::size_t lineCount, std::uint64_t from,
                     std::size_t count, std::uint8_t* to, std::size_t stride) {
  auto read = [this](std::uint64_t offset, std::uint8_t* values, std::size_t size) {
    ReadValues(offset, values, size);
  };
  const bool together = samples_ <= kStagingSize && samples_ - count <= std::max(count, kSmallGap);
  if (!together) {
    for (std::size_t i = 0; i < lineCount; ++i) {
      read((firstLine + i) * samples_ + from, to + i * stride, count);
    }
    return;
  }
  const auto samples = static_cast<std::size_t>(samples_);
  const std::size_t linesAtOnce = kStagingSize / samples;
  if (!staging_) staging_ = std::make_unique_for_overwrite<std::uint8_t[]>(kStagingSize);
  for (std::size_t i = 0; i < lineCount; i += linesAtOnce) {
    const std::size_t n = std::min(linesAtOnce, lineCount - i);
    read((firstLine + i) * samples_ + from, staging_.get(), (n - 1) * samples + count);
    for (std::size_t k = 0; k < n; ++k) {
      std::memcpy(to + (i + k) * stride, staging_.get() + k * samples, count);
    }
  }
}

// Reads `size` values from value `offset`, whichever writes kept them.
void SpillFile::ReadValues(std::uint64_t offset, std::uint8_t* values, std::size_t size) {
  auto read = [this](std::uint64_t at, std::uint8_t* bytes, std::size_t count) {
    if (!ReadAt(file_.file.get(), at, reinterpret_cast<char*>(bytes), count)) {
      Fail("cannot read back a temporary file in ", errno);
    }
  };
  while (size != 0) {
    const Piece& piece = pieces_[static_cast<std::size_t>(offset / kWriteSize)];
    const auto within = static_cast<std::size_t>(offset % kWriteSize);
    const std::size_t count = std::min(size, kWriteSize - within);
    if (piece.packed) {
      read(piece.at + within / 8, bits_.get(), (within % 8 + count + 7) / 8);
      UnpackBits(bits_.get(), within % 8, count, values);
    } else {
      read(piece.at + within, values, count);
    }
    offset += count;
    values += count;
    size -= count;
  }
}

}  // namespace sorrelin
