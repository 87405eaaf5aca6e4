// Runs the sorrelin-convert program as a script would.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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
                              Text(out) + "\" 2>\"" + Text(err) + "\"";
#ifdef _WIN32
  // cmd /c strips the outer quotes of a line with more than two: one more pair keeps
  // them. The line goes as wide text, so paths outside the ANSI code page survive.
  const int status = ::_wsystem(PathFromText("\"" + command + "\"").c_str());
  Outcome outcome{status, ReadFile(out), ReadFile(err)};
  // Standard output and error are text streams on Windows: lines end in CR LF.
  std::erase(outcome.out, '\r');
  std::erase(outcome.err, '\r');
#else
  const int status = std::system(command.c_str());
  Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
#endif
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return outcome;
}

std::string Arg(const std::filesystem::path& path) { return Quoted(Text(path)); }
// A failure line on standard error.
std::string Line(const std::string& path, const std::string& failure) {
  return "sorrelin-convert: " + path + ": " + failure + "\n";
}

TEST(CommandLine, ConvertsEveryPathAndReportsEachFailureOnOneLine) {
  TempFolder folder;
  // A folder and a name outside any ANSI code page.
  const auto documents =
      folder.path() / PathFromText("d\xC3\xA9j\xC3\xA0 \xE6\x96\x87\xE4\xBB\xB6");
  std::filesystem::create_directory(documents);
  const auto a = documents / PathFromText("r\xC3\xA9sum\xC3\xA9.XMLdig");
  const std::vector<std::uint8_t> data = {1, 0, 1, 0, 1, 1};
  WriteFile(a, DocumentXml(2, 3, data));
  WriteFile(folder / "b.XMLdig", "<QelvarTamberlinedata>");
  WriteFile(folder / "c.XMLdig", DocumentXml("two", "3", "AQ=="));
  WriteFile(folder / "d.XMLdig", DocumentXml(1, 3, data));
  const Outcome mixed = RunConvert(
      folder, "--quiet " + Arg(a) + " " + Arg(folder / "missing") + " " + Arg(folder / "b.XMLdig") +
                  " " + Arg(folder / "c.XMLdig") + " " + Arg(folder / "d.XMLdig"));
  EXPECT_EQ(mixed.status, 1);
  EXPECT_EQ(mixed.out, "");
  const std::string missing = Text(folder / "missing");
  EXPECT_EQ(mixed.err,
            Line(missing, "Error: cannot open \"" + missing + "\": " + std::strerror(ENOENT)) +
                Line(Text(folder / "b.XMLdig"), "Error: no element found at line 1, column 23") +
                Line(Text(folder / "c.XMLdig"), "error 1007: line count is not a number: \"two\""));
  EXPECT_EQ(ReadFile(documents / PathFromText("r\xC3\xA9sum\xC3\xA9.txt")), "1,0,1,\r\n0,1,1,\r\n");
  EXPECT_EQ(ReadFile(folder / "d.txt"), "1,0,1,\r\n");
  EXPECT_EQ(folder.Entries().size(), 5u);  // b and c have no table

#ifndef _WIN32
  // No table replaces another document of the batch; a name's line break stays escaped.
  WriteFile(folder / "a.XMLdig", DocumentXml(2, 3, data));
  std::filesystem::create_symlink("d.XMLdig", folder / "a.txt");
  const auto broken = folder / "e\n\x01" "f.XMLdig";
  WriteFile(broken, "<x>");
  const Outcome batch =
      RunConvert(folder, Arg(folder / "a.XMLdig") + " " + Arg(folder / "d.XMLdig") + " '" +
                             Text(broken) + "'");
  EXPECT_EQ(batch.status, 1);
  EXPECT_EQ(batch.err,
            Line(Text(folder / "a.XMLdig"), "error 1006: cannot write \"" + Text(folder / "a.txt") +
                                                "\": it is another document being converted") +
                Line(Text(folder.path()) + "/e\\n\\x01f.XMLdig",
                     "Error: no element found at line 1, column 4"));
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

#ifdef __linux__
// On a small tmpfs: the document, the earlier output and a little free space.
TEST(CommandLine, AFullDiskOrAFileSizeLimitLeavesNothingButTheEarlierOutput) {
  if (std::system("unshare -rm true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespaces";
  TempFolder folder;
  const auto disk = folder / "disk";
  std::filesystem::create_directory(disk);
  const std::string cannot = ": cannot write \"" + Text(disk / "run.txt") + "\": ";
  const std::string noSpace =
      ": not enough free space for \"" + Text(disk / "run.txt") + "\": the table needs ";
  struct Case {
    int values;  // of 255, four characters each; the smallest table allows two
    const char *disk, *limit;
    std::string error;
  };
  const Case cases[] = {
      {1500, "12k", "", "error 1009" + noSpace + "6002 bytes, 4096 are free"},  // fills up
      {2100, "12k", "", "error 1009" + noSpace + "8402 bytes, 4096 are free"},  // refused
      {70000, "136k", "", "error 1009" + noSpace + "280002 bytes, 36864 are free"},
      {1500, "12k", "ulimit -f 2;", "error 1010" + cannot + std::strerror(EFBIG)},
  };
  for (const Case& c : cases) {
    WriteFile(folder / "run.XMLdig",
              DocumentXml(1, c.values, std::vector<std::uint8_t>(c.values, 255)));
    const std::string script =
        std::string("mount -t tmpfs -o size=") + c.disk + " tmpfs \"$1\" && " +
        "cp \"$2/run.XMLdig\" \"$1\" && printf earlier >\"$1/run.txt\" && (" + c.limit +
        " exec \"$3\" \"$1/run.XMLdig\" 2>\"$2/err\"); " +
        "ls -A \"$1\" >\"$2/entries\"; cat \"$1/run.txt\" >\"$2/after\"";
    std::system(("unshare -rm sh -c '" + script + "' sh '" + Text(disk) + "' '" +
                 Text(folder.path()) + "' '" + SORRELIN_CONVERT + "'")
                    .c_str());
    EXPECT_EQ(ReadFile(folder / "err"), Line(Text(disk / "run.XMLdig"), c.error));
    EXPECT_EQ(ReadFile(folder / "entries"), "run.XMLdig\nrun.txt\n");
    EXPECT_EQ(ReadFile(folder / "after"), "earlier");
  }
}
#endif

}  // namespace
}  // namespace sorrelin
