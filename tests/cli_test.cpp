// Runs the sorrelin-convert program as a script would: messages, statuses, options; and
// where the system has a say: signals, flushes to the disk, a full disk, standard
// streams closed or failing.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>

#include "message_text.h"
#include "platform/files.h"
#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>
#endif

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers
namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out, err;
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
  // Standard error is a text stream on Windows: its lines end in CR LF. Standard output
  // carries outputs' bytes as they are, and text lines with CR LF (see TextLine).
  std::erase(outcome.err, '\r');
#else
  const int status = std::system(command.c_str());
  Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
#endif
  return outcome;
}

std::string Arg(const std::filesystem::path& path) { return Quoted(Text(path)); }
// A line of text on standard output, as the system ends it.
std::string TextLine(const std::string& text) {
#ifdef _WIN32
  return text + "\r\n";
#else
  return text + "\n";
#endif
}
// A failure line on standard error.
std::string Line(const fs::path& path, const std::string& failure) {
  return "sorrelin-convert: " + Text(path) + ": " + failure + "\n";
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
      {"--sample-rate 2.5MHz x", 2, "sorrelin-convert: --sample-rate is for csv, vcd and sr only\n",
       tryHelp},
      {"-f npy --changes x", 2, "sorrelin-convert: --changes is for csv only\n", tryHelp},
      {"-f csv --vectors x", 2, "sorrelin-convert: --vectors is for vcd only\n", tryHelp},
      {"-", 2, "sorrelin-convert: PATH - (standard input) needs --output\n", tryHelp},
      {"-f npy -o - x", 2, "sorrelin-convert: npy cannot go to standard output\n", tryHelp},
      {"-o a b c", 2, "sorrelin-convert: --output takes one PATH only\n", tryHelp},
      {"-o \"\" x", 2, "sorrelin-convert: --output needs a file name\n", tryHelp},
      {"-d \"\" x", 2, "sorrelin-convert: --output-dir needs a folder name\n", tryHelp},
      {"--output= a b", 2, "sorrelin-convert: --output needs a file name\n", tryHelp},
      {"--segment all -o - x", 2,
       "sorrelin-convert: --segment all writes an output per segment: use --output-dir\n", tryHelp},
#ifndef _WIN32
      {"-l '1\n\xC2\x9B' x", 2,
       "sorrelin-convert: a line must be a number from 1: \"1\\n\\u009B\"\n", tryHelp},
#endif
      // Rates whose times would run together, overflow or be infinite are refused.
      {"-f vcd -r 9.9e-4 x", 2, "sorrelin-convert: a sample rate is from 0.001 to 1e15", tryHelp},
      {"-f vcd -r 1.1e15 x", 2, "sorrelin-convert: a sample rate is from 0.001 to 1e15", tryHelp},
      {"-f vcd -r -1 x", 2, "sorrelin-convert: a sample rate is a number of", tryHelp},
      {"-f csv -r nan x", 2, "sorrelin-convert: a sample rate is a number of", tryHelp},
      {"-f sr -r 1.5 x", 2,
       "sorrelin-convert: sr keeps a sample rate in whole hertz only: \"1.5\"\n", tryHelp},
      {"-f vcd -r 0.001 -- " + Arg(folder / "-x.XMLdig"), 0, "", ""},
      {"-f vcd -r 1e15 -- " + Arg(folder / "-x.XMLdig"), 0, "", ""},
      {"--help", 0, "Usage: sorrelin-convert [OPTION]... [--] PATH...", "\n"},
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

// Every path is converted and each failure told on one line; where outputs go and what
// is told: standard input and output, another folder, the lines and samples chosen,
// documents skipped, sizes without writing.
TEST(CommandLine, ConvertsEveryPathAndOptionsChooseWhatIsMadeAndWhereItGoes) {
  TempFolder folder;
  // A folder and a name outside any ANSI code page.
  const auto documents =
      folder.path() / PathFromText("d\xC3\xA9j\xC3\xA0 \xE6\x96\x87\xE4\xBB\xB6");
  fs::create_directory(documents);
  const auto resume = documents / PathFromText("r\xC3\xA9sum\xC3\xA9.XMLdig");
  WriteFile(resume, DocumentXml("2", "3", "AQABAAEB"));
  WriteFile(folder / "x.XMLdig", "<x>");
  WriteFile(folder / "two.XMLdig", DocumentXml("two", "3", "AQ=="));
  const std::string d = DocumentXml("1", "3", "AQAB");
  WriteFile(folder / "d.XMLdig", d);
  std::string batch = "--quiet " + Arg(resume) + " " + Arg(folder / "missing");
  for (const char* n : {"x.XMLdig", "two.XMLdig", "d.XMLdig"}) (batch += ' ') += Arg(folder / n);
  std::string failures =
      Line(folder / "missing",
           "Error: cannot open \"" + Text(folder / "missing") + "\": " + std::strerror(ENOENT)) +
      Line(folder / "x.XMLdig", "Error: no element found at line 1, column 4") +
      Line(folder / "two.XMLdig", "error 1007: line count is not a number: \"two\"");
#ifndef _WIN32
  // No table replaces another document of the batch; control characters and bytes that
  // are not UTF-8 in names are escaped.
  WriteFile(folder / "e.XMLdig", d);
  fs::create_symlink("d.XMLdig", folder / "e.txt");
  const std::string f = Text(folder / "f\n\x01\x9B\xE2\x80\xA9\xED\xA0\x80") + "g.XMLdig";
  WriteFile(PathFromText(f), "<x>");
  batch.append(" ").append(Arg(folder / "e.XMLdig")).append(" '").append(f).append("'");
  failures += Line(folder / "e.XMLdig", "error 1006: cannot write \"" + Text(folder / "e.txt") +
                                            "\": it is another document being converted") +
              Line(folder / "f\\n\\x01\\x9B\\u2029\\xED\\xA0\\x80g.XMLdig",  // a surrogate's bytes
                   "Error: no element found at line 1, column 4");
#endif
  std::filesystem::create_directory(folder / "out");
  WriteFile(folder / "a.XMLdig", DocumentXml("3", "2", "AQIDBAUG"));  // 1 2 / 3 4 / 5 6
  WriteFile(folder / "a.txt", "earlier");
  WriteFile(folder / "c.XMLdig", DocumentXml("2", "5", "AAABAQEBAQEBAQ=="));  // 0 0 1 1 1 / 1...
  WriteFile(folder / "g", DocumentXml("1", "1", "AQ=="));
  WriteFile(folder / "g.XMLdig", DocumentXml("1", "1", "Ag=="));
  // Segments: one without data, one with two BinaryData (its first counts).
  WriteFile(folder / "s.XMLdig",
            Root(Header("1", "2") +
                 "<Data><Segment/><Segment><BinaryData>AQI=</BinaryData></Segment><Segment>"
                 "<BinaryData>AwQ=</BinaryData><BinaryData>BQY=</BinaryData></Segment></Data>"));
  WriteFile(folder / "s.txt", "earlier");
  const std::string s = Arg(folder / "s.XMLdig");
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
      {batch, "", failures, documents / PathFromText("r\xC3\xA9sum\xC3\xA9.txt"),
       "1,0,1,\r\n0,1,1,\r\n", 1},
      {"-l 3,1 -s 2- -o - " + a, "2,\r\n6,\r\n", "", folder / "a.txt", "earlier"},
      {"-l 3,2-3,1 -o - " + a, "1,2,\r\n3,4,\r\n5,6,\r\n", "", folder / "a.txt", "earlier"},
      {"-f csv --changes -s 2- -o - " + Arg(folder / "c.XMLdig"),
       "sample,line1,line2\r\n2,0,1\r\n3,1,1\r\n5,1,1\r\n", "", folder / "a.txt", "earlier"},
      {"-d " + Arg(folder / "out") + " " + a, "", "", folder / "out" / "a.txt",
       "1,2,\r\n3,4,\r\n5,6,\r\n"},
      {"-n " + a, "",
       Line(folder / "a.XMLdig", "skipped: \"" + Text(folder / "a.txt") + "\" exists"),
       folder / "a.txt", "earlier"},
      {"-n -q " + a, "", "", folder / "a.txt", "earlier"},
      {"-i -l 2-3 " + a,
       TextLine(Text(folder / "a.XMLdig") +
                ": 3 lines, 2 samples, 1 segment, 6 bytes of data; table 12 bytes"),
       "", folder / "a.txt", "earlier"},
      {"-i " + s,
       TextLine(Text(folder / "s.XMLdig") +
                ": 1 lines, 2 samples, 2 segments, 2 bytes of data; table 6 bytes"),
       "", folder / "a.txt", "earlier"},
      {"--segment 2 -o - " + s, "3,4,\r\n", "", folder / "s.txt", "earlier"},
      {"--segment all " + s, "", "", folder / "s.s2.txt", "3,4,\r\n"},
      {"--segment 3 " + s, "",
       Line(folder / "s.XMLdig", "error 1013: no segment 3: the document has 2 segments with data"),
       folder / "s.txt", "earlier", 1},
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

#ifndef _WIN32
// While the document is still coming through a pipe: Ctrl-C ends the program at once,
// as the signal would end it, and the earlier table stays; with -n, a table that takes
// the output's name meanwhile stays, and the document is skipped.
TEST(CommandLine, WhileThePipeStallsAnInterruptEndsAtOnceAndATableMadeMeanwhileStays) {
  const std::string document = DocumentXml("1", "300000", std::string(400000, 'A'));
  for (const bool interrupt : {true, false}) {
    TempFolder folder;
    const auto input = folder / "run.XMLdig";
    ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
    if (interrupt) WriteFile(folder / "run.txt", "earlier");
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(::open((folder / "err").c_str(), O_WRONLY | O_CREAT, 0600), 2);
      ::execl(SORRELIN_CONVERT, SORRELIN_CONVERT, interrupt ? "-q" : "-n", input.c_str(), nullptr);
      ::_exit(127);
    }
    const int pipe = ::open(input.c_str(), O_WRONLY);
    const std::size_t half = document.size() / 2;  // more than the pipe holds: the program reads
    EXPECT_EQ(::write(pipe, document.data(), half), static_cast<ssize_t>(half));
    int status = 0;
    if (interrupt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ::kill(child, SIGINT);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      EXPECT_EQ(::waitpid(child, &status, WNOHANG), child);  // ended without the rest
    } else {
      WriteFile(folder / "run.txt", "made meanwhile");
      const std::size_t rest = document.size() - half;
      EXPECT_EQ(::write(pipe, document.data() + half, rest), static_cast<ssize_t>(rest));
    }
    ::close(pipe);
    if (status == 0) ::waitpid(child, &status, 0);
    if (interrupt) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(ReadFile(folder / "run.txt").substr(0, 20), interrupt ? "earlier" : "made meanwhile");
    EXPECT_EQ(ReadFile(folder / "err"),
              interrupt ? "" : Line(input, "skipped: \"" + Text(folder / "run.txt") + "\" exists"));
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"err", "run.XMLdig", "run.txt"}));
  }
}

