#include "option_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "conversion_request.h"

namespace sorrelin {
namespace {

// A number from 1 within 64 bits, the whole text.
std::uint64_t Positive(std::string_view text, std::string_view what) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0) {
    throw BadOptionValue(std::string(what) + " must be a number from 1: \"" + std::string(text) +
                         "\"");
  }
  return value;
}

}  // namespace

void CheckSampleRateFor(const FormatModule& format, double rate, std::string_view text) {
  if (format.options.wholeHertz && rate != std::floor(rate)) {
    throw BadOptionValue(std::string(format.name) + " keeps a sample rate in whole hertz only: \"" +
                         std::string(text) + "\"");
  }
}

std::uint64_t ParseSegment(std::string_view text) {
  return text == "all" ? kEverySegment : Positive(text, "a segment");
}

std::vector<Selection::Range> ParseLineList(std::string_view text) {
  std::vector<Selection::Range> ranges;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string_view item = text.substr(at, comma - at);
    const std::size_t dash = item.find('-');
    const std::uint64_t first = Positive(item.substr(0, dash), "a line");
    const std::uint64_t last =
        dash == std::string_view::npos ? first : Positive(item.substr(dash + 1), "a line");
    if (last < first)
      throw BadOptionValue("a range of lines runs backwards: \"" + std::string(item) + "\"");
    ranges.push_back({first, last});
    at = comma + 1;
  }
  std::sort(ranges.begin(), ranges.end(), [](auto a, auto b) { return a.first < b.first; });
  std::vector<Selection::Range> merged;
  for (const Selection::Range& range : ranges) {
    if (!merged.empty() && range.first <= merged.back().last + 1) {
      merged.back().last = std::max(merged.back().last, range.last);
    } else {
      merged.push_back(range);
    }
  }
  return merged;
}

void ParseSampleRange(std::string_view text, Selection& selection) {
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) {
    throw BadOptionValue("samples are chosen as FIRST-LAST or FIRST-: \"" + std::string(text) +
                         "\"");
  }
  selection.firstSample = Positive(text.substr(0, dash), "a sample");
  selection.lastSample.reset();
  if (dash + 1 == text.size()) return;
  selection.lastSample = Positive(text.substr(dash + 1), "a sample");
  if (*selection.lastSample < selection.firstSample) {
    throw BadOptionValue("the range of samples runs backwards: \"" + std::string(text) + "\"");
  }
}

double ParseSampleRate(std::string_view text) {
  std::string_view number = text;
  if (number.size() >= 2 && (number.ends_with("Hz") || number.ends_with("hz")))
    number.remove_suffix(2);
  double scale = 1;
  if (!number.empty()) {
    switch (number.back()) {
      case 'k':
      case 'K':
        scale = 1e3;
        break;
      case 'M':
        scale = 1e6;
        break;
      case 'G':
        scale = 1e9;
        break;
    }
    if (scale != 1) number.remove_suffix(1);
  }
  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  value *= scale;
  if (number.empty() || error != std::errc() || end != number.data() + number.size() ||
      !std::isfinite(value) || value <= 0) {
    throw BadOptionValue("a sample rate is a number of samples per second, such as 2.5MHz: \"" +
                         std::string(text) + "\"");
  }
  if (value < kLowestSampleRate || value > kHighestSampleRate) {
    throw BadOptionValue("a sample rate is from 0.001 to 1e15 samples per second: \"" +
                         std::string(text) + "\"");
  }
  return value;
}

}  // namespace sorrelin
