// The core's parts on their own (the output name rule, count texts, outputs that
// cannot be written, the formats' smallest sizes, the platform file) and faults of the
// machine (outputs the user may not write, taken temporary names, a full quota, short
// reads and writes, file watchers, a read error). A full disk is tried through the
// command line, where the program's handling of a size limit takes part.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <new>
#include <set>

#include "command_line_arguments.h"
#include "formats/data_plan.h"
#include "formats/data_router.h"
#include "formats/output_format.h"
#include "interrupt_signals.h"
#include "output/output_path.h"
#include "output/safe_output_file.h"
#include "output/temporary_file.h"
#include "platform/files.h"
#include "terminal.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <fcntl.h>
#include <sys/inotify.h>
#endif

// expat's allocations, the only nothrow ones here, fail once this many more have been
// made; -1: never.
static int nothrowAllocationsLeft = -1;

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (nothrowAllocationsLeft == 0) return nullptr;
  if (nothrowAllocationsLeft > 0) --nothrowAllocationsLeft;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

#ifdef __linux__
#include <sys/syscall.h>

#include <cstdarg>

// The next this many names of temporary files are taken: a file of that name cannot
// be created, nor an unnamed file given it.
static int namesTakenLeft = 0;

extern "C" int open(const char* path, int flags, ...) {
  std::va_list rest;
  va_start(rest, flags);
  const bool mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
  const mode_t permissions = mode ? va_arg(rest, mode_t) : 0;
  va_end(rest);
  if ((flags & O_EXCL) != 0 && namesTakenLeft > 0) return --namesTakenLeft, errno = EEXIST, -1;
  return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags, permissions));
}

extern "C" int linkat(int fromAt, const char* from, int toAt, const char* to, int flags) noexcept {
  if (namesTakenLeft > 0) return --namesTakenLeft, errno = EEXIST, -1;
  return static_cast<int>(::syscall(SYS_linkat, fromAt, from, toAt, to, flags));
}

// Files are read and written at most this many bytes a call.
static std::size_t largestTransfer = SIZE_MAX;

extern "C" ssize_t write(int file, const void* bytes, std::size_t size) {
  return ::syscall(SYS_write, file, bytes, std::min(size, largestTransfer));
}

extern "C" ssize_t pread(int file, void* bytes, std::size_t size, off_t at) {
  return ::syscall(SYS_pread64, file, bytes, std::min(size, largestTransfer), at);
}

static bool quotaFull = false;  // reserving space fails as it does over a user's quota

extern "C" int fallocate(int file, int mode, off_t offset, off_t length) {
  if (quotaFull) return errno = EDQUOT, -1;
  return static_cast<int>(::syscall(SYS_fallocate, file, mode, offset, length));
}
#endif

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers
namespace fs = std::filesystem;

TEST(TextRules, OutputNamesAndCounts) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/data/RUN1.xmldig", "/data/RUN1.txt"},
      {".XMLdig", ".txt"},
  };
  for (const auto& [input, output] : cases) EXPECT_EQ(OutputPathFor(input), output) << input;
  EXPECT_EQ(ErrorOf([] { OutputPathFor(""); }),
            "error 1005: no output path: the input path is empty");
  // Counts: decimal integers within 64 bits, with a sign and white space around.
  EXPECT_EQ(ReadCount(" +30\r\n", "count"), 30);
  EXPECT_EQ(ReadCount(std::string_view("304").substr(0, 2), "count"), 30);  // not read beyond
  for (const std::string text : {"", "+-3", "+", "3 4"}) {
    EXPECT_EQ(ErrorOf([&] { ReadCount(text, "count"); }),
              "error 1007: count is not a number: \"" + text + "\"");
  }
}

