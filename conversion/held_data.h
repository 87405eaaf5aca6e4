#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "block_size.h"
#include "conversion_error.h"
#include "data_sink.h"
#include "output/temporary_file.h"

namespace sorrelin {

// Data that came before its counts, held until the document has been read: the first
// MiB in memory, the rest in an unnamed temporary file in `folder`, so that memory
// stays bounded whatever the data's size.
class HeldData : public DataSink {
 public:
  HeldData(TemporaryFileFactory files, std::filesystem::path folder);
  ~HeldData() override;
  HeldData(const HeldData&) = delete;
  HeldData& operator=(const HeldData&) = delete;

  // Never raises: after a fault the bytes are only counted.
  void Take(std::span<const std::uint8_t> bytes) override;
  std::uint64_t Size() const noexcept { return size_; }
  // Why the data could not be held (kNotEnoughSpace, kWriteFailed), if so.
  const std::optional<ConversionError>& Fault() const noexcept { return fault_; }
  // Gives the data back in order, in blocks of at most kBlockSize; `take` returns whether
  // to go on. False when it said no, or the data cannot be read back (Fault says why).
  bool GiveBack(const std::function<bool(std::span<const std::uint8_t>)>& take);

 private:
  void Flush();
  void Fail(const char* what, int error);

  TemporaryFileFactory files_;
  std::filesystem::path folder_;
  TemporaryFile file_;
  std::unique_ptr<std::uint8_t[]> pending_;
  std::size_t pendingSize_ = 0;
  std::uint64_t written_ = 0;  // bytes in the file
  std::uint64_t size_ = 0;     // bytes taken
  std::optional<ConversionError> fault_;
};

}  // namespace sorrelin
