#pragma once

#include <stdexcept>
#include <string_view>

#include "formats/data_plan.h"
#include "formats/format_module.h"

namespace sorrelin {

// A value of an option that does not parse; its text says what is wrong.
class BadOptionValue : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// "1,3-5": line numbers from 1 and ranges of them, in any order; the lines chosen in
// ascending order, each once.
std::vector<Selection::Range> ParseLineList(std::string_view text);

// "FIRST-LAST" or "FIRST-": sample numbers from 1, both included; sets them in `selection`.
void ParseSampleRange(std::string_view text, Selection& selection);

// Refuses a rate, parsed from `text`, that `format` cannot keep exactly.
void CheckSampleRateFor(const FormatModule& format, double rate, std::string_view text);

// A segment's number, from 1, or "all": kEverySegment.
std::uint64_t ParseSegment(std::string_view text);

// The sample rates taken, in samples per second. A VCD tick is the sample period
// rounded down to 1, 10 or 100 x s, ms, ..., fs, and at most 100 s: within these bounds
// a sample lasts 1 to 10 ticks, so neighbouring samples never share a time and the
// time in ticks, at most 10 x the sample's number, fits 64 bits for any document under
// 1.8e18 samples; a CSV time, (sample - 1) / rate, stays finite.
inline constexpr double kLowestSampleRate = 1e-3;
inline constexpr double kHighestSampleRate = 1e15;

// Samples per second: "2500000", "2.5e6", "2.5M", "2.5MHz" (k, M, G; "Hz" optional),
// from kLowestSampleRate to kHighestSampleRate.
double ParseSampleRate(std::string_view text);

}  // namespace sorrelin
