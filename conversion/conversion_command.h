#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "digital_document.h"

namespace sorrelin {

// What a conversion needs from its caller: the path text to convert, and a way to
// tell the user that the document could not be loaded.
class ConversionHost {
 public:
  virtual ~ConversionHost() = default;
  virtual std::string PathText() const = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  // Called on the converting thread once per block of the document read, with the
  // bytes read so far and the document's size (0 when not known). Returning false
  // cancels the conversion: no table is written, an earlier output stays as it was,
  // and RunConversion returns without a message.
  virtual bool KeepConverting(std::uint64_t bytesRead, std::uint64_t bytesTotal) {
    (void)bytesRead;
    (void)bytesTotal;
    return true;
  }
  // Paths of other documents converted in the same run, as in a batch: like the
  // document being converted, no table may replace them.
  virtual std::vector<std::string> OtherDocuments() const { return {}; }
};

// Converts the document that the host's path text names into its text table.
// A document that cannot be loaded is shown as "Error: " and the reason; every
// other failure raises ConversionError. Success and cancelling say nothing.
void RunConversion(ConversionHost& host);

// Ways of converting that end alike; only tests and fuzzers change them, to compare.
struct ConversionOptions {
  ReadingOptions reading;
  // The table is written while the data decodes when both counts come first.
  bool streamTable = true;
  // The table's temporary file has no name until it is complete, where the system allows.
  bool unnamedTemporaryFile = true;
};
void RunConversion(ConversionHost& host, const ConversionOptions& options);

}  // namespace sorrelin
