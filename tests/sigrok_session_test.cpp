// Sigrok sessions written by SigrokSessionFormat and read back by sigrok-cli: every
// unit's bits, the channels' names and rate, and the limit of 64 channels; and
// PulseView opening a session and a dump whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "formats/data_router.h"
#include "formats/sigrok_session_format.h"
#include "output/safe_output_file.h"
#include "test_support.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared file helpers
namespace fs = std::filesystem;

struct SessionCase {
  std::uint64_t lines, samples;
  std::uint64_t wide;  // bit k: line k + 1 has values 0 to 255; the others, 0 or 1
  Selection selection;
  std::optional<double> rate;
  const char* showStart;  // what sigrok-cli --show tells first, and last
  const char* showEnd;
  bool Wide(std::uint64_t line) const { return line <= 64 && (wide >> (line - 1) & 1); }
};

// Writes the session of pseudo-random values to `path`; the values, line after line.
std::vector<std::uint8_t> WriteSession(const SessionCase& c, const fs::path& path) {
  std::vector<std::uint8_t> values;
  for (std::uint64_t line = 1; line <= c.lines; ++line) {
    const auto seed = static_cast<std::uint32_t>(line);
    const auto bytes = RandomBytes(c.samples, seed, c.Wide(line) ? 255 : 1);
    values.insert(values.end(), bytes.begin(), bytes.end());
  }
  DataPlan plan = PlanData(std::to_string(c.lines), std::to_string(c.samples));
  Choose(plan, c.selection);
  SafeOutputFile file(path, {}, CreateTemporaryFile);
  OutputStream out(&file);
  const FormatSettings settings{c.rate, "d.XMLdig", path.parent_path(), CreateTemporaryFile};
  SigrokSessionFormat format(plan, out, settings);
  DataRouter router(plan, format);
  format.Begin([](double) { return true; });
  router.Take(values);
  format.End([](double) { return true; });
  if (const auto fault = out.Finish()) std::rethrow_exception(fault);
  file.Commit([] { return true; });
  return values;
}

// What the command wrote to standard output and error, after its exit status unless 0.
std::string Output(const std::string& command, const fs::path& output) {
  const int status = std::system((command + " > \"" + output.string() + "\" 2>&1").c_str());
  return (status == 0 ? "" : "exit " + std::to_string(status) + ": ") + ReadFile(output);
}

TEST(SigrokSession, SigrokCliReadsEveryChannelOfEverySample) {
  TempFolder folder;
  if (Output("sigrok-cli --version", folder / "version.txt").starts_with("exit")) {
#ifdef _WIN32
    GTEST_SKIP() << "sigrok-cli, which reads the sessions back, is not installed";
#else
    FAIL() << "sigrok-cli, which reads the sessions back, is not installed";
#endif
  }
  const SessionCase cases[] = {
      {3, 1000, 0b100, {}, 1e6,
       "Samplerate: 1000000\nChannels: 10\n- line1: logic\n- line2: logic\n- line3.0: logic\n",
       "- line3.7: logic\nLogic unitsize: 2\nLogic sample count: 1000\n"},
      {12, 3000, 0, {{{2, 4}, {9, 9}}, 100, 2900u}, 250000.4,
       "Samplerate: 250000\nChannels: 4\n- line2: logic\n- line3: logic\n- line4: logic\n"
       "- line9: logic\nLogic unitsize: 1\nLogic sample count: 2801\n", ""},
      {40, 1100000, 0, {}, {}, "Channels: 40\n- line1: logic\n",  // in 3 chunks
       "- line40: logic\nLogic unitsize: 8\nLogic sample count: 1100000\n"},
      {9, 20, 0xFF, {{{1, 8}}, 1, {}}, {}, "Channels: 64\n- line1.0: logic\n- line1.1: logic\n",
       "- line8.7: logic\nLogic unitsize: 8\nLogic sample count: 20\n"},
      {16, 1003, 0, {{}, 5, {}}, {}, "Channels: 16\n- line1: logic\n",  // 16 samples at once
       "- line16: logic\nLogic unitsize: 2\nLogic sample count: 999\n"},
      {2, 0, 0, {}, {}, "Channels: 2\n- line1: logic\n- line2: logic\n", ""}};
  for (const SessionCase& c : cases) {
    const std::vector<std::uint8_t> values = WriteSession(c, folder / "s.sr");
    // Each chosen sample's unit: its chosen lines' bits from bit 0, 1 or 8 a line.
    std::string units;
    const auto ranges = c.selection.lines.empty() ? std::vector<Selection::Range>{{1, c.lines}}
                                                  : c.selection.lines;
    for (std::uint64_t sample = c.selection.firstSample;
         sample <= c.selection.lastSample.value_or(c.samples); ++sample) {
      std::uint64_t unit = 0;
      int bit = 0;
      for (const auto& range : ranges) {
        for (std::uint64_t line = range.first; line <= range.last; bit += c.Wide(line++) ? 8 : 1) {
          unit |= std::uint64_t{values[(line - 1) * c.samples + sample - 1]} << bit;
        }
      }
      const int unitSize = bit <= 8 ? 1 : bit <= 16 ? 2 : bit <= 32 ? 4 : 8;
      for (int b = 0; b < unitSize; ++b) units += static_cast<char>(unit >> 8 * b);
    }
    const std::string input = "sigrok-cli -i \"" + (folder / "s.sr").string() + "\"";
    EXPECT_TRUE(Output(input + " -O binary", folder / "units.bin") == units) << c.showStart;
    const std::string show = Output(input + " --show", folder / "show.txt");
    EXPECT_TRUE(show.starts_with(c.showStart) && show.ends_with(c.showEnd)) << show;
  }
  // The last session's entries are dated, and deflated only where that saves.
  const std::string entries = Output(
      "python3 -c \"import sys, zipfile; print(*[(i.filename, i.compress_type, i.date_time[0] > "
      "2000) for i in zipfile.ZipFile(sys.argv[1]).infolist()])\" " + Text(folder / "s.sr"),
      folder / "entries.txt");
  EXPECT_EQ(entries, "('version', 0, True) ('metadata', 8, True) ('logic-1-1', 0, True)\n");
  // Too many chosen lines, or lines of other values that make too many channels.
  const std::pair<SessionCase, int> refused[] = {{{65, 2, 0, {}, {}, "", ""}, 65},
                                                 {{9, 2, 0x1FF, {}, {}, "", ""}, 72}};
  for (const auto& [c, channels] : refused) {
    EXPECT_EQ(ErrorOf([&] { WriteSession(c, folder / "many.sr"); }),
              "error 1012: a sigrok session holds at most 64 channels: these lines make " +
                  std::to_string(channels) + "; choose lines with -l");
  }
}

