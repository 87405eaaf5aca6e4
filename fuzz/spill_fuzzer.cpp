// Converts small documents made from the fuzz input to CSV and VCD, with lines and
// samples chosen, an optional sample rate, VCD vectors or CSV changes or not, and
// compares every byte with a plain writer that formats one value at a time (the VCD's
// $date line left out), and the VCD's size counted without writing it with its size.
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
  bool vectors = false;  // a line of other values than 0 and 1 as one wire of 8 bits
  bool changes = false;  // CSV rows only at the first and last samples and at changes
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
    const auto same = [&](std::uint64_t line) { return c.At(line, s) == c.At(line, s - 1); };
    if (c.changes && s != c.first && s != c.last && std::all_of(c.chosen.begin(), c.chosen.end(), same)) {
      continue;
    }
    text += std::to_string(s) + (c.rate ? Number(",%.12g", double(s - 1) / *c.rate) : "");
    for (const std::uint64_t line : c.chosen) text += ',' + std::to_string(c.At(line, s));
    text += "\r\n";
  }
  return text;
}

// The identifier of wire n: '!' to '~' for the first 94, then two of them, and so on.
std::string Identifier(std::uint64_t n) {
  std::string text(1, char('!' + n % 94));
  for (; n >= 94; text += char('!' + n % 94)) n = n / 94 - 1;
  return text;
}

std::string Vcd(const Case& c) {
  // A tick is the coarsest of 100 s, 10 s, 1 s, 100 ms, ..., 1 fs of which a period holds
  // a whole number (to 1/10,000 of a period by the end) or at least 100.
  static const char* const kUnits[] = {"fs", "ps", "ns", "us", "ms", "s"};
  std::string scale = "1 s", timing = "sample rate unknown: a tick is a sample";
  long double perSample = 1;  // ticks
  bool whole = true;
  if (c.rate) {
    const auto ticks = [&](int power) {  // of 10^power s in a period
      const long double tens = std::stold("1e" + std::to_string(std::abs(power)));
      return power < 0 ? tens / *c.rate : 1 / (*c.rate * tens);
    };
    const auto isWhole = [&](long double t) {
      return std::round(t) >= 1 && std::fabs(t - std::round(t)) * c.last <= t * 1e-4L;
    };
    int power = 2;
    while (power > -15 && ticks(power) < 100 && !isWhole(ticks(power))) --power;
    perSample = ticks(power);
    whole = isWhole(perSample);
    if (whole) perSample = std::round(perSample);
    static const char* const kCounts[] = {"1 ", "10 ", "100 "};
    scale = std::string(kCounts[(power + 15) % 3]) + kUnits[(power + 15) / 3];
    timing = Number("%.12g samples per second", *c.rate) +
             (!whole && perSample < 100 ? "; times rounded to " + scale : "");
  }
  const auto time = [&](std::uint64_t sample) {  // from 1 in the document, in ticks
    const long double at = static_cast<long double>(sample - 1) * perSample;
    return '#' + std::to_string(static_cast<std::uint64_t>(whole ? at : std::round(at))) + '\n';
  };
  std::string text = "$version Sorrelin " SORRELIN_VERSION
                     " $end\n$comment Converted from "
                     "\"doc.XMLdig\": " +
                     std::to_string(c.chosen.size()) + " of " + std::to_string(c.lines) +
                     " lines, " + std::to_string(c.last + 1 - c.first) + " of " +
                     std::to_string(c.samples) + " samples from sample " + std::to_string(c.first) +
                     ", " + timing + " $end\n$timescale " + scale +
                     " $end\n$scope module sorrelin $end\n";
  // Each line's first wire; a line of other values than 0 and 1 as its 8 bits, or one
  // wire of 8 bits with vectors.
  std::vector<bool> wide;
  std::vector<std::uint64_t> wires;
  for (std::size_t i = 0, wire = 0; i < c.chosen.size(); ++i) {
    wide.push_back(false);
    for (std::uint64_t s = c.first; s <= c.last; ++s) wide[i] = wide[i] || c.At(c.chosen[i], s) > 1;
    wires.push_back(wire);
    const std::string name = " line" + std::to_string(c.chosen[i]);
    for (int bit = 0; bit < (wide[i] && !c.vectors ? 8 : 1); ++bit) {
      text += std::string("$var wire ") + (wide[i] && c.vectors ? "8 " : "1 ") +
              Identifier(wire++) + name + (wide[i] && !c.vectors ? "." + std::to_string(bit) : "") +
              " $end\n";
    }
  }
  text += "$upscope $end\n$enddefinitions $end\n";
  for (std::uint64_t s = c.first; s <= c.last && !c.chosen.empty(); ++s) {
    std::string changes;
    for (std::size_t i = 0; i < c.chosen.size(); ++i) {
      const std::uint8_t value = c.At(c.chosen[i], s);
      const int before = s == c.first ? -1 : c.At(c.chosen[i], s - 1);
      if (before == value) continue;
      std::string bits = std::bitset<8>(value).to_string();
      bits = 'b' + bits.substr(std::min<std::size_t>(bits.find('1'), 7)) + ' ';
      if (!wide[i]) changes += char('0' + value) + Identifier(wires[i]) + '\n';
      if (wide[i] && c.vectors) changes += bits + Identifier(wires[i]) + '\n';
      for (int bit = 0; bit < 8 && wide[i] && !c.vectors; ++bit) {
        if (before < 0 || (before >> bit & 1) != (value >> bit & 1))
          changes += char('0' + (value >> bit & 1)) + Identifier(wires[i] + bit) + '\n';
      }
    }
    if (s == c.first) text += time(s) + "$dumpvars\n" + changes + "$end\n";
    if (s != c.first && !changes.empty()) text += time(s) + changes;
  }
  return text + time(c.last + 1);
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
  }
  for (std::uint64_t line = 1; line <= c.lines; ++line) {
    bool chosen = c.selection.lines.empty();
    for (const auto& range : c.selection.lines) chosen |= range.first <= line && line <= range.last;
    if (chosen) c.chosen.push_back(line);
  }
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
  c.vectors = c.changes = flags & 128;
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
  for (const FormatModule* format : {FormatNamed("csv"), FormatNamed("vcd")}) {
    FakeProgress progress;
    ConversionRequest request = RequestFor(folder / "doc.XMLdig", format, c.selection, c.rate);
    request.vectors = c.vectors;
    request.changes = c.changes;
    const std::string made = ConversionOutcome(request, progress);
    if (format == FormatNamed("csv")) {
      Expect(made, "table " + Csv(c));
      continue;
    }
    const std::size_t date = made.find('\n') + 1;  // "table $date 2026-12-07T10:37:39Z $end"
    Expect(date > 12 ? made.substr(0, 12) + made.substr(date - 7) : made,
           "table $date Z $end\n" + Vcd(c));
    // Counted without being written, its $var lines counted at once, it is as long.
    request.output.kind = OutputPlace::Kind::kNowhere;
    Expect(std::to_string(RunConversion(request, progress).figures.outputBytes),
           std::to_string(made.size() - 6));
  }
  return 0;
}
