// Runs the sorrelin-convert program where the system has a say: signals, flushes to
// the disk, a full disk, standard streams closed or failing.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>
#include <tuple>

#include "cli_support.h"

namespace sorrelin {
namespace {

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
    EXPECT_EQ(ReadFile(folder / "a.txt"), "1,2,\r\n") << options;
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
}  // namespace
}  // namespace sorrelin
#endif
