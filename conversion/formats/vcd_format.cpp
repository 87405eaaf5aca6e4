#include "formats/vcd_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

#include "formats/format_module.h"
#include "formats/vcd_changes.h"
#include "formats/vcd_timescale.h"
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

// The decimal digits of `number`.
std::uint64_t DigitCount(std::uint64_t number) {
  char text[24];
  return static_cast<std::uint64_t>(std::to_chars(text, text + sizeof text, number).ptr - text);
}

// The characters of the identifiers of the first n wires.
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
  const VcdTimescale scale =
      ChooseTimescale(settings.sampleRate, plan.firstSample, plan.firstSample + plan.sampleCount);
  ticks_ = scale.ticks;
  if (!plan.chosenLines.empty()) line_ = plan.chosenLines.front().begin;
  head_ = "$date " + DateText() + " $end\n$version Sorrelin " SORRELIN_VERSION " $end\n" +
          "$comment Converted from " + CommentName(settings.documentName) + ": " +
          std::to_string(plan.chosenLineCount) + " of " + std::to_string(plan.lines) + " lines, " +
          std::to_string(plan.sampleCount) + " of " + std::to_string(plan.samples) +
          " samples from sample " + std::to_string(plan.firstSample + 1) + ", " + scale.timing +
          " $end\n$timescale " + scale.text + " $end\n$scope module sorrelin $end\n";
}

std::uint64_t VcdFormat::SmallestSize() const {
  // Every wire of 1 bit with the shortest name, a dump of single digits, no change.
  bool overflow = false;
  const std::uint64_t lines = plan_.chosenLineCount;
  const bool dump = plan_.sampleCount != 0;
  std::uint64_t size =
      head_.size() + kDefinitionsEnd.size() + 2 + DigitCount(ticks_.Of(plan_.sampleCount)) +
      (dump ? 2 + DigitCount(ticks_.Of(0)) + kDumpStart.size() + kDumpEnd.size() : 0);
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
  wide_.Take(values);
  spill_->Append(values);
}

void VcdFormat::EndLine() {
  if (wide_.EndLine()) {
    ++wideLines_;
    wideDigits_ += DigitCount(line_ + 1);
  }
  if (++line_ == plan_.chosenLines[span_].end && span_ + 1 < plan_.chosenLines.size()) {
    line_ = plan_.chosenLines[++span_].begin;
  }
}

bool VcdFormat::End(const Proceed& proceed) {
  if (!WriteDefinitions(proceed)) return false;
  RoomWriter text(out_);
  VcdChangeWriter changes(wide_, settings_.vectors, ticks_);
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
  std::uint64_t chosen = 0, wire = 0;
  const auto add = [&](const char* width, const std::string& name) {
    char identifier[16];
    text += width;
    text.append(identifier, WriteIdentifier(wire++, identifier));
    text += name + " $end\n";
  };
  for (const DataPlan::LineSpan& span : plan_.chosenLines) {
    for (std::uint64_t line = span.begin; line < span.end && out_.Writing(); ++line, ++chosen) {
      const bool wide = wide_[chosen];
      const std::string name = " line" + std::to_string(line + 1);
      if (wide && !settings_.vectors) {
        for (char bit = '0'; bit < '8'; ++bit) add("$var wire 1 ", name + '.' + bit);
      } else {
        add(wide ? "$var wire 8 " : "$var wire 1 ", name);
      }
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
    const bool bits = !settings_.vectors;  // a wide line's 7 more wires, each with ".k"
    std::uint64_t size = CheckedProduct(lines, 12 + 5 + 6, overflow);
    size = CheckedSum(size, ChosenLineDigits(plan_, overflow), overflow);
    size = CheckedSum(size, IdentifierLengths(lines + (bits ? 7 * wideLines_ : 0), overflow),
                      overflow);
    if (bits) size += wideLines_ * (7 * (12 + 5 + 6) + 8 * 2) + 7 * wideDigits_;
    out_.Count(size + head_.size() + kDefinitionsEnd.size() - (out_.Size() - start));
  }
  return true;
}

extern const FormatModule kVcdFormat{
    "vcd",
    ".vcd",
    "for waveform viewers",
    "VCD for waveform viewers",
    "output",
    true,
    true,
    {.rate = true, .vectors = true},
    [](const DataPlan& plan, OutputStream& out,
       const FormatSettings& settings) -> std::unique_ptr<OutputFormat> {
      return std::make_unique<VcdFormat>(plan, out, settings);
    }};

}  // namespace sorrelin
