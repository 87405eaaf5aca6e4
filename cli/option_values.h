#pragma once

#include <stdexcept>
#include <string_view>

#include "data_plan.h"

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

// Samples per second: "2500000", "2.5e6", "2.5M", "2.5MHz" (k, M, G; "Hz" optional).
double ParseSampleRate(std::string_view text);

}  // namespace sorrelin
