#include "held_data.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "message_text.h"

namespace sorrelin {

HeldData::HeldData(TemporaryFileFactory files, std::filesystem::path folder)
    : files_(std::move(files)), folder_(std::move(folder)) {}

HeldData::~HeldData() {
  file_.file.reset();
  std::error_code ignored;
  if (!file_.path.empty()) std::filesystem::remove(file_.path, ignored);
}

void HeldData::Take(std::span<const std::uint8_t> bytes) {
  size_ += bytes.size();
  while (!fault_ && !bytes.empty()) {
    if (!pending_) pending_ = std::make_unique<std::uint8_t[]>(kBlockSize);
    const std::size_t n = std::min(bytes.size(), kBlockSize - pendingSize_);
    std::memcpy(pending_.get() + pendingSize_, bytes.data(), n);
    pendingSize_ += n;
    bytes = bytes.subspan(n);
    if (pendingSize_ == kBlockSize) Flush();
  }
}

void HeldData::Flush() {
  if (!file_.file) {
    file_ = files_(folder_);
    if (!file_.file) return Fail("cannot make a temporary file in ", errno);
  }
  if (!WriteAll(file_.file.get(), reinterpret_cast<const char*>(pending_.get()), pendingSize_)) {
    return Fail("cannot write a temporary file in ", errno);
  }
  written_ += pendingSize_;
  pendingSize_ = 0;
}

void HeldData::Fail(const char* what, int error) {
  const std::string folder = Quoted(PathToText(folder_));
  fault_ = IsDiskFull(error) ? ConversionError(ErrorNumber::kNotEnoughSpace,
                                               "not enough free space in " + folder +
                                                   " for the data kept until its counts are read")
                             : ConversionError(ErrorNumber::kWriteFailed,
                                               what + folder + ": " + ErrnoMessage(error));
  pending_.reset();
  pendingSize_ = 0;
}

bool HeldData::GiveBack(const std::function<bool(std::span<const std::uint8_t>)>& take) {
  if (fault_) return false;
  auto block = std::make_unique<std::uint8_t[]>(kBlockSize);
  for (std::uint64_t at = 0; at < written_; at += kBlockSize) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, written_ - at));
    if (!ReadAt(file_.file.get(), at, reinterpret_cast<char*>(block.get()), n)) {
      Fail("cannot read back a temporary file in ", errno);
      return false;
    }
    if (!take({block.get(), n})) return false;
  }
  return pendingSize_ == 0 || take({pending_.get(), pendingSize_});
}

}  // namespace sorrelin
