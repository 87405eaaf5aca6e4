#include "formats/text_table_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "formats/format_module.h"
#include "formats/table_format.h"

namespace sorrelin {
namespace {

// Values formatted at a time: their room fits in what the stream gives at once.
constexpr std::size_t kValuesAtOnce = (OutputStream::kLargestRoom - FormatRoom(0)) / 4;
static_assert(FormatRoom(kValuesAtOnce) <= OutputStream::kLargestRoom);

}  // namespace

std::uint64_t TextTableFormat::SmallestSize() const {
  // One digit and a comma a value, CR LF a row.
  bool overflow = false;
  const std::uint64_t values = CheckedProduct(plan_.chosenLineCount, plan_.sampleCount, overflow);
  const std::uint64_t smallest =
      CheckedSum(CheckedProduct(values, 2, overflow),
                 CheckedProduct(plan_.chosenLineCount, 2, overflow), overflow);
  return overflow ? std::numeric_limits<std::uint64_t>::max() : smallest;
}

void TextTableFormat::Values(std::span<const std::uint8_t> values) {
  while (!values.empty()) {
    const std::size_t n = std::min(values.size(), kValuesAtOnce);
    char* const at = out_.Room(FormatRoom(n));
    out_.Wrote(static_cast<std::size_t>(FormatValues(values.data(), n, at) - at));
    values = values.subspan(n);
  }
}

void TextTableFormat::EndLine() {
  std::memcpy(out_.Room(2), "\r\n", 2);
  out_.Wrote(2);
}

bool TextTableFormat::End(const Proceed& proceed) {
  if (plan_.sampleCount != 0) return true;  // every row has ended with its last value
  // Rows without values: once the stream only counts, they are counted at once.
  const std::uint64_t all = plan_.chosenLineCount;
  std::uint64_t rows = all;
  for (; rows != 0 && out_.Writing(); --rows) {
    if (rows % (std::uint64_t{1} << 20) == 0 && !proceed(1 - static_cast<double>(rows) / all)) {
      return false;
    }
    EndLine();
  }
  out_.Count(2 * rows);
  return true;
}

extern const FormatModule kTextTableFormat{
    "table",
    ".txt",
    "a row per line",
    "Text table, a row per line",
    "table",
    false,
    true,
    {},
    [](const DataPlan& plan, OutputStream& out, const FormatSettings&)
        -> std::unique_ptr<OutputFormat> { return std::make_unique<TextTableFormat>(plan, out); }};

}  // namespace sorrelin