// A standard stream closed or failing loses nothing without a word: no file takes a
// closed one's number, and a failed write to standard output exits 1 and says why.
TEST(CommandLine, ClosedOrFailingStandardStreamsAreFailuresThatAreTold) {
  TempFolder folder;
  const fs::path document = folder / "a.XMLdig";
  WriteFile(document, DocumentXml("1", "300000", std::string(400000, '/')));  // 1.2 MB table
  const std::string unwritable = "cannot write standard output: ";
  const std::string closed = std::strerror(EBADF), full = std::strerror(ENOSPC);
  // A script with the program $1, the document $2 and the folder $3; what it says.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\"$1\" -o - \"$2\" <&- >&-", Line(document, "error 1006: " + unwritable + closed)},
      {"\"$1\" -o - \"$2\" >&-", Line(document, "error 1006: " + unwritable + closed)},
      {"\"$1\" -o \"$3/b.txt\" - <&-", Line("-", "Error: cannot read standard input: " + closed)},
      {"\"$1\" -i \"$2\" >/dev/full", "sorrelin-convert: " + unwritable + full + "\n"},
      {"\"$1\" --help >/dev/full", "sorrelin-convert: " + unwritable + full + "\n"},
      {"\"$1\" --version >&-", "sorrelin-convert: " + unwritable + closed + "\n"},
      {"{ \"$1\" -o - \"$2\"; echo $? >\"$3/status\"; } | head -c 100 >/dev/null; "
       "exit $(cat \"$3/status\")",
       Line(document, "error 1010: " + unwritable + std::strerror(EPIPE))}};
  for (const auto& [script, told] : cases) {
    const int status =
        std::system(("sh -c '" + script + "' sh '" + SORRELIN_CONVERT + "' '" + Text(document) +
                     "' '" + Text(folder.path()) + "' 2>'" + Text(folder / "err") + "'")
                        .c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << script << ": " << status;
    EXPECT_EQ(ReadFile(folder / "err"), told) << script;
  }
  EXPECT_FALSE(fs::exists(folder / "b.txt"));
}

