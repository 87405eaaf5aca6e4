#pragma once

#include <filesystem>
#include <functional>

#include "platform/files.h"

namespace sorrelin {

// A new file for an output under way, beside where the output goes.
struct TemporaryFile {
  UniqueFile file;             // null with errno set when it could not be made
  std::filesystem::path path;  // empty while the file has no name
};

// Makes the temporary file in a folder.
using TemporaryFileFactory = std::function<TemporaryFile(const std::filesystem::path& folder)>;

// Unnamed where the system and the file system allow (nothing is left even when the
// process is killed), else as CreateNamedTemporaryFile.
TemporaryFile CreateTemporaryFile(const std::filesystem::path& folder);

// A hidden ".sorrelin-XXXXXXXX.tmp" of a name not taken before.
TemporaryFile CreateNamedTemporaryFile(const std::filesystem::path& folder);

// A free hidden name for a temporary file in `folder`.
std::filesystem::path TemporaryName(const std::filesystem::path& folder);

}  // namespace sorrelin
