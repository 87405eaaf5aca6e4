// Faults of the machine: a full disk, outputs the user may not write, an input
// that changes while it is read. POSIX only, but for a read-only output on Windows.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/resource.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>

#include "conversion_command.h"
#include "conversion_error.h"
#include "test_support.h"
#include "text_table.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers

int ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ConversionError& error) {
    return error.Number();
  }
  return 0;
}

// Files may grow to `bytes` at most while it lives; writes beyond fail as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{bytes, saved_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

TEST(MachineFaults, DiskFullWhileWritingLeavesNoTraceAndTheEarlierOutput) {
  TempFolder folder;
  WriteFile(folder / "run.txt", "earlier");
  std::vector<std::uint8_t> data(1 << 20, 200);  // a 4 MiB table
  int number = 0;
  std::string message;
  {
    FileSizeLimit limit(256 << 10);
    try {
      WriteDigitalTextTable(testing::Text(folder / "run.txt"),
                            {"1", std::to_string(data.size()), ByteBuffer(data)});
    } catch (const ConversionError& error) {
      number = error.Number();
      message = error.what();
    }
  }
  EXPECT_EQ(number, 1010);
  EXPECT_NE(message.find("File too large"), std::string::npos) << message;
  EXPECT_EQ(ReadFile(folder / "run.txt"), "earlier");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"run.txt"});
}

// Runs as an unprivileged user, where permission bits stop writes; as root the
// test runs itself again under setpriv as nobody.
TEST(MachineFaults, OutputsAndInputsTheUserMayNotTouchAreRefused) {
  if (::geteuid() == 0) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    if (std::system((asNobody + "test -x '" + self + "' 2>/dev/null").c_str()) != 0) {
      GTEST_SKIP() << "running as root, and user nobody cannot run " << self;
    }
    const std::string log = "/tmp/sorrelin-unprivileged-" + std::to_string(::getpid()) + ".log";
    const int status = std::system(
        (asNobody + "'" + self +
         "' --gtest_filter=MachineFaults.OutputsAndInputsTheUserMayNotTouchAreRefused >'" + log +
         "' 2>&1")
            .c_str());
    const std::string output = ReadFile(log);
    std::remove(log.c_str());
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
    EXPECT_EQ(output.find("SKIPPED"), std::string::npos) << output;
    return;
  }
  TempFolder folder;
  const DigitalWaveformDocument document{"1", "1", ByteBuffer(std::vector<std::uint8_t>{5})};

  WriteFile(folder / "ro.txt", "kept");
  std::filesystem::permissions(folder / "ro.txt", std::filesystem::perms::owner_read);
  EXPECT_EQ(
      ErrorNumberOf([&] { WriteDigitalTextTable(testing::Text(folder / "ro.txt"), document); }),
      1006);
  EXPECT_EQ(ReadFile(folder / "ro.txt"), "kept");

  WriteFile(folder / "secret.XMLdig", DocumentXml(1, 1, std::vector<std::uint8_t>{5}));
  std::filesystem::permissions(folder / "secret.XMLdig", std::filesystem::perms::none);
  FakeHost host(testing::Text(folder / "secret.XMLdig"));
  RunConversion(host);
  EXPECT_EQ(host.messages, std::vector<std::string>{"Error: cannot open \"" + host.PathText() +
                                                    "\": Permission denied"});

  const auto locked = folder / "locked";
  std::filesystem::create_directory(locked);
  std::filesystem::permissions(
      locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_EQ(
      ErrorNumberOf([&] { WriteDigitalTextTable(testing::Text(locked / "run.txt"), document); }),
      1006);
  EXPECT_TRUE(std::filesystem::is_empty(locked));
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"locked", "ro.txt", "secret.XMLdig"}));
}

// The input is a pipe whose writer sends `text` in pieces, removing the path
// half-way; the reader cannot know the size in advance.
std::vector<std::string> ConvertThroughPipe(const TempFolder& folder, const std::string& text) {
  const auto input = folder / "piped.XMLdig";
  EXPECT_EQ(::mkfifo(input.c_str(), 0600), 0);
  std::thread writer([&] {
    std::FILE* pipe = std::fopen(input.c_str(), "wb");
    const std::size_t half = text.size() / 2;
    std::fwrite(text.data(), 1, half, pipe);
    std::fflush(pipe);
    std::filesystem::remove(input);
    std::fwrite(text.data() + half, 1, text.size() - half, pipe);
    std::fclose(pipe);
  });
  FakeHost host(testing::Text(input));
  RunConversion(host);
  writer.join();
  return host.messages;
}

TEST(MachineFaults, InputRemovedOrCutWhileReadGivesTheTableOrALoadFailure) {
  std::vector<std::uint8_t> data(300'000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 3);
  const std::string document = DocumentXml(3, 100'000, data);
  TempFolder folder;

  EXPECT_TRUE(ConvertThroughPipe(folder, document).empty());
  const std::string table = ReadFile(folder / "piped.txt");
  EXPECT_EQ(table.size(), 3 * (100'000 * 2 + 2));
  EXPECT_EQ(table.substr(0, 8), "0,1,2,0,");

  std::filesystem::remove(folder / "piped.txt");
  const auto messages = ConvertThroughPipe(folder, document.substr(0, document.size() * 2 / 3));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Error: ", 0), 0u);
  EXPECT_TRUE(folder.Entries().empty());
}

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
}
#endif

}  // namespace
}  // namespace sorrelin

#else  // Windows

#include <gtest/gtest.h>

#include <fstream>

#include "conversion_error.h"
#include "test_support.h"
#include "text_table.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers

// Wine run as root ignores the read-only attribute: the test skips there, and
// scripts/test-windows runs it again as an unprivileged user.
TEST(MachineFaults, ReadOnlyEarlierOutputIsRefusedAndKept) {
  TempFolder folder;
  const auto output = folder / "ro.txt";
  WriteFile(output, "kept");
  std::filesystem::permissions(output, std::filesystem::perms::owner_read);
  if (std::ofstream(output, std::ios::app)) {
    std::filesystem::permissions(output, std::filesystem::perms::owner_all);
    GTEST_SKIP() << "this user may write read-only files (wine as root)";
  }
  try {
    WriteDigitalTextTable(testing::Text(output),
                          {"1", "1", ByteBuffer(std::vector<std::uint8_t>{5})});
    ADD_FAILURE() << "replaced a read-only file";
  } catch (const ConversionError& error) {
    EXPECT_EQ(error.Number(), 1006) << error.what();
  }
  std::filesystem::permissions(output, std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadFile(output), "kept");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"ro.txt"});
}

}  // namespace
}  // namespace sorrelin

#endif