// Outputs that cannot be written and failed file calls name their cause; a file is no
// terminal; an interrupt signal is caught.
TEST(Platform, FileCallsNameTheirFaultsAndInterruptSignalsAreCaught) {
  TempFolder folder;
  const std::vector<std::pair<std::filesystem::path, std::string>> cases = {
      {folder / "no such folder" / "x.txt", std::strerror(ENOENT)},
      {folder / (std::string(300, 'n') + ".txt"), std::strerror(ENAMETOOLONG)},
  };
  for (const auto& [path, why] : cases) {
    EXPECT_EQ(ErrorOf([&] { SafeOutputFile(path, {}, CreateTemporaryFile); }),
              "error 1006: cannot write \"" + Text(path) + "\": " + why);
  }
  // The temporary file is created only if its name is free: an existing file is never opened.
  WriteFile(folder / "kept.txt", "kept");
  EXPECT_FALSE(CreateNewFile(folder / "kept.txt"));
  // A failed rename names its cause (std::filesystem says EIO for most on Windows).
  EXPECT_EQ(RenameReplacing(folder / "missing.txt", folder / "renamed.txt"),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(ReadFile(folder / "kept.txt"), "kept");
  // Reading back past a file's end fails, and says why.
  char bytes[8];
  const auto kept = OpenFile(folder / "kept.txt", "rb");
  EXPECT_TRUE(!ReadAt(kept.get(), 2, bytes, 3) && errno == EIO);
  EXPECT_FALSE(IsTerminal(kept.get()));
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"kept.txt"});
  CatchInterruptSignals();
  std::raise(SIGTERM);
  EXPECT_EQ(CaughtInterruptSignal(), SIGTERM);
}

#ifdef __linux__
// Taken temporary names, full quotas, short reads and writes, file watchers, special
// files, terminals, read errors and a program started without arguments.
TEST(MachineFaults, OnLinuxAreMetRightly) {
  TempFolder folder;
  WriteFile(folder / "t.XMLdig", DocumentXml("1", "1", "BQ=="));
  for (const auto& made : {TemporaryFileFactory(CreateTemporaryFile), {CreateNamedTemporaryFile}}) {
    namesTakenLeft = 3;
    EXPECT_EQ(ConversionOutcome(folder / "t.XMLdig", {OpenDocumentFile, made}), "table 5,\r\n");
    EXPECT_EQ(namesTakenLeft, 0);
  }
  quotaFull = true;  // found before the table is written, though the disk has room
  const std::string full = "error 1009: not enough free space for \"" + Text(folder / "t.txt");
  EXPECT_EQ(ConversionOutcome(folder / "t.XMLdig"), full + "\": the table needs 4 bytes");
  quotaFull = false;
  EXPECT_EQ(ReadFile(folder / "t.txt"), "5,\r\n");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"t.XMLdig", "t.txt"}));
  // Short reads and writes are carried on: the outputs are those made without them.
  WriteFile(folder / "s.XMLdig",
            DocumentXml("3", "300", EncodeBase64(std::vector<std::uint8_t>(900, 200))));
  for (const FormatModule* format : {FormatNamed("table"), FormatNamed("csv")}) {
    const ConversionRequest request = RequestFor(folder / "s.XMLdig", format);
    FakeProgress progress;
    const std::string whole = ConversionOutcome(request, progress);
    largestTransfer = 7;
    EXPECT_EQ(ConversionOutcome(request, progress), whole);
    largestTransfer = SIZE_MAX;
  }
  WriteFile(folder / "run.XMLdig", DocumentXml("x", "1", "AQ=="));
  WriteFile(folder / "run.txt", "earlier");
  // File watchers and backup tools see an open for writing as a change.
  const int watch = ::inotify_init1(IN_NONBLOCK);
  ASSERT_GE(::inotify_add_watch(watch, (folder / "run.txt").c_str(), IN_OPEN | IN_CLOSE_WRITE), 0);
  EXPECT_EQ(ConversionOutcome(folder / "run.XMLdig").substr(0, 10), "error 1007");
  char events[4096];
  EXPECT_LT(::read(watch, events, sizeof events), 0);
  ::close(watch);
  fs::remove(folder / "run.txt");
  ASSERT_EQ(::mkfifo((folder / "run.txt").c_str(), 0600), 0);  // never replaced by a table
  EXPECT_EQ(
      ConversionOutcome(folder / "run.XMLdig"),
      "error 1006: cannot write \"" + Text(folder / "run.txt") + "\": it is not a regular file");
  // A document that cannot be read through: reading address 0 of this process fails.
  EXPECT_EQ(ConversionOutcome("/proc/self/mem"),
            "Error: cannot read the document at byte 0: " + std::string(std::strerror(EIO)));
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
  EXPECT_TRUE(IsTerminal(OpenFile(::ptsname(terminal), "w").get()));
  ::close(terminal);
  char* noArguments[] = {nullptr};  // exec may start a program without even its name
  EXPECT_TRUE(CommandLineArguments(0, noArguments).empty());
}
#endif

