// Runs the sorrelin-convert program as a script would.
#include <gtest/gtest.h>

#include <cstdlib>

#include "message_text.h"
#include "platform.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunConvert(const TempFolder& folder, const std::string& arguments) {
  const auto out = folder / "stdout.log";
  const auto err = folder / "stderr.log";
  const std::string command = std::string("\"") + SORRELIN_CONVERT + "\" " + arguments + " >\"" +
                              testing::Text(out) + "\" 2>\"" + testing::Text(err) + "\"";
#ifdef _WIN32
  // cmd /c strips the outer quotes of a line with more than two: one more pair keeps
  // them. The line goes as wide text, so paths outside the ANSI code page survive.
  const int status = ::_wsystem(PathFromText("\"" + command + "\"").c_str());
#else
  int status = std::system(command.c_str());
  status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  Outcome outcome{status, ReadFile(out), ReadFile(err)};
#ifdef _WIN32
  // Standard output and error are text streams on Windows: lines end in CR LF.
  std::erase(outcome.out, '\r');
  std::erase(outcome.err, '\r');
#endif
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return outcome;
}

std::string Arg(const std::filesystem::path& path) { return Quoted(testing::Text(path)); }

TEST(CommandLine, ConvertsEveryPathAndReportsEachFailureOnOneLine) {
  TempFolder folder;
  const std::vector<std::uint8_t> data = {1, 0, 1, 0, 1, 1};
  WriteFile(folder / "a.XMLdig", DocumentXml(2, 3, data));
  WriteFile(folder / "b.XMLdig", "<QelvarTamberlinedata>");
  WriteFile(folder / "c.XMLdig", DocumentXml("two", "3", "AQ=="));
  WriteFile(folder / "d.XMLdig", DocumentXml(1, 3, data));

  const Outcome good = RunConvert(folder, "--quiet " + Arg(folder / "a.XMLdig"));
  EXPECT_EQ(good.status, 0);
  EXPECT_EQ(good.out + good.err, "");
  EXPECT_EQ(ReadFile(folder / "a.txt"), "1,0,1,\r\n0,1,1,\r\n");

  const Outcome mixed =
      RunConvert(folder, Arg(folder / "b.XMLdig") + " " + Arg(folder / "c.XMLdig") + " " +
                             Arg(folder / "d.XMLdig"));
  EXPECT_EQ(mixed.status, 1);
  EXPECT_EQ(mixed.err, "sorrelin-convert: " + testing::Text(folder / "b.XMLdig") +
                           ": Error: no element found at line 1, column 23\n"
                           "sorrelin-convert: " +
                           testing::Text(folder / "c.XMLdig") +
                           ": error 1007: line count is not a number: \"two\"\n");
  EXPECT_EQ(ReadFile(folder / "d.txt"), "1,0,1,\r\n");
  EXPECT_FALSE(std::filesystem::exists(folder / "b.txt"));
  EXPECT_FALSE(std::filesystem::exists(folder / "c.txt"));

#ifndef _WIN32
  // No table replaces another document of the batch; a name's line break stays escaped.
  std::filesystem::remove(folder / "a.txt");
  std::filesystem::create_symlink("d.XMLdig", folder / "a.txt");
  const auto broken = folder / "e\nf.XMLdig";
  WriteFile(broken, "<x>");
  const Outcome batch =
      RunConvert(folder, Arg(folder / "a.XMLdig") + " " + Arg(folder / "d.XMLdig") + " '" +
                             testing::Text(broken) + "'");
  EXPECT_EQ(batch.status, 1);
  EXPECT_EQ(batch.err, "sorrelin-convert: " + testing::Text(folder / "a.XMLdig") +
                           ": error 1006: cannot write \"" + testing::Text(folder / "a.txt") +
                           "\": it is another document being converted\n"
                           "sorrelin-convert: " +
                           testing::Text(folder.path()) +
                           "/e\\nf.XMLdig: Error: no element found at line 1, column 4\n");
  EXPECT_EQ(ReadFile(folder / "d.XMLdig"), DocumentXml(1, 3, data));
#endif
}

TEST(CommandLine, UsageErrorsVersionAndHelp) {
  TempFolder folder;
  const std::string tryHelp = "Try 'sorrelin-convert --help' for more information.\n";
  struct Case {
    std::string arguments;
    int status;
    std::string outStart, errEnd;
  };
  const Case cases[] = {
      {"", 2, "", "sorrelin-convert: missing PATH\n" + tryHelp},
      {"--quiet", 2, "", "sorrelin-convert: missing PATH\n" + tryHelp},
      {"--no-such-option x", 2, "", tryHelp},
      {"--version", 0, "sorrelin-convert 1.00\n", ""},
      {"--help", 0, "Usage: sorrelin-convert [OPTION]... [--] PATH...\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Outcome outcome = RunConvert(folder, c.arguments);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_TRUE(outcome.out.starts_with(c.outStart)) << outcome.out;
    EXPECT_TRUE(outcome.err.ends_with(c.errEnd)) << outcome.err;
    EXPECT_EQ(outcome.err.empty(), c.status == 0);
  }
}

TEST(CommandLine, ConvertsAPathOutsideTheAnsiCodePage) {
  TempFolder folder;
  const auto documents =
      folder.path() / PathFromText("d\xC3\xA9j\xC3\xA0 \xE6\x96\x87\xE4\xBB\xB6");
  std::filesystem::create_directory(documents);
  WriteFile(documents / PathFromText("r\xC3\xA9sum\xC3\xA9.XMLdig"),
            DocumentXml(1, 2, std::vector<std::uint8_t>{4, 2}));
  const Outcome outcome =
      RunConvert(folder, Arg(documents / PathFromText("r\xC3\xA9sum\xC3\xA9.XMLdig")));
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(ReadFile(documents / PathFromText("r\xC3\xA9sum\xC3\xA9.txt")), "4,2,\r\n");
}

}  // namespace
}  // namespace sorrelin
