#include "formats/vcd_timescale.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace sorrelin {
namespace {

// Times stay well inside the signed 64 bits that readers keep them in.
constexpr long double kLatestTick = 0x1p62L;

std::string RateText(double number) {
  char text[32];
  return std::string(
      text, std::to_chars(text, text + sizeof text, number, std::chars_format::general, 12).ptr);
}

// Ticks of 10^power seconds in a sample period.
long double TicksPerSample(double rate, int power) {
  long double scale = 1;
  for (int k = 0; k < std::abs(power); ++k) scale *= 10;
  return power < 0 ? scale / rate : 1 / (rate * scale);
}

// `ticks` rounded, when that moves no sample up to `end` by 1/10,000 of a period; else 0.
std::uint64_t WholeTicks(long double ticks, std::uint64_t end) {
  const long double whole = std::round(ticks);
  const bool close = std::fabs(ticks - whole) * static_cast<long double>(end) <= ticks * 1e-4L;
  return whole >= 1 && whole <= kLatestTick && close ? static_cast<std::uint64_t>(whole) : 0;
}

}  // namespace

// The tick of a dump of the samples from `first` to `end` (excluded) of the document;
// without a rate, a tick is a sample.
VcdTimescale ChooseTimescale(std::optional<double> rate, std::uint64_t first, std::uint64_t end) {
  VcdTimescale scale{{first}, "1 s", "sample rate unknown: a tick is a sample"};
  if (!rate || !(*rate > 0) || !std::isfinite(*rate)) return scale;
  scale.timing = RateText(*rate) + " samples per second";
  // The coarsest tick of 10^power seconds, 100 s to 1 fs, of which a period holds a
  // whole number (moving no sample by 1/10,000 of a period) or at least 100: a time
  // then errs by at most half a tick, 0.5 % of a period. At 7 MHz, 1 ns, 142.86 ticks
  // a sample; at 10 MHz, 100 ns, a tick a sample.
  const auto accurate = [&](int power) {
    const long double ticks = TicksPerSample(*rate, power);
    return ticks >= 100 || WholeTicks(ticks, end) != 0;
  };
  int power = 2;
  while (power > -15 && !accurate(power)) --power;
  const long double ticks = TicksPerSample(*rate, power);
  scale.ticks.whole = WholeTicks(ticks, end);
  scale.ticks.ratio = ticks;
  // A period under 1 fs, or times past kLatestTick (some 10^15 samples or more): a tick
  // is a sample, of the longest unit within a period.
  const bool perSample =
      (scale.ticks.whole == 0 && ticks < 1) || static_cast<long double>(end) * ticks > kLatestTick;
  while (perSample && power < 2 && TicksPerSample(*rate, power + 1) >= 1) ++power;
  if (perSample) {
    scale.ticks.whole = 1;
    scale.timing += "; a tick is a sample";
  }
  static constexpr const char* kUnits[] = {"fs", "ps", "ns", "us", "ms", "s"};
  static constexpr const char* kCounts[] = {"1 ", "10 ", "100 "};
  scale.text = std::string(kCounts[(power + 15) % 3]) + kUnits[(power + 15) / 3];
  if (scale.ticks.whole == 0 && ticks < 100) scale.timing += "; times rounded to " + scale.text;
  return scale;
}

}  // namespace sorrelin
