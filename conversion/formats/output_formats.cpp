#include "formats/csv_format.h"
#include "formats/npy_format.h"
#include "formats/output_format.h"
#include "formats/text_table_format.h"
#include "formats/vcd_format.h"

namespace sorrelin {

namespace {

struct FormatNames {
  Format format;
  std::string_view name;
  std::string_view extension;
  bool spills;  // keeps the values until every line has come
};
constexpr FormatNames kFormats[] = {{Format::kTable, "table", ".txt", false},
                                    {Format::kCsv, "csv", ".csv", true},
                                    {Format::kVcd, "vcd", ".vcd", true},
                                    {Format::kNpy, "npy", ".npy", false}};

const FormatNames& NamesOf(Format format) {
  for (const FormatNames& names : kFormats) {
    if (names.format == format) return names;
  }
  return kFormats[0];
}

}  // namespace

std::string_view ExtensionOf(Format format) { return NamesOf(format).extension; }

std::string_view NameOf(Format format) { return NamesOf(format).name; }

bool Spills(Format format) { return NamesOf(format).spills; }

std::optional<Format> FormatNamed(std::string_view name) {
  for (const FormatNames& names : kFormats) {
    if (names.name == name) return names.format;
  }
  return std::nullopt;
}

std::vector<Format> AllFormats() {
  std::vector<Format> formats;
  for (const FormatNames& names : kFormats) formats.push_back(names.format);
  return formats;
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