// The space checked first is the size of the output of zeros: more would refuse a disk
// that has room, less would fill it before the error.
TEST(OutputFormats, TheSmallestSizeIsThatOfAnOutputOfZeros) {
  TempFolder folder;
  for (const FormatModule* format : AllFormats()) {
    for (const bool changes : {false, format->options.changes}) {
      for (const auto& [lines, samples] :
           {std::pair{"1", "1"}, {"2", "300"}, {"3", "0"}, {"0", "5"}}) {
        const DataPlan plan = PlanData(lines, samples);
        OutputStream out(nullptr);
        const auto made = format->make(
            plan, out, {{}, "d.XMLdig", folder.path(), CreateTemporaryFile, changes});
        DataRouter router(plan, *made);
        made->Begin([](double) { return true; });
        router.Take(std::vector<std::uint8_t>(plan.needed));
        made->End([](double) { return true; });
        // Exact, but for a zip's, which only bounds it.
        EXPECT_EQ(std::min(out.Size(), made->SmallestSize()), made->SmallestSize());
        EXPECT_TRUE(format->name == "sr" || out.Size() == made->SmallestSize())
            << format->name << changes << lines << 'x' << samples;
      }
    }
  }
}

// Memory that runs out at any of expat's allocations ends in 1001 (no reader) or 1002,
// never in a partial table.
TEST(XmlPass, MemoryThatRunsOutIsANumberedErrorAndKeepsTheEarlierTable) {
  TempFolder folder;
  WriteFile(folder / "run.XMLdig", DocumentXml("2", "3", "AQABAAEB"));
  std::set<std::string> seen;
  for (int left = 0; left < 1000; ++left) {
    WriteFile(folder / "run.txt", "earlier");
    nothrowAllocationsLeft = left;
    const std::string outcome = ConversionOutcome(folder / "run.XMLdig");
    nothrowAllocationsLeft = -1;
    if (outcome == "table 1,0,1,\r\n0,1,1,\r\n") break;
    seen.insert(outcome);
    EXPECT_EQ(ReadFile(folder / "run.txt"), "earlier");
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"run.XMLdig", "run.txt"}));
  }
  EXPECT_EQ(seen, (std::set<std::string>{"error 1001: cannot create the XML reader",
                                         "error 1002: not enough memory for this document"}));
}

#ifndef _WIN32
// Runs this one test again as user nobody; false when that cannot be done here.
bool PassesAsNobody(const std::string& test) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  if (std::system((asNobody + "test -x '" + self + "' 2>/dev/null").c_str()) != 0) return false;
  const std::string log = "/tmp/sorrelin-unprivileged-" + std::to_string(::getpid()) + ".log";
  const int status = std::system(
      (asNobody + "'" + self + "' --gtest_filter=" + test + " >'" + log + "' 2>&1").c_str());
  const std::string output = ReadFile(log);
  fs::remove(log);
  EXPECT_TRUE(status == 0 && output.find("[  PASSED  ] 1 test.") != std::string::npos &&
              output.find("SKIPPED") == std::string::npos)
      << output;
  return true;
}
#endif

// Permission bits stop writes only for an unprivileged user. As root the test runs
// itself again as nobody; wine as root writes read-only files regardless, so there
// it is skipped and scripts/test-windows runs it as an unprivileged user.
TEST(MachineFaults, OutputsTheUserMayNotWriteAreRefusedAndKept) {
  TempFolder folder;
  WriteFile(folder / "ro.XMLdig", DocumentXml("1", "1", "BQ=="));
  WriteFile(folder / "ro.txt", "kept");
  fs::permissions(folder / "ro.txt", fs::perms::owner_read);
  if (std::ofstream(folder / "ro.txt", std::ios::app)) {
#ifndef _WIN32
    if (::geteuid() == 0 && PassesAsNobody("MachineFaults.OutputsTheUserMayNotWrite*")) return;
#endif
    GTEST_SKIP() << "this user may write read-only files";
  }
  EXPECT_EQ(
      ConversionOutcome(folder / "ro.XMLdig"),
      "error 1006: cannot write \"" + Text(folder / "ro.txt") + "\": " + std::strerror(EACCES));
  EXPECT_EQ(ReadFile(folder / "ro.txt"), "kept");
  fs::permissions(folder / "ro.txt", fs::perms::owner_all);  // Windows removes no read-only file
}

}  // namespace
}  // namespace sorrelin
