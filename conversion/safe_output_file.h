#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "conversion_error.h"
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

  // Fails (kNotEnoughSpace) when the file system has less free space than `bytes`,
  // and reserves that much where the system can, so the disk cannot fill up with
  // others' files meanwhile.
  void Reserve(std::uint64_t bytes);
  // A full disk or quota raises kNotEnoughSpace, any other failure kWriteFailed.
  void Write(const char* bytes, std::size_t size);
  void Commit();
  // Removes the temporary file now; nothing can be written after.
  void Discard() noexcept;

  // The error for a table of `bytes` that does not fit, with the free space now.
  ConversionError NotEnoughSpace(std::uint64_t bytes) const;

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