#ifdef __linux__
// --sync: the output's data reaches the disk before the rename, its folder's entry after.
TEST(CommandLine, SyncFlushesTheDataBeforeTheRenameAndTheFolderAfter) {
  if (std::system("strace -o /dev/null true 2>/dev/null") != 0) GTEST_SKIP() << "no strace";
  TempFolder folder;
  WriteFile(folder / "a.XMLdig", DocumentXml("1", "2", "AQI="));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "rename "},
      {"--sync", "fdatasync rename fsync "},
      {"--sync -n", "fdatasync rename fsync "}};
  for (const auto& [options, calls] : cases) {
    fs::remove(folder / "a.txt");
    // LeakSanitizer, where built in, cannot run under strace.
    const std::string command = "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o " +
                                Arg(folder / "trace") +
                                " -e trace=fdatasync,fsync,rename,renameat,renameat2 " +
                                SORRELIN_CONVERT + " " + options + " " + Arg(folder / "a.XMLdig");
    ASSERT_EQ(std::system(command.c_str()), 0) << options;
    std::string seen;
    std::istringstream trace(ReadFile(folder / "trace"));
    for (std::string pid, call; trace >> pid >> call; trace.ignore(1 << 20, '\n')) {
      call.resize(call.find('('));
      seen += (call.starts_with("rename") ? "rename" : call) + " ";  // renameat2 too
    }
    EXPECT_EQ(seen, calls) << options;
  }
}

