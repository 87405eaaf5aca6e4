#pragma once

#include <cstddef>
#include <cstdint>

namespace sorrelin {

// Writes at `at` the value changes of up to 16 neighbouring lines whose values are 0 or
// 1 and whose identifiers are one character, the first `firstIdentifier` and the
// others following it: for each line k with bit k of `changed` set, '0' + row[k], its
// identifier and a line feed. Reads 16 bytes of `row`; may write up to 16 bytes past
// the end it returns.
using NarrowChangeWriter = char* (*)(const std::uint8_t* row, std::uint32_t changed,
                                     char firstIdentifier, char* at);

// A writer of byte shuffles when this processor has them; else null.
NarrowChangeWriter VectorNarrowChangeWriter();

}  // namespace sorrelin
