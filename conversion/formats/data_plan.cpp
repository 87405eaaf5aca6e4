#include "formats/data_plan.h"

#include <charconv>
#include <limits>
#include <string>

#include "conversion_error.h"
#include "message_text.h"

namespace sorrelin {
namespace {

constexpr std::size_t kShownCountLength = 40;

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Counted(std::uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

[[noreturn]] void Outside(const std::string& what, std::uint64_t count, const std::string& noun) {
  throw ConversionError(ErrorNumber::kSelectionOutsideCounts,
                        what + " is outside the document's " + Counted(count, noun));
}

}  // namespace

std::uint64_t CheckedProduct(std::uint64_t a, std::uint64_t b, bool& overflow) {
  if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a) overflow = true;
  return a * b;
}

std::uint64_t CheckedSum(std::uint64_t a, std::uint64_t b, bool& overflow) {
  if (b > std::numeric_limits<std::uint64_t>::max() - a) overflow = true;
  return a + b;
}

// The digits of every number from 1 to n.
std::uint64_t DigitsUpTo(std::uint64_t n, bool& overflow) {
  std::uint64_t total = 0;
  std::uint64_t low = 1;
  for (std::uint64_t digits = 1; low <= n; ++digits) {
    const bool last = low > (std::numeric_limits<std::uint64_t>::max() - 9) / 10;
    const std::uint64_t high = last ? n : std::min(n, low * 10 - 1);
    total = CheckedSum(total, CheckedProduct(high - low + 1, digits, overflow), overflow);
    if (last) break;
    low *= 10;
  }
  return total;
}

std::uint64_t ChosenLineDigits(const DataPlan& plan, bool& overflow) {
  std::uint64_t total = 0;
  for (const DataPlan::LineSpan& span : plan.chosenLines) {
    total = CheckedSum(total, DigitsUpTo(span.end, overflow) - DigitsUpTo(span.begin, overflow),
                       overflow);
  }
  return total;
}

std::int64_t ReadCount(std::string_view text, std::string_view what) {
  std::string_view digits = text;
  while (!digits.empty() && IsXmlSpace(digits.front())) digits.remove_prefix(1);
  while (!digits.empty() && IsXmlSpace(digits.back())) digits.remove_suffix(1);
  if (digits.starts_with('+') && !digits.substr(1).starts_with('-')) digits.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    throw ConversionError(
        ErrorNumber::kCountNotANumber,
        std::string(what) + " is not a number: " + Quoted(Shortened(text, kShownCountLength)));
  }
  return value;
}

DataPlan PlanData(std::string_view lineCountText, std::string_view sampleCountText) {
  DataPlan plan;
  if (const std::int64_t lines = ReadCount(lineCountText, "line count"); lines >= 1) {
    plan.lines = static_cast<std::uint64_t>(lines);
    const std::int64_t samples = ReadCount(sampleCountText, "sample count");
    plan.samples = samples < 1 ? 0 : static_cast<std::uint64_t>(samples);
  }
  plan.needed = CheckedProduct(plan.lines, plan.samples, plan.neededOverflows);
  if (plan.lines != 0) plan.chosenLines = {{0, plan.lines}};
  plan.chosenLineCount = plan.lines;
  plan.sampleCount = plan.samples;
  return plan;
}

void Choose(DataPlan& plan, const Selection& selection) {
  if (!selection.lines.empty()) {
    plan.chosenLines.clear();
    plan.chosenLineCount = 0;
    for (const Selection::Range& range : selection.lines) {
      if (range.last > plan.lines)
        Outside("line " + std::to_string(range.last), plan.lines, "line");
      plan.chosenLines.push_back({range.first - 1, range.last});
      plan.chosenLineCount += range.last - range.first + 1;
    }
  }
  if (selection.firstSample == 1 && !selection.lastSample) return;  // every sample
  const std::uint64_t last = selection.lastSample.value_or(plan.samples);
  if (selection.firstSample > plan.samples || last > plan.samples) {
    const std::uint64_t shown = last > plan.samples ? last : selection.firstSample;
    Outside("sample " + std::to_string(shown), plan.samples, "sample");
  }
  plan.firstSample = selection.firstSample - 1;
  plan.sampleCount = last - plan.firstSample;
}

}  // namespace sorrelin
