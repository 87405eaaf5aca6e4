#pragma once

#include <optional>
#include <span>
#include <string>

#include "platform/files.h"

namespace sorrelin {

// An output this run has written, and the document it was made of.
struct WrittenOutput {
  FileIdentity file;
  std::string document;  // its path text
};

// What an output file keeps to, beyond what its target is.
struct OutputFileRules {
  // Never replaced, by any name or link: the document converted, the other documents
  // of the same run, and the outputs the run has written.
  std::optional<FileIdentity> document;
  std::span<const FileIdentity> others;
  std::span<const WrittenOutput> written;
  bool keepExisting = false;  // a file that takes the name before Commit stays
  bool sync = false;          // flushed to the disk before the rename, its folder after
  // The target given first only names the output in messages, in the folder of the
  // one that Retarget gives before Commit: it is neither checked nor looked at.
  bool namedLater = false;
};

}  // namespace sorrelin