// On a small tmpfs: the document, the earlier output and a little free space.
TEST(CommandLine, AFullDiskOrAFileSizeLimitLeavesNothingButTheEarlierOutput) {
  if (std::system("unshare -rm true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespaces";
  TempFolder folder;
  const auto disk = folder / "disk";
  std::filesystem::create_directory(disk);
  const std::string noSpace =
      "error 1009: not enough free space for \"" + Text(disk / "run.txt") + "\": the table needs ";
  // Values: three for each group of four Base64 characters, 255 four characters each where
  // the smallest table allows two; the size of the disk; limits on the program; what it says.
  const std::vector<std::tuple<int, std::string, std::string, std::string, std::string>> cases = {
      {1500, "////", "12k", "", noSpace + "6002 bytes, 4096 are free"},  // fills up while writing
      {2100, "CmQK", "12k", "", noSpace + "7002 bytes, 4096 are free"},  // 10, 100, 10: refused
      {70002, "////", "136k", "", noSpace + "280010 bytes, 40960 are free"},
      {1500, "////", "1m,nr_inodes=3", "", noSpace + "6002 bytes"},  // no inode left
      {1500, "////", "12k", "2",
       "error 1010: cannot write \"" + Text(disk / "run.txt") + "\": " + std::strerror(EFBIG)}};
  // $1 the disk, $2 this test's folder, $3 the program, $4 a file-size limit in blocks
  const std::string script =
      " tmpfs \"$1\" && cp \"$2/run.XMLdig\" \"$1\" && printf earlier >\"$1/run.txt\" && "
      "(${4:+ulimit -f $4}; exec \"$3\" \"$1/run.XMLdig\" 2>\"$2/err\"); ls -A \"$1\" "
      ">\"$2/entries\"; cat \"$1/run.txt\" >\"$2/after\"";
  for (const auto& [values, group, size, limit, error] : cases) {
    std::string data;
    while (data.size() < values / 3 * 4u) data += group;
    WriteFile(folder / "run.XMLdig", DocumentXml("1", std::to_string(values), data));
    // What the program said and left is read back below; the script's own status says nothing.
    [[maybe_unused]] const int status = std::system(
        ("unshare -rm sh -c 'mount -t tmpfs -o size=" + size + script + "' sh '" + Text(disk) +
         "' '" + Text(folder.path()) + "' '" + SORRELIN_CONVERT + "' " + limit)
            .c_str());
    EXPECT_EQ(ReadFile(folder / "err"), Line(disk / "run.XMLdig", error));
    EXPECT_EQ(ReadFile(folder / "entries"), "run.XMLdig\nrun.txt\n");
    EXPECT_EQ(ReadFile(folder / "after"), "earlier");
  }
}
#endif
#endif  // _WIN32

}  // namespace
}  // namespace sorrelin
