#include "conversion_command.h"

#include <memory>
#include <new>

#include "conversion_error.h"
#include "digital_document.h"
#include "text_table.h"

namespace sorrelin {
namespace {

enum class Pass { kDone, kAgainPlainly };

// One conversion of the host's document. When both counts come before the data, the
// table is written while the data decodes; otherwise the data is kept and written after.
Pass Convert(ConversionHost& host, const ConversionOptions& conversion) {
  const std::string inputPath = host.PathText();
  // The table never replaces the document converted, nor the others of its batch.
  auto target = [&] {
    TableTarget where{OutputPathFor(inputPath), host.OtherDocuments(),
                      conversion.unnamedTemporaryFile};
    where.documents.insert(where.documents.begin(), inputPath);
    return where;
  };
  std::unique_ptr<TextTableStream> table;
  std::uint64_t bytesRead = 0, bytesTotal = 0;
  LoadOptions options;
  options.reading = conversion.reading;
  options.keepReading = [&](std::uint64_t read, std::uint64_t total) {
    bytesRead = read;
    bytesTotal = total;
    return host.KeepConverting(read, total);
  };
  if (conversion.streamTable) {
    // A document has loaded this far, so its path is not empty and has an output path.
    options.dataSink = [&](const std::string& lineCount, const std::string& sampleCount) {
      table = std::make_unique<TextTableStream>(target(), lineCount, sampleCount);
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
    WriteDigitalTextTable(target(), values,
                          [&] { return host.KeepConverting(bytesRead, bytesTotal); });
  }
  return Pass::kDone;
}

}  // namespace

void RunConversion(ConversionHost& host) { RunConversion(host, ConversionOptions{}); }

void RunConversion(ConversionHost& host, const ConversionOptions& options) {
  try {
    if (Convert(host, options) == Pass::kAgainPlainly) {
      ConversionOptions plainly = options;
      plainly.reading.decodeBesideParser = false;
      Convert(host, plainly);
    }
  } catch (const std::bad_alloc&) {
    throw ConversionError(ErrorNumber::kOutOfMemory, "not enough memory for this document");
  }
}

}  // namespace sorrelin
