#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform.h"

namespace sorrelin {

// Writes a file through a temporary file in the same folder, which replaces the
// target in one rename on Commit. Until then the target is untouched; if Commit is
// never reached the temporary file is removed. Failures raise ConversionError.
class SafeOutputFile {
 public:
  // Refuses a target that is a folder or that exists and cannot be written
  // (kOutputNotWritable), then creates the temporary file.
  explicit SafeOutputFile(const std::filesystem::path& target);
  ~SafeOutputFile();
  SafeOutputFile(const SafeOutputFile&) = delete;
  SafeOutputFile& operator=(const SafeOutputFile&) = delete;

  // Fails at once (kNotEnoughSpace) when the file system has less free space, and
  // reserves the space where the system can, so the disk cannot fill up meanwhile.
  void RequireSpace(std::uint64_t bytes) const;
  void Write(const char* bytes, std::size_t size);
  void Commit();

  const std::filesystem::path& TemporaryPath() const noexcept { return temporary_; }

 private:
  [[noreturn]] void FailWrite(int errorNumber) const;

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::string targetText_;
  UniqueFile file_;
  bool committed_ = false;
};

}  // namespace sorrelin
