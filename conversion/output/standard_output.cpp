#include "output/standard_output.h"

#include <cerrno>

#include "conversion_error.h"
#include "message_text.h"

namespace sorrelin {

StandardOutput::StandardOutput() : file_(DuplicateStandardOutput()) {
  if (!file_) {
    throw ConversionError(ErrorNumber::kOutputNotWritable,
                          "cannot write standard output: " + ErrnoMessage(errno));
  }
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
}

void StandardOutput::Write(const char* bytes, std::size_t size) {
  if (WriteAll(file_.get(), bytes, size)) return;
  throw ConversionError(
      IsDiskFull(errno) ? ErrorNumber::kNotEnoughSpace : ErrorNumber::kWriteFailed,
      "cannot write standard output: " + ErrnoMessage(errno));
}

}  // namespace sorrelin
