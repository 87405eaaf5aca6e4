#include "csv_format.h"
#include "npy_format.h"
#include "output_format.h"
#include "text_table_format.h"
#include "vcd_format.h"

namespace sorrelin {

std::string_view ExtensionOf(Format format) {
  switch (format) {
    case Format::kCsv:
      return ".csv";
    case Format::kVcd:
      return ".vcd";
    case Format::kNpy:
      return ".npy";
    case Format::kTable:
      break;
  }
  return ".txt";
}

std::unique_ptr<OutputFormat> MakeOutputFormat(Format format, const DataPlan& plan,
                                               OutputStream& out, const FormatSettings& settings) {
  switch (format) {
    case Format::kCsv:
      return std::make_unique<CsvFormat>(plan, out, settings);
    case Format::kVcd:
      return std::make_unique<VcdFormat>(plan, out, settings);
    case Format::kNpy:
      return std::make_unique<NpyFormat>(plan, out);
    case Format::kTable:
    default:
      return std::make_unique<TextTableFormat>(plan, out);
  }
}

}  // namespace sorrelin
