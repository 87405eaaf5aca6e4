// Times the conversion's parts on one document, single-threaded:
//   expat        expat alone, no handlers: the floor of any parse of the whole document
//   plain        the reader with every byte through expat, the data decoded and dropped
//   read         the reader as conversions run it, data decoded beside expat and dropped
//   format       formatting the data into memory, nothing written
//   convert      the whole conversion: read, format and write the table through the
//                safe output file
// Usage: phases DOCUMENT (the table is written beside it)
#include <expat.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "conversion_command.h"
#include "digital_document.h"
#include "platform.h"
#include "table_format.h"

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

class DroppedData : public sorrelin::DataSink {
 public:
  void Take(std::span<const std::uint8_t> bytes) override { size += bytes.size(); }
  std::uint64_t size = 0;
};

// Seconds to read the document, decoding its data into a sink that drops it.
double Read(const char* path, bool besideParser) {
  DroppedData dropped;
  sorrelin::LoadOptions options;
  options.reading.decodeBesideParser = besideParser;
  options.dataSink = [&dropped](const std::string&, const std::string&) { return &dropped; };
  const auto start = Clock::now();
  if (!sorrelin::LoadDigitalDocument(path, options).Loaded() || dropped.size == 0) {
    std::fprintf(stderr, "phases: %s did not load with its data after its counts\n", path);
    std::exit(1);
  }
  return Seconds(start);
}

class Host : public sorrelin::ConversionHost {
 public:
  explicit Host(std::string path) : path_(std::move(path)) {}
  std::string PathText() const override { return path_; }
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "phases: %s\n", text.c_str());
    std::exit(1);
  }

 private:
  std::string path_;
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
  const double plain = Read(argv[1], false);
  const double read = Read(argv[1], true);

  sorrelin::DigitalDocument document = sorrelin::LoadDigitalDocument(argv[1]);
  const sorrelin::ByteBuffer data = document.ReadData();
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

  Host host(argv[1]);
  start = Clock::now();
  sorrelin::RunConversion(host);
  const double convert = Seconds(start);

  std::printf(
      "expat %.3f\nplain %.3f\nread %.3f\nformat %.3f\nconvert %.3f\nformatted_bytes %llu\n", expat,
      plain, read, format, convert, static_cast<unsigned long long>(formatted));
  return 0;
}
