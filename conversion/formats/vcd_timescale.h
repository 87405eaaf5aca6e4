#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

namespace sorrelin {

// The time of a chosen sample, from 0, in ticks: that of its sample in the document,
// `first` + the chosen sample, times `whole`, or when that is 0 times `ratio`, rounded.
struct VcdTicks {
  std::uint64_t first = 0;
  std::uint64_t whole = 1;
  long double ratio = 1;
  std::uint64_t Of(std::uint64_t sample) const {
    const std::uint64_t at = first + sample;
    if (whole != 0) return at * whole;
    return static_cast<std::uint64_t>(std::round(static_cast<long double>(at) * ratio));
  }
};

// A dump's tick, its $timescale text, and what its $comment says of the timing.
struct VcdTimescale {
  VcdTicks ticks;
  std::string text;
  std::string timing;
};

// The tick of a dump of the samples from `first` to `end` (excluded) of the document:
// the coarsest 1, 10 or 100 x a unit that errs by at most 0.5 % of a period; without
// a rate, a tick is a sample.
VcdTimescale ChooseTimescale(std::optional<double> rate, std::uint64_t first, std::uint64_t end);

}  // namespace sorrelin
