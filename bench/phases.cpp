// Times the conversion's parts on one document, single-threaded:
//   expat        expat alone, no handlers: the floor of any parse of the whole document
//   plain        the reader with every byte through expat, the data decoded and dropped
//   read         the reader as conversions run it, data decoded beside expat and dropped
//   format       formatting the data into memory, nothing written
//   convert      the whole conversion: read, format and write the table through the
//                safe output file
// Usage: phases DOCUMENT (the table is written beside it)
#include <expat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "conversion_command.h"
#include "formats/table_format.h"
#include "platform/files.h"
#include "read/xml_pass.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

bool ExpatAlone(const char* path) {
  sorrelin::UniqueFile file = sorrelin::OpenFile(path, "rb");
  if (!file) return false;
  std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
      XML_ParserCreate(nullptr), &XML_ParserFree);
  constexpr int kBlock = 1 << 20;
  for (;;) {
    void* buffer = XML_GetBuffer(parser.get(), kBlock);
    const std::size_t n = std::fread(buffer, 1, kBlock, file.get());
    const bool last = n < kBlock;
    if (XML_ParseBuffer(parser.get(), static_cast<int>(n), last) != XML_STATUS_OK) return false;
    if (last) return true;
  }
}

// Keeps or drops the data of a document; reads on to its end.
class DataReader : public sorrelin::ReaderClient, public sorrelin::DataSink {
 public:
  explicit DataReader(bool keep) : keep_(keep) {}
  sorrelin::DataSink& DataBegins(const sorrelin::DocumentValues& soFar) override {
    counts = soFar.lineCount && soFar.sampleCount;
    return *this;
  }
  bool KeepReading(std::uint64_t, std::uint64_t) override { return true; }
  void Take(std::span<const std::uint8_t> bytes) override {
    size += bytes.size();
    if (keep_) std::copy(bytes.begin(), bytes.end(), data.AppendSpace(bytes.size()));
    if (keep_) data.CommitAppended(bytes.size());
  }
  bool counts = false;
  std::uint64_t size = 0;
  sorrelin::ByteBuffer data;

 private:
  bool keep_;
};

// Reads the document, decoding its data beside the parser or not; seconds taken.
double Read(const char* path, bool besideParser, DataReader& reader) {
  auto source = sorrelin::OpenDocumentFile(path).source;
  const auto start = Clock::now();
  if (!source ||
      sorrelin::XmlPass(*source, reader, besideParser, sorrelin::BestBase64Kernel()).Run().end !=
          sorrelin::DocumentRead::End::kRead ||
      !reader.counts || reader.size == 0) {
    std::fprintf(stderr, "phases: %s did not load with its data after its counts\n", path);
    std::exit(1);
  }
  return Seconds(start);
}

struct NoProgress : sorrelin::ConversionProgress {
  bool KeepConverting(std::uint64_t, std::uint64_t) override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: phases DOCUMENT\n");
    return 2;
  }
  auto start = Clock::now();
  if (!ExpatAlone(argv[1])) return 1;
  const double expat = Seconds(start);
  DataReader dropped(false), kept(true);
  const double plain = Read(argv[1], false, dropped);
  const double read = Read(argv[1], true, dropped);
  Read(argv[1], true, kept);
  const sorrelin::ByteBuffer& data = kept.data;
  constexpr std::size_t kBlock = 1 << 20;
  auto scratch = std::make_unique_for_overwrite<char[]>(sorrelin::FormatRoom(kBlock));
  start = Clock::now();
  std::uint64_t formatted = 0;
  for (std::size_t at = 0; at < data.size(); at += kBlock) {
    const std::size_t n = std::min(kBlock, data.size() - at);
    formatted += static_cast<std::uint64_t>(
        sorrelin::FormatValues(data.data() + at, n, scratch.get()) - scratch.get());
  }
  const double format = Seconds(start);

  sorrelin::ConversionRequest request;
  request.pathText = argv[1];
  NoProgress progress;
  start = Clock::now();
  if (sorrelin::RunConversion(request, progress).kind !=
      sorrelin::ConversionResult::Kind::kConverted) {
    std::fprintf(stderr, "phases: %s did not convert\n", argv[1]);
    return 1;
  }
  const double convert = Seconds(start);

  std::printf(
      "expat %.3f\nplain %.3f\nread %.3f\nformat %.3f\nconvert %.3f\nformatted_bytes %llu\n", expat,
      plain, read, format, convert, static_cast<unsigned long long>(formatted));
  return 0;
}
