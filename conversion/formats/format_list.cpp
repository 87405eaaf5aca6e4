#include "formats/format_list.h"

namespace sorrelin {

// Each defined beside its writer.
extern const FormatModule kTextTableFormat, kCsvFormat, kVcdFormat, kNpyFormat,
    kSigrokSessionFormat;

namespace {

constexpr const FormatModule* kFormats[] = {
    &kTextTableFormat, &kCsvFormat, &kVcdFormat, &kNpyFormat, &kSigrokSessionFormat,
};

}  // namespace

std::span<const FormatModule* const> AllFormats() { return kFormats; }

const FormatModule* FormatNamed(std::string_view name) {
  for (const FormatModule* format : kFormats) {
    if (format->name == name) return format;
  }
  return nullptr;
}

}  // namespace sorrelin
