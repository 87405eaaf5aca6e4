#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "conversion_error.h"
#include "output/output_file_rules.h"
#include "output/output_target.h"
#include "output/temporary_file.h"
#include "platform/files.h"

namespace sorrelin {

// Commit found the name taken, with keepExisting: that file stays, the output is gone.
class OutputNameTaken : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes a file through a temporary file in the same folder, which replaces the
// target in one rename on Commit. Until then the target is untouched; if Commit is
// never reached the temporary file is removed. A target that is a link stays a link:
// the file it names is written, existing or not.
class SafeOutputFile : public OutputTarget {
 public:
  // Refuses (kOutputNotWritable) a target that is a folder, exists and cannot be
  // written, or is a file the rules keep; then makes the temporary file. A full disk
  // or quota then raises kNotEnoughSpace.
  SafeOutputFile(const std::filesystem::path& target, const OutputFileRules& rules,
                 const TemporaryFileFactory& temporaryFiles);
  ~SafeOutputFile() override;
  SafeOutputFile(const SafeOutputFile&) = delete;
  SafeOutputFile& operator=(const SafeOutputFile&) = delete;

  void Reserve(std::uint64_t bytes) override;
  void Write(const char* bytes, std::size_t size) override;
  // Makes what was written ready to be put in place: cut to its size, flushed to the
  // disk when asked, named in the folder and closed; Commit then only renames it.
  void Seal();
  // The file to replace becomes `target`, refused as the constructor would refuse it,
  // whose permissions the output takes; in the same folder.
  void Retarget(const std::filesystem::path& target, const OutputFileRules& rules);
  bool Commit(const std::function<bool()>& proceed) override;
  void Discard() noexcept override;

 private:
  // Takes `target` as the file to replace, following links, or refuses it; its status.
  std::filesystem::file_status Target(const std::filesystem::path& target,
                                      const OutputFileRules& rules);
  [[noreturn]] void Fail(const std::string& why) const;

  std::filesystem::path target_;
  std::filesystem::path folder_;
  std::string targetText_;
  bool keepExisting_;
  bool sync_;
  TemporaryFile temporary_;
  std::uint64_t written_ = 0;
  std::uint64_t reserved_ = 0;  // bytes with their space reserved, or asked for
  bool committed_ = false;
};

// The error for an output of `bytes` that does not fit in `folder`, with the free
// space there now when it is less; `noun` names the output ("table"). `atLeast`: the
// output would be larger still.
ConversionError NotEnoughSpace(const std::filesystem::path& folder, const std::string& targetText,
                               const std::string& noun, std::uint64_t bytes, bool atLeast = false);

}  // namespace sorrelin
