#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "conversion_error.h"
#include "platform.h"

namespace sorrelin {

// Writes a file through a temporary file in the same folder, which replaces the
// target in one rename on Commit. Until then the target is untouched; if Commit is
// never reached the temporary file is removed. Where the system allows, the
// temporary file has no name until Commit, so not even a killed process leaves it.
// A target that is a link stays a link: the file it names is written, existing or
// not. Failures raise ConversionError.
class SafeOutputFile {
 public:
  // Refuses (kOutputNotWritable) a target that is a folder, exists and cannot be
  // written, or is one of `documents` (the document converted first, then any others
  // converted with it), by any name or link; then creates the temporary file,
  // unnamed if `unnamedWherePossible` and the system allows.
  explicit SafeOutputFile(const std::filesystem::path& target,
                          std::span<const std::filesystem::path> documents = {},
                          bool unnamedWherePossible = true);
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

  // The temporary file's path; empty while it has no name.
  const std::filesystem::path& TemporaryPath() const noexcept { return temporary_; }

 private:
  [[noreturn]] void FailWrite(int errorNumber) const;
  void NameTemporaryFile();

  std::filesystem::path target_;
  std::filesystem::path folder_;
  std::filesystem::path temporary_;
  std::string targetText_;
  UniqueFile file_;
  bool committed_ = false;
};

}  // namespace sorrelin
