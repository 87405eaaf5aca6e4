#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "formats/format_module.h"

namespace sorrelin {

// Every format, in the order they are offered; the text table first, the default.
std::span<const FormatModule* const> AllFormats();

// The format of a name, or null.
const FormatModule* FormatNamed(std::string_view name);

// The text table.
inline const FormatModule& DefaultFormat() { return *AllFormats().front(); }

}  // namespace sorrelin
