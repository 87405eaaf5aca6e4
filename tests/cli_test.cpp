// Runs the sorrelin-convert program as a script would: messages, statuses, options.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <tuple>

#include "cli_support.h"

namespace sorrelin {
namespace {

TEST(CommandLine, ConvertsEveryPathAndReportsEachFailureOnOneLine) {
  TempFolder folder;
  // A folder and a name outside any ANSI code page.
  const auto documents =
      folder.path() / PathFromText("d\xC3\xA9j\xC3\xA0 \xE6\x96\x87\xE4\xBB\xB6");
  fs::create_directory(documents);
  const auto a = documents / PathFromText("r\xC3\xA9sum\xC3\xA9.XMLdig");
  const std::string d = DocumentXml("1", "3", "AQAB");
  WriteFile(a, DocumentXml("2", "3", "AQABAAEB"));
  WriteFile(folder / "b.XMLdig", "<x>");
  WriteFile(folder / "c.XMLdig", DocumentXml("two", "3", "AQ=="));
  WriteFile(folder / "d.XMLdig", d);
  std::string arguments = "--quiet " + Arg(a) + " " + Arg(folder / "missing");
  for (const char* n : {"b.XMLdig", "c.XMLdig", "d.XMLdig"}) (arguments += ' ') += Arg(folder / n);
  const std::string missing = Text(folder / "missing");
  std::string failures =
      Line(folder / "missing", "Error: cannot open \"" + missing + "\": " + std::strerror(ENOENT)) +
      Line(folder / "b.XMLdig", "Error: no element found at line 1, column 4") +
      Line(folder / "c.XMLdig", "error 1007: line count is not a number: \"two\"");
#ifndef _WIN32
  // No table replaces another document of the batch; control characters in names are escaped.
  WriteFile(folder / "e.XMLdig", d);
  fs::create_symlink("d.XMLdig", folder / "e.txt");
  const std::string f = Text(folder / "f\n\x01\x9B\xE2\x80\xA9") + "g.XMLdig";
  WriteFile(PathFromText(f), "<x>");
  arguments.append(" ").append(Arg(folder / "e.XMLdig")).append(" '").append(f).append("'");
  failures +=
      Line(folder / "e.XMLdig", "error 1006: cannot write \"" + Text(folder / "e.txt") +
                                    "\": it is another document being converted") +
      Line(folder / "f\\n\\x01\\x9B\\u2029g.XMLdig", "Error: no element found at line 1, column 4");
#endif
  const Outcome outcome = RunConvert(folder, arguments);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out + outcome.err, failures);
  EXPECT_EQ(ReadFile(documents / PathFromText("r\xC3\xA9sum\xC3\xA9.txt")), "1,0,1,\r\n0,1,1,\r\n");
  EXPECT_EQ(ReadFile(folder / "d.txt") + ReadFile(folder / "d.XMLdig"), "1,0,1,\r\n" + d);
}

// The exit status: 0 when every document was converted, 1 when one was not, 2 for usage.
TEST(CommandLine, UsageErrorsVersionHelpAndSuccess) {
  TempFolder folder;
  WriteFile(folder / "-x.XMLdig", DocumentXml("1", "1", "AQ=="));
  // Not well-formed after long MIME data: read from a pipe, the fault is placed exactly too.
  const std::string late =
      DocumentXml("3", "400000", EncodeBase64(std::vector<std::uint8_t>(1'200'000)));
  WriteFile(folder / "late.XMLdig", late.substr(0, late.size() - 5));
  const std::string tryHelp = "Try 'sorrelin-convert --help' for more information.\n";
  const std::vector<std::tuple<std::string, int, std::string, std::string>> cases = {
      {"", 2, "sorrelin-convert: missing PATH\n", tryHelp},
      {"--no-such-option x", 2, "sorrelin-convert: ", tryHelp},
      {"--version", 0, "sorrelin-convert " SORRELIN_VERSION, "\n"},
      {"-v", 0, "sorrelin-convert " SORRELIN_VERSION, "\n"},
      {"--quiet=yes x", 2, "sorrelin-convert: ", tryHelp},
      {"--lines 2-1 x", 2, "sorrelin-convert: a range of lines runs backwards: \"2-1\"\n", tryHelp},
      {"--samples 0- x", 2, "sorrelin-convert: a sample must be a number from 1: \"0\"\n", tryHelp},
      {"--sample-rate 2.5MHz x", 2, "sorrelin-convert: --sample-rate is for csv and vcd only\n",
       tryHelp},
      {"-", 2, "sorrelin-convert: PATH - (standard input) needs --output\n", tryHelp},
      {"-f npy -o - x", 2, "sorrelin-convert: npy cannot go to standard output\n", tryHelp},
      {"-o a b c", 2, "sorrelin-convert: --output takes one PATH only\n", tryHelp},
      {"-o \"\" x", 2, "sorrelin-convert: --output needs a file name\n", tryHelp},
      {"-d \"\" x", 2, "sorrelin-convert: --output-dir needs a folder name\n", tryHelp},
      // Rates whose times would run together, overflow or be infinite are refused.
      {"-f csv -r 4.9e-324 x", 2, "sorrelin-convert: a sample rate is from 0.001 to 1e15", tryHelp},
      {"-f vcd -r 9.9e-4 x", 2, "sorrelin-convert: a sample rate is from 0.001 to 1e15", tryHelp},
      {"-f vcd -r 1.1e15 x", 2, "sorrelin-convert: a sample rate is from 0.001 to 1e15", tryHelp},
      {"-f vcd -r -1 x", 2, "sorrelin-convert: a sample rate is a number of", tryHelp},
      {"-f csv -r nan x", 2, "sorrelin-convert: a sample rate is a number of", tryHelp},
      {"-f vcd -r 0.001 -- " + Arg(folder / "-x.XMLdig"), 0, "", ""},
      {"-f vcd -r 1e15 -- " + Arg(folder / "-x.XMLdig"), 0, "", ""},
      {"--help", 0, "Usage: sorrelin-convert [OPTION]... [--] PATH...", "\n"},
      {"-- " + Arg(folder / "-x.XMLdig"), 0, "", ""},
      {"-o " + Arg(folder / "late.txt") + " - <" + Arg(folder / "late.XMLdig"), 1,
       "sorrelin-convert: -: Error: unclosed token at line 21055, column 31\n", ""},
      {"-s 2- -- " + Arg(folder / "-x.XMLdig"), 1,
       "sorrelin-convert: " + Text(folder / "-x.XMLdig"),
       ": error 1011: sample 2 is outside the document's 1 sample\n"}};
  for (const auto& [arguments, status, start, end] : cases) {
    const Outcome outcome = RunConvert(folder, arguments);
    const std::string& shown = status == 0 ? outcome.out : outcome.err;  // the other stays empty
    EXPECT_EQ(outcome.status, status) << arguments;
    EXPECT_TRUE(shown.starts_with(start) && shown.ends_with(end)) << shown;
    EXPECT_EQ(outcome.out.size() + outcome.err.size(), shown.size()) << arguments;
  }
}

// Where outputs go and what is told: standard input and output, another folder, the
// lines and samples chosen, documents skipped, sizes without writing.
TEST(CommandLine, OptionsChooseWhatIsMadeAndWhereItGoes) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "out");
  WriteFile(folder / "a.XMLdig", DocumentXml("3", "2", "AQIDBAUG"));  // 1 2 / 3 4 / 5 6
  WriteFile(folder / "a.txt", "earlier");
  WriteFile(folder / "g", DocumentXml("1", "1", "AQ=="));
  WriteFile(folder / "g.XMLdig", DocumentXml("1", "1", "Ag=="));
  fs::create_directories(folder / "b" / "b");
  WriteFile(folder / "b" / "a.XMLdig", DocumentXml("1", "1", "Bw=="));
  const std::string a = Arg(folder / "a.XMLdig");
  const std::string g = Arg(folder / "g") + " " + Arg(folder / "g.XMLdig");
  const std::string ba = Arg(folder / "b" / "a.XMLdig");
  auto taken = [&](const fs::path& output, const fs::path& document, const fs::path& earlier) {
    return Line(document, "error 1006: cannot write " + Quoted(Text(output)) +
                              ": it holds the output of " + Quoted(Text(earlier)) +
                              ", written by this run");
  };
  struct Case {
    std::string arguments;
    std::string out, err;
    fs::path file;  // and what it then holds
    std::string bytes;
    int status = 0;
  };
  const std::vector<Case> cases = {
      {"-l 3,1 -s 2- -o - " + a, "2,\r\n6,\r\n", "", folder / "a.txt", "earlier"},
      {"-l 3,2-3,1 -o - " + a, "1,2,\r\n3,4,\r\n5,6,\r\n", "", folder / "a.txt", "earlier"},
      {"-d " + Arg(folder / "out") + " " + a, "", "", folder / "out" / "a.txt",
       "1,2,\r\n3,4,\r\n5,6,\r\n"},
      {"-n " + a, "",
       Line(folder / "a.XMLdig", "skipped: \"" + Text(folder / "a.txt") + "\" exists"),
       folder / "a.txt", "earlier"},
      {"-n -q " + a, "", "", folder / "a.txt", "earlier"},
      {"-i -l 2-3 " + a,
       TextLine(Text(folder / "a.XMLdig") +
                ": 3 lines, 2 samples, 6 bytes of data; table 12 bytes"),
       "", folder / "a.txt", "earlier"},
      {"-o " + Arg(folder / "in.txt") + " - <" + a, "", "", folder / "in.txt",
       "1,2,\r\n3,4,\r\n5,6,\r\n"},
      // Two documents with one output: the first one's output stays, the second fails
      // (skipped with -n), beside the documents or in another folder alike.
      {g, "", taken(folder / "g.txt", folder / "g.XMLdig", folder / "g"), folder / "g.txt",
       "1,\r\n", 1},
      {"-f csv -d " + Arg(folder / "b") + " " + ba + " " + a, "",
       taken(folder / "b" / "a.csv", folder / "a.XMLdig", folder / "b" / "a.XMLdig"),
       folder / "b" / "a.csv", "sample,line1\r\n1,7\r\n", 1},
      {"-n -d " + Arg(folder / "b" / "b") + " " + g, "",
       Line(folder / "g.XMLdig", "skipped: \"" + Text(folder / "b" / "b" / "g.txt") + "\" exists"),
       folder / "b" / "b" / "g.txt", "1,\r\n"},
      {"--sync -d " + Arg(folder / "b") + " " + a, "", "", folder / "b" / "a.txt",
       "1,2,\r\n3,4,\r\n5,6,\r\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = RunConvert(folder, c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.arguments;
    EXPECT_EQ(outcome.out, c.out) << c.arguments;
    EXPECT_EQ(outcome.err, c.err) << c.arguments;
    EXPECT_EQ(ReadFile(c.file), c.bytes) << c.arguments;
  }
}

}  // namespace
}  // namespace sorrelin
