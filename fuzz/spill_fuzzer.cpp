// Converts small documents made from the fuzz input to CSV and VCD, with lines and
// samples chosen and an optional sample rate, and compares every byte with a plain
// writer that formats one value at a time (the VCD's $date line left out).
#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "test_support.h"

namespace {

using namespace sorrelin;
using namespace sorrelin::testing;

struct Case {
  std::uint64_t lines = 0, samples = 0, first = 1, last = 0;  // lines and samples from 1
  std::vector<std::uint8_t> values;                           // line after line
  std::vector<std::uint64_t> chosen;
  Selection selection;
  std::optional<double> rate;
  std::uint8_t At(std::uint64_t line, std::uint64_t sample) const {
    return values[(line - 1) * samples + sample - 1];
  }
};

std::string Number(const char* format, double value) {
  char text[40];
  return std::string(text, std::snprintf(text, sizeof text, format, value));
}

std::string Csv(const Case& c) {
  std::string text = c.rate ? "sample,time_s" : "sample";
  for (const std::uint64_t line : c.chosen) text += ",line" + std::to_string(line);
  text += "\r\n";
  for (std::uint64_t s = c.first; s <= c.last && !c.chosen.empty(); ++s) {
    text += std::to_string(s) + (c.rate ? Number(",%.12g", double(s - 1) / *c.rate) : "");
    for (const std::uint64_t line : c.chosen) text += ',' + std::to_string(c.At(line, s));
    text += "\r\n";
  }
  return text;
}

std::string Vcd(const Case& c) {
  // A tick is the sample period when it is 1, 10 or 100 s, ms, ..., fs, else the next
  // shorter of them.
  static const char* const kUnits[] = {"s", "ms", "us", "ns", "ps", "fs"};
  std::string scale = "1 s", timing = "sample rate unknown: a tick is a sample";
  double perSecond = 0;  // ticks; 0: a tick is a sample
  if (c.rate) {
    int k = 0;  // 10^(k - 2) ticks a second
    while ((perSecond = std::stod("1e" + std::to_string(k - 2))) < *c.rate) ++k;
    scale = std::string(k % 3 == 0 ? "100 " : k % 3 == 1 ? "10 " : "1 ") + kUnits[k / 3];
    timing = Number("%.12g samples per second", *c.rate);
    if (perSecond == *c.rate) perSecond = 0;
  }
  const auto time = [&](std::uint64_t sample) {  // in ticks: the sample's seconds x perSecond
    const long double ticks = static_cast<long double>(sample) * perSecond / c.rate.value_or(1);
    return '#' + std::to_string(perSecond ? std::uint64_t(std::roundl(ticks)) : sample) + '\n';
  };
  const auto n = [](std::uint64_t number) { return std::to_string(number); };
  std::string text =
      "$version Sorrelin " SORRELIN_VERSION " $end\n$comment Converted from \"doc.XMLdig\": " +
      n(c.chosen.size()) + " of " + n(c.lines) + " lines, " + n(c.last + 1 - c.first) + " of " +
      n(c.samples) + " samples from sample " + n(c.first) + ", " + timing + " $end\n$timescale " +
      scale + " $end\n$scope module sorrelin $end\n";
  std::vector<bool> wide;
  for (std::size_t i = 0; i < c.chosen.size(); ++i) {
    wide.push_back(false);
    for (std::uint64_t s = c.first; s <= c.last; ++s) wide[i] = wide[i] || c.At(c.chosen[i], s) > 1;
    text += std::string("$var wire ") + (wide[i] ? "8 " : "1 ") + char('!' + i) + " line" +
            std::to_string(c.chosen[i]) + " $end\n";
  }
  text += "$upscope $end\n$enddefinitions $end\n";
  for (std::uint64_t s = c.first; s <= c.last && !c.chosen.empty(); ++s) {
    std::string changes;
    for (std::size_t i = 0; i < c.chosen.size(); ++i) {
      const std::uint8_t value = c.At(c.chosen[i], s);
      if (s != c.first && c.At(c.chosen[i], s - 1) == value) continue;
      std::string bits = std::bitset<8>(value).to_string();
      bits = 'b' + bits.substr(std::min<std::size_t>(bits.find('1'), 7)) + ' ';
      changes += (wide[i] ? bits : std::string(1, char('0' + value))) + char('!' + i) + '\n';
    }
    if (s == c.first) text += time(0) + "$dumpvars\n" + changes + "$end\n";
    if (s != c.first && !changes.empty()) text += time(s - c.first) + changes;
  }
  return text + time(c.last + 1 - c.first);
}

// A case from the fuzz input: its bytes one after another, then zeros.
Case CaseOf(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  const auto next = [&] { return at < size ? unsigned{data[at++]} : 0u; };
  Case c;
  c.lines = next() % 41;
  c.samples = c.lines == 0 ? 0 : (next() | next() << 8) % 301;  // else not read
  const unsigned flags = next();
  for (std::uint64_t line = 1; line <= c.lines && flags & 1; ++line) {  // runs of chosen lines
    if (next() & 1) continue;
    auto& ranges = c.selection.lines;
    if (ranges.empty() || ranges.back().last + 1 < line) ranges.push_back({line, line});
    ranges.back().last = line;
    c.chosen.push_back(line);
  }
  for (std::uint64_t line = 1; c.selection.lines.empty() && line <= c.lines; ++line)
    c.chosen.push_back(line);  // none chosen: all
  c.last = c.samples;
  if (flags & 2 && c.samples > 0) {
    c.first = c.selection.firstSample = 1 + (next() | next() << 8) % c.samples;
    if (flags & 4) c.selection.lastSample = c.last = c.first + next() % (c.samples + 1 - c.first);
  }
  if (flags & 8) {  // a power of ten from 0.001 to 1e15, or any rate between
    const double power = std::stod("1e" + std::to_string(int(next() % 19) - 3));
    c.rate = flags & 16 ? power : std::clamp(power * (1 + next()) / 64, 1e-3, 1e15);
  }
  // Lines of 0s and 1s, and with flag 64 some of any values.
  std::vector<unsigned> kinds(c.lines);
  for (unsigned& kind : kinds) kind = next();
  const std::size_t rest = size - at;
  c.values.resize(c.lines * c.samples + (flags & 32 ? 5 : 0));
  for (std::size_t i = 0; i < c.values.size(); ++i) {
    const std::uint8_t byte = rest == 0 ? 0 : data[at + i % rest] + i / rest;
    const std::size_t line = c.samples == 0 ? 0 : i / c.samples;
    const bool any = flags & 64 && line < kinds.size() && kinds[line] % 4 == 0;
    c.values[i] = any ? byte : byte >> (line % 8) & 1;
  }
  return c;
}

void Expect(const std::string& made, const std::string& expected) {
  if (made == expected) return;
  std::cerr << "made:\n" << made << "\nexpected:\n" << expected << '\n';
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TempFolder folder;
  const Case c = CaseOf(data, size);
  WriteFile(folder / "doc.XMLdig", DocumentXml(std::to_string(c.lines), std::to_string(c.samples),
                                               EncodeBase64(c.values)));
  for (const Format format : {Format::kCsv, Format::kVcd}) {
    FakeProgress progress;
    const std::string made =
        ConversionOutcome(RequestFor(folder / "doc.XMLdig", format, c.selection, c.rate), progress);
    if (format == Format::kCsv) {
      Expect(made, "table " + Csv(c));
      continue;
    }
    const std::size_t date = made.find('\n') + 1;  // "table $date 2026-12-07T10:37:39Z $end"
    Expect(date > 12 ? made.substr(0, 12) + made.substr(date - 7) : made,
           "table $date Z $end\n" + Vcd(c));
  }
  return 0;
}
