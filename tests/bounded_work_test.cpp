// Work whose length the document sets stays bounded and stoppable: counts of lines
// no disk can hold, data held on disk until its counts come, what --info leaves, and
// progress that covers the whole conversion.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "failure_text.h"
#include "test_support.h"

#ifdef __unix__
#include <fcntl.h>
#include <unistd.h>
#endif

namespace sorrelin::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The conversion's result, or a failure when it does not end within a minute.
ConversionResult Converted(const ConversionRequest& request, ConversionProgress& progress,
                           const ConversionEnvironment& environment = {}) {
  auto running =
      std::async(std::launch::async, [&] { return RunConversion(request, progress, environment); });
  if (running.wait_for(60s) != std::future_status::ready) std::abort();  // hung
  return running.get();
}

TEST(BoundedWork, LineCountsNoDiskHoldsAreRefusedCountedOrStoppedAtOnce) {
  TempFolder folder;
  WriteFile(folder / "big.XMLdig", DocumentXml("1000000000000000", "0", ""));
  ConversionRequest request = RequestFor(folder / "big.XMLdig");
  FakeProgress progress;
  // Beside the document: refused by the size they need at least.
  for (const Format format : {Format::kTable, Format::kCsv, Format::kVcd}) {
    request.format = format;
    const ConversionResult result = Converted(request, progress);
    EXPECT_EQ(result.number, 1009);
    const char* least = format == Format::kCsv   ? "needs at least 6000000000000008 bytes"
                        : format == Format::kVcd ? "needs at least 250000000000"
                                                 : "needs 2000000000000000 bytes";
    EXPECT_NE(result.text.find(least), std::string::npos) << result.text;
  }
  // Nowhere: the exact sizes, counted; csv: "sample", ",lineN" for each line, CR LF.
  request.output.kind = OutputPlace::Kind::kNowhere;
  request.format = Format::kCsv;
  std::uint64_t digits = 16;  // of 10^15
  for (std::uint64_t n = 1, width = 1; n < 1000000000000000; n *= 10, ++width) {
    digits += 9 * n * width;
  }
  EXPECT_EQ(Converted(request, progress).figures.outputBytes, 6 + 5000000000000000 + digits + 2);
  // Written: each block of the header or the definitions asks whether to go on.
#ifdef __unix__
  const int saved = ::dup(1);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, 1);
  request.output.kind = OutputPlace::Kind::kStandardOutput;
  for (const Format format : {Format::kCsv, Format::kVcd}) {
    request.format = format;
    int asked = 0;
    progress.onBlock = [&asked](std::uint64_t) { return ++asked < 50; };
    EXPECT_EQ(Converted(request, progress).kind, ConversionResult::Kind::kCancelled);
    EXPECT_LT(asked, 55);  // asked again only by the reader's next block
  }
  ::dup2(saved, 1);
  ::close(saved);
  ::close(null);
#endif
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"big.XMLdig"});
}

// Data before its counts goes to a temporary file beside the output, which is told
// apart from the output's by the folder it is made in; nothing of --info's goes
// beside the document; and progress runs from 0 to the whole, rows included.
TEST(BoundedWork, HeldDataAndInfoAndProgressGoWhereTheyShould) {
  TempFolder folder;
  const std::string late =
      Root(Data(EncodeBase64(RandomBytes(3'000'000, 3, 2))) + Header("2", "1500000"));
  WriteFile(folder / "run.XMLdig", late);
  fs::create_directory(folder / "out");
  struct Case {
    OutputPlace output;
    Format format;
    bool failHolding;  // the held data's temporary file cannot be made
    std::string outcome;
  };
  const std::string out = Text(folder / "out");
  const OutputPlace toOut{OutputPlace::Kind::kFolder, out},
      nowhere{OutputPlace::Kind::kNowhere, out};
  const Case cases[] = {
      {toOut, Format::kTable, false, ""},
      {toOut, Format::kCsv, false, ""},
      {toOut, Format::kTable, true,
       "error 1010: cannot make a temporary file in \"" + out + "\": "},
      {nowhere, Format::kCsv, false, ""},
      {nowhere, Format::kVcd, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(NameOf(c.format)) + (c.failHolding ? ", failing" : ""));
    std::vector<fs::path> madeIn;
    ConversionEnvironment environment;
    environment.temporaryFiles = [&](const fs::path& where) {
      madeIn.push_back(where);
      if (c.failHolding && madeIn.size() == 1) {
        errno = EROFS;
        return TemporaryFile{};
      }
      return CreateTemporaryFile(where);
    };
    ConversionRequest request = RequestFor(folder / "run.XMLdig", c.format);
    request.output = c.output;
    std::vector<std::uint64_t> shown;
    FakeProgress progress;
    progress.onBlock = [&shown](std::uint64_t at) { return shown.push_back(at), true; };
    const ConversionResult result = Converted(request, progress, environment);
    EXPECT_EQ(FailureText(result, "error").substr(0, c.outcome.size()), c.outcome);
    if (!c.outcome.empty()) continue;
    const bool nowhere = c.output.kind == OutputPlace::Kind::kNowhere;
    // The held data's temporary file first, beside the output or in the system's folder.
    ASSERT_FALSE(madeIn.empty());
    EXPECT_EQ(madeIn[0], nowhere ? fs::temp_directory_path() : folder / "out");
    for (const fs::path& where : madeIn) EXPECT_NE(where, folder.path());
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    if (nowhere) continue;
    EXPECT_EQ(shown.back(), late.size());
    // csv's reading takes the first half; its rows move the progress on.
    if (c.format != Format::kCsv) continue;
    EXPECT_EQ(std::count(shown.begin(), shown.end(), late.size() / 2), 5);  // read, held data
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [&](std::uint64_t at) {
      return at > late.size() / 2 && at < late.size();
    }));
  }
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"out", "run.XMLdig"}));
}

}  // namespace
}  // namespace sorrelin::testing