#ifndef _WIN32
// Opens `file` in PulseView under Xvfb, with `$2` a fresh HOME (it remembers the last
// input format) and its log: "Acquisition took" once loaded. Prints the samples of
// its logic packets; fails on a fault of the input module. A start that never loads
// (hangs or ends first) is tried again, up to three times: on a loaded machine the X
// server or the program now and then hangs before it reads any input, and a file that
// hangs it hangs it each time.
constexpr const char* kPulseView = R"sh(for _ in 1 2 3; do
  HOME="$2" setsid xvfb-run -a pulseview -l 5 -i "$1" >"$2/log" 2>&1 &
  for _ in $(seq 600); do
    grep -qs "Acquisition took" "$2/log" && break
    kill -0 $! 2>/dev/null || break
    sleep 0.1
  done
  kill -- -$! 2>/dev/null; wait
  grep -q "Acquisition took" "$2/log" && break
done
grep -q "Acquisition took" "$2/log" || exit 1
! grep -E "input/[a-z]+: .*(Unexpected|rror|nvalid)" "$2/log" || exit 1
grep -o "SR_DF_LOGIC packet ([0-9]* bytes, unitsize = [0-9]*" "$2/log" | tr -d "(," |
  awk '{n += $3 / $NF} END {print n + 0}'
)sh";

TEST(SigrokSession, PulseViewOpensTheSessionAndTheDumpWhole) {
  TempFolder folder;
  WriteFile(folder / "open.sh", kPulseView);
  std::vector<std::uint8_t> values = RandomBytes(3 * 5000, 5, 1);
  values[5000 + 77] = 200;  // line 2: 8 channels, or 8 wires
  WriteFile(folder / "doc.XMLdig", DocumentXml("3", "5000", EncodeBase64(values)));
  for (const char* format : {"sr", "vcd"}) {
    FakeProgress progress;
    ASSERT_EQ(RunConversion(RequestFor(folder / "doc.XMLdig", FormatNamed(format), {}, 1e6),
                            progress, {})
                  .kind,
              ConversionResult::Kind::kConverted);
    const fs::path home = folder / format;
    fs::create_directory(home);
    const std::string samples =
        Output("sh \"" + Text(folder / "open.sh") + "\" \"" +
                   Text(folder / ("doc." + std::string(format))) + "\" \"" + Text(home) + "\"",
               folder / "samples.txt");
    const std::string log = ReadFile(home / "log");  // its end says where it stopped
    EXPECT_EQ(samples, "5000\n")
        << format << ": " << log.substr(log.size() - std::min<std::size_t>(log.size(), 3000));
  }
}
#endif

}  // namespace
}  // namespace sorrelin
