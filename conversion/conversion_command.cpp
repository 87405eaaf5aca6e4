#include "conversion_command.h"

#include <memory>
#include <new>

#include "conversion_error.h"
#include "digital_document.h"
#include "text_table.h"

namespace sorrelin {
namespace {

enum class Pass { kDone, kAgainPlainly };

// One conversion of `inputPath`. When both counts come before the data, the table is
// written while the data decodes; otherwise the data is kept and written after.
Pass Convert(ConversionHost& host, const std::string& inputPath, const ReadingOptions& reading) {
  std::unique_ptr<TextTableStream> table;
  std::uint64_t bytesRead = 0, bytesTotal = 0;
  LoadOptions options;
  options.reading = reading;
  options.keepReading = [&](std::uint64_t read, std::uint64_t total) {
    bytesRead = read;
    bytesTotal = total;
    return host.KeepConverting(read, total);
  };
  if (reading.streamTable) {
    options.dataSink = [&](const std::string& lineCount, const std::string& sampleCount) {
      // A document has loaded this far, so its path is not empty and has an output path.
      table = std::make_unique<TextTableStream>(OutputPathFor(inputPath), lineCount, sampleCount);
      return table.get();
    };
  }

  DigitalDocument document = LoadDigitalDocument(inputPath, options);
  if (document.Cancelled()) return Pass::kDone;
  // Faults that name a place are reported from a plain parse, where places are exact.
  const bool placesInexact = document.DecodedBesideParser();
  if (!document.Loaded()) {
    if (placesInexact) return Pass::kAgainPlainly;
    host.ShowMessage("Error: " + document.LoadFailureReason());
    return Pass::kDone;
  }
  DigitalWaveformDocument values;
  values.lineCountText = document.ReadLineCount();
  values.sampleCountText = document.ReadSampleCount();
  try {
    values.data = document.ReadData();
  } catch (const ConversionError& error) {
    if (placesInexact && error.Kind() == ErrorNumber::kInvalidBase64) return Pass::kAgainPlainly;
    throw;
  }
  if (table) {
    table->Finish();
  } else {
    WriteDigitalTextTable(OutputPathFor(inputPath), values,
                          [&] { return host.KeepConverting(bytesRead, bytesTotal); });
  }
  return Pass::kDone;
}

}  // namespace

void RunConversion(ConversionHost& host) { RunConversion(host, ReadingOptions{}); }

void RunConversion(ConversionHost& host, const ReadingOptions& reading) {
  try {
    const std::string inputPath = host.PathText();
    if (Convert(host, inputPath, reading) == Pass::kAgainPlainly) {
      ReadingOptions plainly = reading;
      plainly.decodeBesideParser = false;
      Convert(host, inputPath, plainly);
    }
  } catch (const std::bad_alloc&) {
    throw ConversionError(ErrorNumber::kOutOfMemory, "not enough memory for this document");
  }
}

}  // namespace sorrelin
