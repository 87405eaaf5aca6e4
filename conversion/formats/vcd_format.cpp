#include "formats/vcd_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <limits>

#include "formats/format_module.h"
#include "formats/vcd_changes.h"
#include "message_text.h"

namespace sorrelin {
namespace {

constexpr std::string_view kSmallestVariable = "$var wire 1 ! line1 $end\n";
constexpr std::string_view kDefinitionsEnd = "$upscope $end\n$enddefinitions $end\n";
// Now in UTC, as 2026-12-07T10:37:39Z.
std::string DateText() {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

std::string RateText(double number) {
  char text[32];
  return std::string(
      text, std::to_chars(text, text + sizeof text, number, std::chars_format::general, 12).ptr);
}

// The characters of the identifiers of the first n lines.
std::uint64_t IdentifierLengths(std::uint64_t n, bool& overflow) {
  std::uint64_t total = 0;
  std::uint64_t first = 0;   // the first line whose identifier has `length` characters
  std::uint64_t count = 94;  // how many have
  for (std::uint64_t length = 1; first < n; ++length) {
    const std::uint64_t here = std::min(n - first, count);
    total = CheckedSum(total, CheckedProduct(here, length, overflow), overflow);
    first += here;
    count = count > std::numeric_limits<std::uint64_t>::max() / 94 ? count : count * 94;
  }
  return total;
}

// The name escaped and quoted; a '$' would let a reader take "$end" in it for the
// comment's end.
std::string CommentName(const std::string& name) {
  std::string text;
  for (const char c : Quoted(name)) text += c == '$' ? std::string("\\x24") : std::string(1, c);
  return text;
}

}  // namespace

VcdFormat::VcdFormat(const DataPlan& plan, OutputStream& out, const FormatSettings& settings)
    : plan_(plan), out_(out), settings_(settings) {
  // A tick is 1, 10 or 100 s, ms, us, ns, ps or fs: the sample period when it is one
  // of them, else the next shorter.
  static constexpr std::array<const char*, 6> kUnits = {"s", "ms", "us", "ns", "ps", "fs"};
  static constexpr std::array<double, 18> kTicksPerSecond = {1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,
                                                             1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                                             1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::string timescale = "1 s";
  std::string timing = "sample rate unknown: a tick is a sample";
  if (const auto rate = settings.sampleRate) {
    timing = RateText(*rate) + " samples per second";
    std::size_t k = 0;
    while (k + 1 < kTicksPerSecond.size() && kTicksPerSecond[k] < *rate) ++k;
    ticks_.perSample = kTicksPerSecond[k] <= *rate;  // beyond 1 fs, a tick is a sample too
    ticks_.perSecond = kTicksPerSecond[k];
    ticks_.sampleRate = *rate;
    // kTicksPerSecond[k] is 10^(k - 2): a tick is 10^(3 * unit + 2 - k) units.
    const std::size_t unit = k / 3;
    const std::size_t zeros = 3 * unit + 2 - k;
    timescale = std::string(zeros == 2 ? "100 " : zeros == 1 ? "10 " : "1 ") + kUnits[unit];
    if (*rate > kTicksPerSecond.back()) timing += "; the period is below 1 fs: a tick is a sample";
  }
  head_ = "$date " + DateText() + " $end\n$version Sorrelin " SORRELIN_VERSION " $end\n" +
          "$comment Converted from " + CommentName(settings.documentName) + ": " +
          std::to_string(plan.chosenLineCount) + " of " + std::to_string(plan.lines) + " lines, " +
          std::to_string(plan.sampleCount) + " of " + std::to_string(plan.samples) +
          " samples from sample " + std::to_string(plan.firstSample + 1) + ", " + timing +
          " $end\n$timescale " + timescale + " $end\n$scope module sorrelin $end\n";
}

std::uint64_t VcdFormat::SmallestSize() const {
  // Every wire of 1 bit with the shortest name, a dump of single digits, no change.
  bool overflow = false;
  const std::uint64_t lines = plan_.chosenLineCount;
  const bool dump = plan_.sampleCount != 0;
  char end[24];
  const std::size_t endSize =
      std::to_chars(end, end + sizeof end, ticks_.Of(plan_.sampleCount)).ptr - end;
  std::uint64_t size = head_.size() + kDefinitionsEnd.size() + 2 + endSize +
                       (dump ? kDumpStart.size() + kDumpEnd.size() : 0);
  size = CheckedSum(
      size, CheckedProduct(lines, kSmallestVariable.size() + (dump ? 3 : 0), overflow), overflow);
  return overflow ? std::numeric_limits<std::uint64_t>::max() : size;
}

bool VcdFormat::Begin(const Proceed&) {
  spill_ = std::make_unique<SpillFile>(plan_.chosenLineCount, plan_.sampleCount,
                                       settings_.temporaryFiles, settings_.spillFolder);
  return true;
}

void VcdFormat::Values(std::span<const std::uint8_t> values) {
  std::uint8_t seen = 0;
  for (const std::uint8_t value : values) seen |= value;
  seen_ |= seen;
  spill_->Append(values);
}

void VcdFormat::EndLine() {
  wide_.push_back(seen_ > 1);  // as lines come: memory only for the lines that have come
  seen_ = 0;
}

bool VcdFormat::End(const Proceed& proceed) {
  if (!WriteDefinitions(proceed)) return false;
  RoomWriter text(out_);
  VcdChangeWriter changes(wide_, ticks_);
  const bool ended = spill_->ReadBack(1, [&](const SpillBlock& block) {
    if (!proceed(static_cast<double>(block.firstSample) / static_cast<double>(plan_.sampleCount))) {
      return false;
    }
    changes.Write(block, text);
    return true;
  });
  if (!ended) return false;
  text.Ensure(NumberText::kRoom + 2);
  *text.at++ = '#';
  text.at = std::to_chars(text.at, text.at + 20, ticks_.Of(plan_.sampleCount)).ptr;
  *text.at++ = '\n';
  return true;
}

bool VcdFormat::WriteDefinitions(const Proceed& proceed) {
  const std::uint64_t start = out_.Size();
  std::string text = head_;
  std::uint64_t chosen = 0;
  for (const DataPlan::LineSpan& span : plan_.chosenLines) {
    for (std::uint64_t line = span.begin; line < span.end && out_.Writing(); ++line, ++chosen) {
      char identifier[16];
      const bool wide = chosen < wide_.size() && wide_[static_cast<std::size_t>(chosen)];
      text += wide ? "$var wire 8 " : "$var wire 1 ";
      text.append(identifier, WriteIdentifier(chosen, identifier));
      text += " line" + std::to_string(line + 1) + " $end\n";
      if (text.size() >= OutputStream::kLargestRoom) {
        if (!proceed(0)) return false;
        out_.Write(text);
        text.clear();
      }
    }
  }
  if (out_.Writing()) {
    out_.Write(text + std::string(kDefinitionsEnd));
  } else {  // counted at once, however many lines there are: "$var wire 1 ", " line", " $end\n"
    bool overflow = false;
    const std::uint64_t lines = plan_.chosenLineCount;
    std::uint64_t size = CheckedProduct(lines, 12 + 5 + 6, overflow);
    size = CheckedSum(size, ChosenLineDigits(plan_, overflow), overflow);
    size = CheckedSum(size, IdentifierLengths(lines, overflow), overflow);
    out_.Count(size + head_.size() + kDefinitionsEnd.size() - (out_.Size() - start));
  }
  return true;
}

extern const FormatModule kVcdFormat{
    "vcd",
    ".vcd",
    "for waveform viewers",
    "output",
    true,
    true,
    {.rate = true, .vectors = true},
    [](const DataPlan& plan, OutputStream& out,
       const FormatSettings& settings) -> std::unique_ptr<OutputFormat> {
      return std::make_unique<VcdFormat>(plan, out, settings);
    }};

}  // namespace sorrelin
