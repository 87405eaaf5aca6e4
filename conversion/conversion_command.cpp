#include "conversion_command.h"

#include <new>

#include "conversion_error.h"
#include "digital_document.h"
#include "text_table.h"

namespace sorrelin {

void RunConversion(ConversionHost& host) {
  try {
    const std::string inputPath = host.PathText();
    DigitalWaveformDocument values;
    {
      DigitalDocument document =
          LoadDigitalDocument(inputPath, [&host](std::uint64_t read, std::uint64_t total) {
            return host.KeepConverting(read, total);
          });
      if (document.Cancelled()) return;
      if (!document.Loaded()) return host.ShowMessage("Error: " + document.LoadFailureReason());
      values.lineCountText = document.ReadLineCount();
      values.sampleCountText = document.ReadSampleCount();
      values.data = document.ReadData();
    }
    WriteDigitalTextTable(OutputPathFor(inputPath), values);
  } catch (const std::bad_alloc&) {
    throw ConversionError(ErrorNumber::kOutOfMemory, "not enough memory for this document");
  }
}

}  // namespace sorrelin
