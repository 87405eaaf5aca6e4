// The csv, vcd and npy outputs read back by the tools made for them (Python's csv
// module, NumPy, sigrok-cli, GTKWave's vcd2fst and fst2vcd); exactly, a small npy, a
// dump's header and its date, and the failures of the values kept on disk (the spill
// fuzzer compares small csv and vcd outputs byte for byte).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <system_error>

#ifdef __linux__
#include <sys/stat.h>
#endif

#include "formats/vcd_timescale.h"
#include "platform/files.h"
#include "test_support.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers
namespace fs = std::filesystem;

// Runs a command through the shell, its output to `output`; whether it exited with 0.
bool Shell(const std::string& command, const fs::path& output) {
  return std::system((command + " > \"" + output.string() + "\" 2>&1").c_str()) == 0;
}

// Prints a NumPy file's type, shape and rows; or a csv file column after column, having
// checked its times, its rows of changes filled in; of sigrok's rows, which are ticks from a dump's first time, the
// one amid each of `count` samples from `first` (from 0) at `rate`.
constexpr const char* kReader = R"(import sys
if sys.argv[1] == 'npy':
    import numpy
    a = numpy.load(sys.argv[2], mmap_mode='r')
    print(a.dtype, str(a.shape) + ''.join('\n' + ''.join(' %d' % v for v in row) for row in a))
else:
    import csv
    rows = list(csv.reader(open(sys.argv[2], newline=''), strict=True))
    if sys.argv[1] == 'sigrok':
        ticks, rate, first, count = float(rows[0][0].split()[-1]), *map(float, sys.argv[3:6])
        start = 2 - round(first * ticks / rate)
        rows = rows[1:2] + [rows[start + int((k + .5) * ticks / rate)]
                            for k in range(int(first), int(first + count))]
    rate = float(sys.argv[3]) if sys.argv[1] != 'sigrok' and len(sys.argv) > 3 else 0
    for i, row in enumerate(rows if rate else []):
        t = row.pop(1)
        assert t == 'time_s' if i == 0 else abs(float(t) - (int(row[0]) - 1) / rate) < 1e-12
    if sys.argv[1] == 'changes':  # each row differs from the one before, the last aside
        filled = rows[:2]
        for row in rows[2:]:
            assert row[1:] != filled[-1][1:] or row is rows[-1]
            filled += [[str(n)] + filled[-1][1:] for n in range(int(filled[-1][0]) + 1, int(row[0]))]
            filled.append(row)
        rows = filled
    for column in zip(*rows): print(' '.join(column))
)";

// A dump's wires at each sample from its first time to its last: "from" and that
// sample, then a line per wire, its name and values. With a rate, its times are read
// in seconds; one more than 1 % of a period from a sample's adds "off" and the time.
std::string DumpedValues(const std::string& dump, std::optional<double> rate) {
  std::istringstream in(dump);
  std::vector<std::pair<std::string, std::string>> wires;  // identifier, name
  std::map<std::string, std::string> values;               // by identifier: " 0 1 1"
  std::map<std::string, int> now;
  std::string timescale, text;
  std::optional<std::uint64_t> sample;
  for (std::string token, type, width, id, name; in >> token;) {
    if (token == "$var" && in >> type >> width >> id >> name) wires.emplace_back(id, name);
    if (token == "$timescale") {
      while (in >> token && token != "$end") timescale += token;
    } else if (token[0] == '#') {
      std::size_t digits = 0;
      const long double seconds =
          std::stold(timescale, &digits) * std::stold(token.substr(1)) *
          std::pow(10.0L, 3 * int(std::string("fpnums").find(timescale[digits])) - 15);
      const long double at = rate ? seconds * *rate : std::stold(token.substr(1));
      const auto nearest = static_cast<std::uint64_t>(std::llround(at));
      if (std::fabs(at - nearest) > 0.01) text += "off " + token + "\n";
      if (!sample) text += "from " + std::to_string(*(sample = nearest)) + "\n";
      for (; *sample < nearest; ++*sample) {
        for (const auto& wire : wires)
          (values[wire.first] += ' ') += std::to_string(now[wire.first]);
      }
    } else if (token[0] == 'b' && in >> id) {
      now[id] = std::stoi(token.substr(1), nullptr, 2);
    } else if (token.size() > 1 && (token[0] == '0' || token[0] == '1')) {
      now[token.substr(1)] = token[0] - '0';
    }
  }
  for (const auto& [id, name] : wires) text += name + values[id] + '\n';
  return text;
}

