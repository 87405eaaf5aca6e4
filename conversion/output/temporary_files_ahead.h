#pragma once

#include <filesystem>
#include <future>

#include "output/temporary_file.h"

namespace sorrelin {

// Gives the temporary files of outputs made one after another in one folder, each made
// on a thread of its own while the one before is written: the folder of the first file
// asked for is that folder, and every file given there starts the making of the next.
// Files asked for elsewhere are made when asked. `make` may run on that thread, one
// call at a time, beside calls for other folders. A file made and not asked for is
// closed, and removed where it has a name, when this ends.
class TemporaryFilesAhead {
 public:
  explicit TemporaryFilesAhead(TemporaryFileFactory make) : make_(std::move(make)) {}
  ~TemporaryFilesAhead();
  TemporaryFilesAhead(const TemporaryFilesAhead&) = delete;
  TemporaryFilesAhead& operator=(const TemporaryFilesAhead&) = delete;

  TemporaryFile operator()(const std::filesystem::path& folder);

 private:
  TemporaryFileFactory make_;
  std::filesystem::path folder_;     // empty until the first file is asked for
  std::future<TemporaryFile> next_;  // the next file of folder_, while it is made
};

}  // namespace sorrelin
