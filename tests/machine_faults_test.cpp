// Faults of the machine: outputs and inputs the user may not touch, an input that
// changes while it is read, file watchers. A full disk is tried through the command
// line, where the program's handling of a file-size limit takes part too.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <thread>

#include "test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers
namespace fs = std::filesystem;

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
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
  EXPECT_EQ(output.find("SKIPPED"), std::string::npos) << output;
  return true;
}
#endif

// Permission bits stop writes only for an unprivileged user. As root the test runs
// itself again as nobody; wine as root writes read-only files regardless, so there
// it is skipped and scripts/test-windows runs it as an unprivileged user.
TEST(MachineFaults, OutputsAndInputsTheUserMayNotTouchAreRefusedAndKept) {
  TempFolder folder;
  WriteFile(folder / "ro.XMLdig", DocumentXml("1", "1", "BQ=="));
  WriteFile(folder / "ro.txt", "kept");
  fs::permissions(folder / "ro.txt", fs::perms::owner_read);
  if (std::ofstream(folder / "ro.txt", std::ios::app)) {
#ifndef _WIN32
    if (::geteuid() == 0 && PassesAsNobody("MachineFaults.OutputsAndInputsTheUserMay*")) return;
#endif
    GTEST_SKIP() << "this user may write read-only files";
  }
  const std::string denied = std::strerror(EACCES);
  EXPECT_EQ(ConversionOutcome(folder / "ro.XMLdig"),
            "error 1006: cannot write \"" + Text(folder / "ro.txt") + "\": " + denied);
  EXPECT_EQ(ReadFile(folder / "ro.txt"), "kept");
#ifndef _WIN32
  fs::permissions(folder / "ro.XMLdig", fs::perms::none);
  EXPECT_EQ(ConversionOutcome(folder / "ro.XMLdig"),
            "Error: cannot open \"" + Text(folder / "ro.XMLdig") + "\": " + denied);
  fs::create_directory(folder / "locked");
  WriteFile(folder / "locked" / "run.XMLdig", DocumentXml("1", "1", "BQ=="));
  fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(ConversionOutcome(folder / "locked" / "run.XMLdig"),
            "error 1006: cannot write \"" + Text(folder / "locked" / "run.txt") + "\": " + denied);
  EXPECT_EQ(fs::directory_iterator(folder / "locked")->path().filename(), "run.XMLdig");
#endif
  fs::permissions(folder / "ro.txt", fs::perms::owner_all);
}

#ifndef _WIN32
TEST(MachineFaults, APipeCutShortIsALoadFailureAndIsReadOnce) {
  // A pipe's size is not known, and it cannot be read again to place a fault.
  TempFolder folder;
  const auto input = folder / "piped.XMLdig";
  ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
  const std::string document = DocumentXml(3, 100'000, std::vector<std::uint8_t>(300'000, 7));
  std::thread writer(
      [&] { std::ofstream(input, std::ios::binary) << document.substr(0, 150'000); });
  ConversionOptions options;  // blocks small enough for data to be decoded beside the parser
  options.reading.readBlock = 4096;
  EXPECT_EQ(ConversionOutcome(input, options).substr(0, 37),
            "Error: no element found at line 1929,");
  writer.join();
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"piped.XMLdig"});
}
#endif

#ifdef __linux__
TEST(MachineFaults, AFailedConversionLeavesTheEarlierOutputUnopened) {
  // File watchers and backup tools see an open for writing as a change.
  TempFolder folder;
  WriteFile(folder / "run.XMLdig", DocumentXml("x", "1", "AQ=="));
  WriteFile(folder / "run.txt", "earlier");
  const int watch = ::inotify_init1(IN_NONBLOCK);
  ASSERT_GE(::inotify_add_watch(watch, (folder / "run.txt").c_str(), IN_OPEN | IN_CLOSE_WRITE), 0);
  EXPECT_EQ(ConversionOutcome(folder / "run.XMLdig").substr(0, 10), "error 1007");
  char events[4096];
  EXPECT_LT(::read(watch, events, sizeof events), 0);
  ::close(watch);
  // A document that cannot be read through: reading address 0 of this process fails.
  EXPECT_EQ(ConversionOutcome("/proc/self/mem"),
            "Error: cannot read \"/proc/self/mem\": " + std::string(std::strerror(EIO)));
}
#endif

}  // namespace
}  // namespace sorrelin