struct ReadBackCase {
  const FormatModule* format;
  std::uint64_t lines, samples;
  int largest;  // values from 0 to this; 0: a few alternating
  Selection selection = {};
  std::optional<double> rate = {};
  Way way = Way::kUsual;
  bool vectors = false;        // a vcd's line of bytes as one wire of 8 bits
  std::uint64_t wideLine = 0;  // a line of any values, the others' from 0 to `largest`
  bool changes = false;        // a csv's rows only where a value changes
};

TEST(OutputFormats, ReadBackByTheirToolsAsTheChosenValues) {
  const ReadBackCase cases[] = {
      {FormatNamed("npy"), 5, 300, 255},
      {FormatNamed("npy"), 5, 300, 255, {{{2, 3}, {5, 5}}, 10, 200}, {}, Way::kPlainly},
      {FormatNamed("npy"), 3, 0, 1},
      {FormatNamed("npy"), 3, 200'000, 255, {{{2, 3}}, 1000, 150'000}},  // decoded in place
      {FormatNamed("csv"), 20, 50, 255, {}, 1000},
      {FormatNamed("csv"), 6, 100, 1, {{{1, 2}, {6, 6}}, 5, 60}, {}, Way::kPlainly},
      {FormatNamed("csv"), 3, 200, 255, {}, 3e6, Way::kInPieces},
      {FormatNamed("csv"), 2, 0, 1, {}, 1000},
      // With changes: rows of 3 lines, 1 in 8 the same as the one before; rows of 2048+
      // lines, gathered in pieces, that all change or none does
      {FormatNamed("csv"), 3, 300, 1, {{}, 5, 290}, 1000, Way::kInPieces, false, 0, true},
      {FormatNamed("csv"), 2100, 30, 1, {{{2, 2100}}, 2, 30}, {}, Way::kUsual, false, 0, true},
      {FormatNamed("csv"), 2100, 30, 0, {}, {}, Way::kUsual, false, 0, true},
      {FormatNamed("csv"), 2, 9'000'000, 0, {}, {}, Way::kUsual, false, 0, true},  // many blocks
      {FormatNamed("vcd"), 16, 3000, 1, {}, 1e6},
      {FormatNamed("vcd"), 100, 50, 1, {{{3, 99}}, 2, 49}, 1000, Way::kPlainly},
      {FormatNamed("vcd"), 5, 400, 255, {{{2, 4}}, 50, 350}},
      {FormatNamed("vcd"), 4, 300, 3, {}, 0.01, Way::kInPieces},
      // Rows of 2048+ lines, 64+ KiB of $var, groups over 2048 - 94 lines into a row, the
      // first row's line of bytes as 8 wires
      {FormatNamed("vcd"), 4200, 20, 1, {{{2, 4200}}, 1, 19}, {}, Way::kUsual, false, 3},
      {FormatNamed("vcd"), 9, 20'000, 1, {}, {}, Way::kUsual, false, 5},
      {FormatNamed("vcd"), 4, 300, 1, {}, 1e6, Way::kInPieces, true, 2},
      {FormatNamed("vcd"), 3, 3000, 1, {{}, 1000, 2999}, 7e6, Way::kUsual, false, 2},  // ticks of 1 ns
      {FormatNamed("vcd"), 2, 9'000'000, 0},  // read back in more than one block
  };
  TempFolder folder;
  WriteFile(folder / "reader.py", kReader);
  const fs::path seen = folder / "seen", fst = folder / "doc.fst";
  const std::string reader = " \"" + Text(folder / "reader.py") + "\" ";
  std::string python;  // one with NumPy
  for (const std::string candidate : {"python3", "/usr/bin/python3"}) {
    if (python.empty() && Shell(candidate + " -c \"import numpy\"", seen)) python = candidate;
  }
  const bool sigrok = Shell("sigrok-cli --version", seen), gtkwave = Shell("vcd2fst --help", seen);
  const std::string missing = std::string(python.empty() ? " python3 with numpy" : "") +
                              (sigrok ? "" : " sigrok-cli") + (gtkwave ? "" : " gtkwave");
#ifndef _WIN32  // scripts/setup installs them; under wine they cannot run
  ASSERT_EQ(missing, "") << "the tools that read the outputs back are missing";
#endif
  for (const ReadBackCase& c : cases) {
    SCOPED_TRACE(std::string(c.format->extension) + " of " + std::to_string(c.samples));
    std::vector<std::uint8_t> values(c.lines * c.samples);
    std::uint32_t state = 7;
    for (std::size_t i = 0; i < values.size(); ++i) {
      state = state * 1103515245 + 12345;
      const std::uint64_t sample = c.samples == 0 ? 0 : i % c.samples;  // the lines alternate
      const int largest = i / c.samples + 1 == c.wideLine ? 255 : c.largest;
      values[i] = largest != 0 ? (state >> 16) % (largest + 1)  // where blocks meet
                               : (sample / 100'000 == 83 && (sample + i / c.samples) % 2 == 0) +
                                     2 * (i == 8 << 20);  // a MiB's first, amid 0s and 1s
    }
    TempFolder place;
    const fs::path document = place / "doc.XMLdig";
    const fs::path made = place / ("doc" + std::string(c.format->extension));
    WriteFile(document, DocumentXml(std::to_string(c.lines), std::to_string(c.samples),
                                    EncodeBase64(values)));
    FakeProgress progress;
    ConversionRequest request = RequestFor(document, c.format, c.selection, c.rate);
    request.vectors = c.vectors;
    request.changes = c.changes;
    ASSERT_EQ(RunConversion(request, progress, EnvironmentFor(c.way, 97)).kind,
              ConversionResult::Kind::kConverted);
    EXPECT_EQ(place.Entries(), (std::vector<std::string>{"doc.XMLdig", made.filename().string()}));
    request.output.kind = OutputPlace::Kind::kNowhere;  // counted without writing: as long
    EXPECT_EQ(RunConversion(request, progress).figures.outputBytes, fs::file_size(made));
#ifdef __linux__
    struct stat status {};
    ASSERT_EQ(::stat(made.c_str(), &status), 0);
    EXPECT_LT(status.st_blocks * 512, status.st_size + (1 << 20));  // no room kept past the end
#endif
    if (c.format == FormatNamed("vcd") && c.lines == 100) {  // the 95th chosen line has two characters
      EXPECT_NE(ReadFile(made).find("$var wire 1 !! line97 $end"), std::string::npos);
    }
    // The chosen values as the tools show them, line after line; a vcd's line of bytes as
    // its bits, each a wire, unless it has vectors.
    std::vector<std::uint64_t> lines;
    for (const auto& range : c.selection.lines.empty() ? std::vector<Selection::Range>{{1, c.lines}}
                                                       : c.selection.lines) {
      for (std::uint64_t line = range.first; line <= range.last; ++line) lines.push_back(line);
    }
    const std::uint64_t first = c.selection.firstSample,
                        last = c.selection.lastSample.value_or(c.samples);
    std::string byLine, samples = "sample";
    for (std::uint64_t s = first; s <= last; ++s) (samples += ' ') += std::to_string(s);
    for (const std::uint64_t line : lines) {
      const auto begin = values.begin() + (line - 1) * c.samples;
      const bool bits = c.format == FormatNamed("vcd") && !c.vectors &&
                        *std::max_element(begin + first - 1, begin + last) > 1;
      for (int bit = 0; bit < (bits ? 8 : 1); ++bit) {
        if (c.format != FormatNamed("npy")) (byLine += "line") += std::to_string(line);
        if (bits) (byLine += '.') += std::to_string(bit);
        for (std::uint64_t s = first; s <= last; ++s) {
          (byLine += ' ') += std::to_string(bits ? begin[s - 1] >> bit & 1 : begin[s - 1]);
        }
        byLine += '\n';
      }
    }
    const std::string from = "from " + std::to_string(first - 1) + '\n';  // a dump's times
    const std::string file = '"' + made.string() + '"';
    if (c.format == FormatNamed("vcd")) {
      EXPECT_EQ(DumpedValues(ReadFile(made), c.rate), from + byLine);
    }
    if (c.format == FormatNamed("npy") && !python.empty()) {
      ASSERT_TRUE(Shell(python + reader + "npy " + file, seen));
      EXPECT_EQ(ReadFile(seen), "uint8 (" + std::to_string(lines.size()) + ", " +
                                    std::to_string(last + 1 - first) + ")\n" + byLine);
    } else if (c.format == FormatNamed("csv") && !python.empty()) {
      const std::string rate = c.rate ? std::to_string(*c.rate) : std::string();
      ASSERT_TRUE(Shell(python + reader + (c.changes ? "changes " : "csv ") + file + " " + rate, seen));
      EXPECT_EQ(ReadFile(seen), samples + "\n" + byLine);
    } else if (c.format == FormatNamed("vcd") && gtkwave) {
      ASSERT_TRUE(Shell("vcd2fst " + file + " \"" + fst.string() + "\"", seen));
      ASSERT_TRUE(Shell("fst2vcd \"" + fst.string() + "\"", seen));
      EXPECT_EQ(DumpedValues(ReadFile(seen), c.rate), from + byLine);
    }
    // sigrok reads wires of 1 bit, at whole hertz, here up to a million samples in time
    if (c.format == FormatNamed("vcd") && sigrok && !python.empty() && !c.vectors &&
        c.rate.value_or(1) >= 1 && c.samples < 1'000'000) {
      const fs::path rows = folder / "rows.csv";
      ASSERT_TRUE(Shell("sigrok-cli -I vcd -O csv:header=false:label=channel -i " + file, rows));
      ASSERT_TRUE(Shell(python + reader + "sigrok \"" + Text(rows) + "\" " +
                            std::to_string(c.rate.value_or(1)) + " " + std::to_string(first - 1) +
                            " " + std::to_string(last + 1 - first),
                        seen));
      EXPECT_EQ(ReadFile(seen), byLine);
    }
  }
  if (!missing.empty()) GTEST_SKIP() << "under Windows, not read back by" << missing;
}

struct ExactCase {
  const FormatModule* format;
  int samples;          // of 4 lines, or of 2 when 0
  std::string outcome;  // a dump's without its $date line
  Selection selection = {};
  std::optional<double> rate = {};
  enum class Spill { kUsual, kOnFullDisk, kNotMade } spill = Spill::kUsual;
};

TEST(OutputFormats, WriteSmallOutputsExactly) {
  TempFolder folder;
  const std::vector<std::uint8_t> values = {1, 0,   1,   1, 0, 0, 1, 0,   1, 1,  //
                                            0, 0,   0,   0, 0, 0, 0, 0,   0, 1,  //
                                            5, 200, 200, 0, 3, 3, 3, 255, 1, 0,  //
                                            1, 1,   1,   1, 1, 1, 1, 1,   1, 1};
  const std::string emptyVcd =
      "table $version Sorrelin " SORRELIN_VERSION
      " $end\n$comment Converted from \"a \\x24end.XMLdig\": 2 of 2 lines, 0 of 0 samples from "
      "sample 1, sample rate unknown: a tick is a sample $end\n$timescale 1 s $end\n$scope module "
      "sorrelin $end\n$var wire 1 ! line1 $end\n$var wire 1 \" line2 $end\n$upscope $end\n"
      "$enddefinitions $end\n#0\n";
  const std::string full = "error 1009: not enough free space in \"" + Text(folder.path()) +
                           "\" for the 4 x 10 values kept while converting";
  const std::string notMade = "error 1010: cannot make a temporary file in \"" +
                              Text(folder.path()) +
                              "\": " + std::generic_category().message(EMFILE);
  const std::string npy = std::string("table \x93NUMPY\x01\x00\x76\x00", 16) +
                          "{'descr': '|u1', 'fortran_order': False, 'shape': (2, 3), }" +
                          std::string(58, ' ') + "\n" + std::string("\0\0\0\3\3\3", 6);
  // Line 3's bits and line 4 from sample 7, at their times at 7 MHz: 857.14 ns, ...
  const std::string lateVcd =
      "table $version Sorrelin " SORRELIN_VERSION
      " $end\n$comment Converted from \"a \\x24end.XMLdig\": 2 of 4 lines, 4 of 10 samples from "
      "sample 7, 7000000 samples per second $end\n$timescale 1 ns $end\n$scope module sorrelin "
      "$end\n$var wire 1 ! line3.0 $end\n$var wire 1 \" line3.1 $end\n$var wire 1 # line3.2 "
      "$end\n$var wire 1 $ line3.3 $end\n$var wire 1 % line3.4 $end\n$var wire 1 & line3.5 "
      "$end\n$var wire 1 ' line3.6 $end\n$var wire 1 ( line3.7 $end\n$var wire 1 ) line4 $end\n"
      "$upscope $end\n$enddefinitions $end\n#857\n$dumpvars\n1!\n1\"\n0#\n0$\n0%\n0&\n0'\n0(\n1)\n"
      "$end\n#1000\n1#\n1$\n1%\n1&\n1'\n1(\n#1143\n0\"\n0#\n0$\n0%\n0&\n0'\n0(\n#1286\n0!\n#1429\n";
  const ExactCase cases[] = {
      {FormatNamed("vcd"), 0, emptyVcd},
      {FormatNamed("vcd"), 10, lateVcd, {{{3, 4}}, 7, 10}, 7e6},
      {FormatNamed("npy"), 10, npy, {{{2, 3}}, 5, 7}},
      {FormatNamed("csv"), 10, full, {}, {}, ExactCase::Spill::kOnFullDisk},
      {FormatNamed("vcd"), 10, notMade, {}, {}, ExactCase::Spill::kNotMade},
  };
  const fs::path document = folder / "a $end.XMLdig";  // a '$' in the dump's comment
  for (const ExactCase& c : cases) {
    SCOPED_TRACE(std::string(c.format->extension) + " of " + std::to_string(c.samples));
    if (c.spill == ExactCase::Spill::kOnFullDisk && !fs::exists("/dev/full")) continue;
    const std::vector<std::uint8_t> none;
    WriteFile(document, DocumentXml(c.samples ? "4" : "2", std::to_string(c.samples),
                                    EncodeBase64(c.samples ? values : none)));
    ConversionEnvironment environment;
    int made = 0;  // the second temporary file keeps the values
    if (c.spill != ExactCase::Spill::kUsual) {
      environment.temporaryFiles = [&made, &c](const fs::path& place) {
        if (++made != 2) return CreateTemporaryFile(place);
        errno = EMFILE;
        return c.spill == ExactCase::Spill::kNotMade
                   ? TemporaryFile{}
                   : TemporaryFile{OpenFile("/dev/full", "w+b"), {}};
      };
    }
    FakeProgress progress;
    std::string outcome = ConversionOutcome(RequestFor(document, c.format, c.selection, c.rate),
                                            progress, environment);
    if (outcome.starts_with("table $date")) {
      const std::size_t end = outcome.find('\n');
      EXPECT_TRUE(std::regex_match(outcome.substr(6, end - 6),
                                   std::regex(R"(\$date \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ \$end)")));
      outcome.erase(6, end - 5);
    }
    EXPECT_EQ(outcome, c.outcome);
  }
  // Rates the front ends refuse make ticks of a sample, as no rate does.
  for (const double rate : {-1e6, 0.0, HUGE_VAL, double{NAN}})
    EXPECT_EQ(ChooseTimescale(rate, 0, 10).timing, "sample rate unknown: a tick is a sample");
}

}  // namespace
}  // namespace sorrelin
