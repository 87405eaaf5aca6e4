// A document's bytes that fail or keep a reader waiting: a failed read ends the
// conversion with its cause and place, a wait for a writer can always be stopped, a
// document read in blocks of any size is read to its fault, and only an
// ASCII-compatible document's data is decoded beside the parser.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <future>
#include <thread>
#include <tuple>

#include "output/block_writer.h"
#include "read/xml_pass.h"
#include "test_support.h"

#ifdef __unix__
#include <sys/stat.h>
#endif

namespace sorrelin::testing {
namespace {

namespace fs = std::filesystem;

TEST(ReadFaults, AFailedReadIsFinalWhereverItComes) {
  TempFolder folder;
  const std::string document =
      DocumentXml("3", "1000000", EncodeBase64(RandomBytes(3'000'000, 5, 1)));
  WriteFile(folder / "run.XMLdig", document);
  // Before the data, amid it (decoded beside the parser), and at its very end.
  for (const std::uint64_t failAt :
       {std::uint64_t{100}, std::uint64_t{2'500'000}, std::uint64_t{document.size()} - 20}) {
    for (const FormatModule* format : {FormatNamed("table"), FormatNamed("csv")}) {
      SCOPED_TRACE(std::to_string(failAt));
      const char* output = format == FormatNamed("table") ? "run.txt" : "run.csv";
      WriteFile(folder / output, "earlier");
      FakeProgress progress;
      const std::string outcome = ConversionOutcome(RequestFor(folder / "run.XMLdig", format),
                                                    progress, EnvironmentFor({.failAt = failAt}));
      EXPECT_EQ(outcome.substr(0, 100), "Error: cannot read: it broke");
      EXPECT_EQ(ReadFile(folder / output), "earlier");
      fs::remove(folder / output);
      EXPECT_EQ(folder.Entries(), std::vector<std::string>{"run.XMLdig"});
    }
  }
}

#ifdef __unix__
// A FIFO with no writer keeps the open and the reads waiting; the conversion is
// still asked whether to go on, and a writer that comes later is read whole.
TEST(ReadFaults, AFifoWithoutAWriterCanBeStoppedAndOneWithAWriterIsRead) {
  using namespace std::chrono_literals;
  TempFolder folder;
  const fs::path fifo = folder / "run.XMLdig";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const bool writer : {false, true}) {
    SCOPED_TRACE(writer ? "with a writer" : "without");
    const auto start = std::chrono::steady_clock::now();
    auto conversion = std::async(std::launch::async, [&] {
      FakeProgress progress;
      progress.onBlock = [&](std::uint64_t) {
        return writer || std::chrono::steady_clock::now() - start < 300ms;
      };
      return ConversionOutcome(RequestFor(fifo), progress);
    });
    if (writer) {
      std::this_thread::sleep_for(400ms);
      WriteFile(fifo, DocumentXml("1", "2", "AQA="));
    }
    if (conversion.wait_for(5s) != std::future_status::ready) {
      std::ofstream(fifo) << "<end/>";  // free the conversion, and fail
      FAIL() << "the wait was not stopped";
    }
    EXPECT_EQ(conversion.get(), writer ? "table 1,0,\r\n" : "cancelled");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  }
}
#endif

// In blocks of any size, a document is read whole, or up to its fault, its data decoded
// whole; the data is decoded beside the parser only in an ASCII-compatible document,
// told from its first bytes in one block or in two.
TEST(XmlPass, ReadsToItsFaultAndDecodesBesideTheParserOnlyInAscii) {
  const std::string data = EncodeBase64(std::vector<std::uint8_t>(6000, 'd'));  // past a slice
  const std::string body = Root(Header("1", "2400") + Data(data));
  auto wide = [](const std::string& text) {  // UTF-16LE
    std::string utf16;
    for (const char c : text) utf16 += {c, '\0'};
    return utf16;
  };
  const std::string declared = "<?xml version=\"1.0\" encoding=\"";
  // In the second, a comment longer than two blocks grows the blocks read for expat; the
  // third to fifth are ASCII-compatible, the last two UTF-16.
  const std::string documents[] = {
      DocumentXml("1", "2400", data),
      Root("<!--" + std::string(3 << 20, 'c') + "-->" + Header("1", "2400") + Data(data)),
      body, declared + "ISO-8859-1\"?>" + body, declared + "Windows-1252\"?>" + body,
      "\xFF\xFE" + wide(body), wide(declared + "UTF-16\"?>" + body)};
  // The document, the largest read (0: whole reads), the bytes read before the fault.
  const std::tuple<int, std::size_t, std::size_t> cases[] = {
      {0, 0, SIZE_MAX}, {0, 1, SIZE_MAX}, {0, 7, SIZE_MAX}, {0, 0, 0},
      {0, 1, 1},        {0, 7, 60},       {0, 1, 300},      {0, 0, 300},
      {1, 0, SIZE_MAX}, {1, 0, 3 << 20},  {1, 0, 5 << 19},  {1, 0, (3 << 20) + 200},
      {2, 16, SIZE_MAX}, {2, 1, SIZE_MAX}, {3, 16, SIZE_MAX}, {3, 1, SIZE_MAX}, {4, 16, SIZE_MAX},
      {4, 1, SIZE_MAX},  {5, 16, SIZE_MAX}, {5, 1, SIZE_MAX}, {6, 16, SIZE_MAX}, {6, 1, SIZE_MAX},
      {2, 0, SIZE_MAX},  {5, 0, SIZE_MAX}};
  TempFolder folder;
  for (const auto& [document, largestRead, failAt] : cases) {
    SCOPED_TRACE(std::to_string(document) + " " + std::to_string(largestRead) + " " +
                 std::to_string(failAt));
    WriteFile(folder / "doc.XMLdig", documents[document]);
    ReadingSource source(OpenDocumentFile(Text(folder / "doc.XMLdig")).source,
                         {largestRead, 3, true, failAt});
    Recorder recorder;
    XmlPass pass(source, recorder, true, BestBase64Kernel());
    const DocumentRead read = pass.Run();
    EXPECT_EQ(read.loadFailure, failAt == SIZE_MAX ? "" : "cannot read: it broke");
    EXPECT_EQ(pass.BytesRead(), std::min<std::uint64_t>(failAt, documents[document].size()));
    EXPECT_TRUE(failAt != SIZE_MAX || std::ranges::count(recorder.seen, 'd') == 6000);
    EXPECT_TRUE(document < 2 || pass.DecodedBesideParser() == (document < 5));
  }
}

#ifndef _WIN32
// Where the helper thread writes, the signals it blocks.
struct SignalsSeen : OutputTarget {
  void Reserve(std::uint64_t) override {}
  void Write(const char*, std::size_t) override { seen = BlockedSignals(); }
  bool Commit(const std::function<bool()>&) override { return false; }
  void Discard() noexcept override {}
  std::string seen;
};

TEST(HelperThreads, LeaveTheStopSignalsToTheThreadThatConverts) {
  ASSERT_EQ(BlockedSignals(), "00000");
  SignalsSeen target;
  BlockWriter writer(target, 16);
  writer.Hand(1);
  writer.Drain();
  EXPECT_EQ(target.seen, "11100");
  EXPECT_EQ(BlockedSignals(), "00000");
}
#endif

}  // namespace
}  // namespace sorrelin::testing
