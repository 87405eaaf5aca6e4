// A document's bytes that fail or keep a reader waiting: a failed read ends the
// conversion with its cause and place, and a wait for a writer can always be stopped.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <random>
#include <thread>

#include "test_support.h"

#ifdef __unix__
#include <sys/stat.h>
#endif

namespace sorrelin::testing {
namespace {

namespace fs = std::filesystem;

// A file whose first reading fails once `failAt` bytes have been read; read again,
// it reads whole, as after a passing fault of a disk or a network.
struct FailingOnce : BlockSource {
  FailingOnce(std::unique_ptr<BlockSource> source, std::uint64_t failAt)
      : source(std::move(source)), failAt(failAt) {}
  Block Read(std::span<char> buffer) override {
    if (failing && read == failAt) throw DocumentUnreadable("cannot read: it broke");
    const auto most =
        failing ? std::min<std::uint64_t>(buffer.size(), failAt - read) : buffer.size();
    const Block block = source->Read(buffer.first(static_cast<std::size_t>(most)));
    read += block.size;
    return block;
  }
  std::uint64_t Size() const override { return source->Size(); }
  bool Rereadable() const override { return true; }
  bool Rewind() override {
    failing = false;
    return source->Rewind();
  }
  std::optional<FileIdentity> Identity() const override { return source->Identity(); }
  std::unique_ptr<BlockSource> source;
  std::uint64_t failAt, read = 0;
  bool failing = true;
};

TEST(ReadFaults, AFailedReadIsFinalWhereverItComes) {
  TempFolder folder;
  std::vector<std::uint8_t> noise(3'000'000);
  std::mt19937 random(5);
  for (auto& byte : noise) byte = static_cast<std::uint8_t>(random() & 1);
  const std::string document = DocumentXml("3", "1000000", EncodeBase64(noise));
  WriteFile(folder / "run.XMLdig", document);
  // Before the data, amid it (decoded beside the parser), and at its very end.
  for (const std::uint64_t failAt :
       {std::uint64_t{100}, std::uint64_t{2'500'000}, std::uint64_t{document.size()} - 20}) {
    for (const Format format : {Format::kTable, Format::kCsv}) {
      SCOPED_TRACE(std::to_string(failAt));
      const char* output = format == Format::kTable ? "run.txt" : "run.csv";
      WriteFile(folder / output, "earlier");
      ConversionEnvironment environment;
      environment.openDocument = [failAt](std::string_view path) {
        OpenedDocument opened = OpenDocumentFile(path);
        opened.source = std::make_unique<FailingOnce>(std::move(opened.source), failAt);
        return opened;
      };
      ConversionRequest request;
      request.pathText = Text(folder / "run.XMLdig");
      request.format = format;
      FakeProgress progress;
      const std::string outcome = ConversionOutcome(request, progress, environment);
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
      ConversionRequest request;
      request.pathText = Text(fifo);
      FakeProgress progress;
      progress.onBlock = [&](std::uint64_t) {
        return writer || std::chrono::steady_clock::now() - start < 300ms;
      };
      return ConversionOutcome(request, progress);
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

}  // namespace
}  // namespace sorrelin::testing
