#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "digital_document.h"

namespace sorrelin {

// Where the table of `inputPath` goes: a name ending in ".XMLdig" (any letter case)
// gets ".txt" in its place; any other name keeps its whole text and gets ".txt"
// appended, so the input is never overwritten. An empty path raises ConversionError.
std::string OutputPathFor(std::string_view inputPath);

// A count text as a number: a decimal integer with an optional sign and white space
// around it, within 64 bits. Anything else raises ConversionError (kCountNotANumber)
// naming `what`.
std::int64_t ReadCount(std::string_view text, std::string_view what);

// Writes the table: one row per line, every sample's decimal value and a comma, rows
// ended by CR LF. The output appears whole or not at all; an earlier file of that
// name stays as it was on any failure.
void WriteDigitalTextTable(std::string_view outputPath, const DigitalWaveformDocument& document);

}  // namespace sorrelin
