// A file read ahead on a thread of its own ends as it does read on the caller's thread.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#endif

#include <cstdint>
#include <tuple>

#include "output/block_writer.h"
#include "read/read_ahead.h"
#include "read/xml_pass.h"
#include "test_support.h"

namespace sorrelin::testing {
namespace {

// A document whose reads fail once `failAt` bytes have been read; `rereadable` says
// whether it is read ahead.
struct FailingSource : BlockSource {
  FailingSource(std::unique_ptr<BlockSource> source, std::size_t failAt, bool rereadable)
      : source(std::move(source)), failAt(failAt), rereadable(rereadable) {}
  Block Read(std::span<char> buffer) override {
    if (read == failAt) throw DocumentUnreadable("cannot read \"doc\": it broke");
    const Block block = source->Read(buffer.first(std::min(buffer.size(), failAt - read)));
    read += block.size;
    return block;
  }
  std::uint64_t Size() const override { return source->Size(); }
  bool Rereadable() const override { return rereadable; }
  bool Rewind() override { return false; }
  std::optional<FileIdentity> Identity() const override { return std::nullopt; }
  std::unique_ptr<BlockSource> source;
  std::size_t failAt, read = 0;
  bool rereadable;
};

// The bytes read at each block, the data decoded, and how the reading ended.
struct Recorder : ReaderClient, DataSink {
  DataSink& DataBegins(const DocumentValues&) override { return *this; }
  bool KeepReading(std::uint64_t read, std::uint64_t) override {
    seen += std::to_string(read) + " ";
    return true;
  }
  void Take(std::span<const std::uint8_t> data) override { seen.append(data.begin(), data.end()); }
  std::string seen;
};

TEST(ReadAhead, EndsAsAReadOnTheCallersThreadWithAFaultAfterTheBytesBeforeIt) {
  const std::string data = EncodeBase64(std::vector<std::uint8_t>(300, 'd'));
  // In the second, a comment longer than two blocks grows the blocks read for expat.
  const std::string documents[] = {
      DocumentXml("1", "2400", data),
      Root("<!--" + std::string(3 << 20, 'c') + "-->" + Header("1", "2400") + Data(data))};
  // The document, the largest read (0: whole reads), the bytes read before the fault.
  const std::tuple<int, std::size_t, std::size_t> cases[] = {
      {0, 0, SIZE_MAX}, {0, 1, SIZE_MAX}, {0, 7, SIZE_MAX}, {0, 0, 0},
      {0, 1, 1},        {0, 7, 60},       {0, 1, 300},      {0, 0, 300},
      {1, 0, SIZE_MAX}, {1, 0, 3 << 20},  {1, 0, 5 << 19},  {1, 0, (3 << 20) + 200}};
  TempFolder folder;
  for (const auto& [document, largestRead, failAt] : cases) {
    WriteFile(folder / "doc.XMLdig", documents[document]);
    std::string outcomes[2];
    for (const bool ahead : {false, true}) {
      std::unique_ptr<BlockSource> file = OpenDocumentFile(Text(folder / "doc.XMLdig")).source;
      if (largestRead != 0)
        file = std::make_unique<CutSource>(std::move(file), largestRead, 3, true);
      FailingSource source(std::move(file), failAt, ahead);
      Recorder recorder;
      XmlPass pass(source, recorder, true, BestBase64Kernel());
      const DocumentRead read = pass.Run();
      outcomes[ahead] =
          recorder.seen + "| " + read.loadFailure + " at " + std::to_string(pass.BytesRead());
    }
    EXPECT_EQ(outcomes[1], outcomes[0]) << document << " " << largestRead << " " << failAt;
    EXPECT_EQ(outcomes[1].find("it broke") != std::string::npos, failAt != SIZE_MAX);
  }
}

#ifndef _WIN32
// Which of SIGINT, SIGTERM, SIGHUP, SIGPIPE and SIGXFSZ the calling thread blocks, as
// five 0s and 1s.
std::string BlockedSignals() {
  sigset_t blocked;
  pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
  std::string seen;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ})
    seen += sigismember(&blocked, signal) ? '1' : '0';
  return seen;
}

// Where a helper thread reads or writes, the signals it blocks.
struct SignalsSeen : BlockSource, OutputTarget {
  Block Read(std::span<char>) override {
    seen = BlockedSignals();
    return {0, true};
  }
  std::uint64_t Size() const override { return 0; }
  bool Rereadable() const override { return true; }
  bool Rewind() override { return false; }
  std::optional<FileIdentity> Identity() const override { return std::nullopt; }
  void Reserve(std::uint64_t) override {}
  void Write(const char*, std::size_t) override { seen = BlockedSignals(); }
  bool Commit(const std::function<bool()>&) override { return false; }
  void Discard() noexcept override {}
  std::string seen;
};

TEST(HelperThreads, LeaveTheStopSignalsToTheThreadThatConverts) {
  ASSERT_EQ(BlockedSignals(), "00000");
  const std::function<std::string()> helpers[] = {[] {
                                                    SignalsSeen source;
                                                    ReadAhead(source, 16).Take();
                                                    return source.seen;
                                                  },
                                                  [] {
                                                    SignalsSeen target;
                                                    BlockWriter writer(target, 16);
                                                    writer.Hand(1);
                                                    writer.Drain();
                                                    return target.seen;
                                                  }};
  for (const auto& helper : helpers) EXPECT_EQ(helper(), "11100");
  EXPECT_EQ(BlockedSignals(), "00000");
}
#endif

}  // namespace
}  // namespace sorrelin::testing
