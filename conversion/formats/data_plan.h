#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sorrelin {

// Lines and samples chosen for the output, numbered from 1, bounds included.
struct Selection {
  struct Range {
    std::uint64_t first;
    std::uint64_t last;
  };
  std::vector<Range> lines;  // ascending and apart; empty: every line
  std::uint64_t firstSample = 1;
  std::optional<std::uint64_t> lastSample;  // none: to the last sample
};

// What the counts make of the data: L lines of S samples, L x S bytes line after
// line, and which of those values go to the output.
struct DataPlan {
  std::uint64_t lines = 0;
  std::uint64_t samples = 0;
  std::uint64_t needed = 0;  // L x S bytes of data
  bool neededOverflows = false;
  struct LineSpan {
    std::uint64_t begin;  // numbered from 0, end excluded
    std::uint64_t end;
  };
  std::vector<LineSpan> chosenLines;  // ascending and apart
  std::uint64_t chosenLineCount = 0;
  std::uint64_t firstSample = 0;  // the samples chosen in every line, from 0
  std::uint64_t sampleCount = 0;
};

// A count text as a number: a decimal integer with an optional sign and white space
// around it, within 64 bits. Anything else raises ConversionError (kCountNotANumber)
// naming `what`.
std::int64_t ReadCount(std::string_view text, std::string_view what);

// The plan of the counts with every value chosen. A line count below 1 makes no
// lines, and the sample count is then not read; a sample count below 1, no samples.
// Raises ConversionError (kCountNotANumber).
DataPlan PlanData(std::string_view lineCountText, std::string_view sampleCountText);

// Chooses the selection's values; one outside the counts raises ConversionError
// (kSelectionOutsideCounts).
void Choose(DataPlan& plan, const Selection& selection);

// The digits of every number from 1 to n.
std::uint64_t DigitsUpTo(std::uint64_t n, bool& overflow);
// The digits of the numbers of the chosen lines, counted from 1.
std::uint64_t ChosenLineDigits(const DataPlan& plan, bool& overflow);

// a x b and a + b, setting `overflow` when the result does not fit in 64 bits.
std::uint64_t CheckedProduct(std::uint64_t a, std::uint64_t b, bool& overflow);
std::uint64_t CheckedSum(std::uint64_t a, std::uint64_t b, bool& overflow);

}  // namespace sorrelin
