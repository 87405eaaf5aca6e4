#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "conversion_request.h"
#include "outcome.h"
#include "output/temporary_file.h"
#include "read/base64_kernels.h"
#include "read/block_source.h"

namespace sorrelin {

// Told how far a conversion has come; asked whether to go on.
class ConversionProgress {
 public:
  virtual ~ConversionProgress() = default;
  // Called on the converting thread before each block of the document is read, once
  // after the last, and once more right before the output is put in place, with the
  // bytes read so far and the document's size (0 when not known). False cancels the
  // conversion: no output is put in place and an earlier one stays as it was.
  virtual bool KeepConverting(std::uint64_t bytesRead, std::uint64_t bytesTotal) = 0;
};

// What a conversion draws on: the document's bytes, the temporary file an output is
// written to before it is put in place, and the kernel that decodes the Base64 data.
struct ConversionEnvironment {
  std::function<OpenedDocument(std::string_view pathText)> openDocument = OpenDocumentFile;
  TemporaryFileFactory temporaryFiles = CreateTemporaryFile;
  Base64Kernel base64Kernel = BestBase64Kernel();
};

// Converts one document as the request says. Every failure is in the result, for
// the front end to tell; an output is put in place whole, only on success.
ConversionResult RunConversion(const ConversionRequest& request, ConversionProgress& progress,
                               const ConversionEnvironment& environment = {});

}  // namespace sorrelin
