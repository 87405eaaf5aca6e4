#include "output/temporary_files_ahead.h"

#include <system_error>

#include "platform/files.h"

namespace sorrelin {

TemporaryFilesAhead::~TemporaryFilesAhead() {
  if (!next_.valid()) return;
  TemporaryFile unused = next_.get();
  unused.file.reset();
  std::error_code ignored;
  if (!unused.path.empty()) std::filesystem::remove(unused.path, ignored);
}

TemporaryFile TemporaryFilesAhead::operator()(const std::filesystem::path& folder) {
  if (folder_.empty()) folder_ = folder;
  if (folder != folder_) return make_(folder);
  TemporaryFile file;
  if (next_.valid()) file = next_.get();
  // Made here when it failed there: errno tells why on this thread.
  if (!file.file) file = make_(folder);
  try {
    next_ = std::async(std::launch::async, [this] {
      BlockStopSignalsOnThisThread();
      return make_(folder_);
    });
  } catch (const std::system_error&) {
    // No thread: the next file is made when asked for.
  }
  return file;
}

}  // namespace sorrelin
