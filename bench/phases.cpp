// Times the conversion's phases on one document, single-threaded:
//   expat   expat alone, no handlers (the parsing floor)
//   load    the document reader: parse and Base64 decoding
//   format  formatting the table into memory, nothing written
//   write   the table writer: format and write through the safe output file
// Usage: phases DOCUMENT OUTPUT
#include <expat.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "digital_document.h"
#include "platform.h"
#include "table_format.h"
#include "text_table.h"

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: phases DOCUMENT OUTPUT\n");
    return 2;
  }
  auto start = Clock::now();
  if (!ExpatAlone(argv[1])) return 1;
  const double expat = Seconds(start);

  start = Clock::now();
  sorrelin::DigitalDocument document = sorrelin::LoadDigitalDocument(argv[1]);
  if (!document.Loaded()) return 1;
  sorrelin::DigitalWaveformDocument values{document.ReadLineCount(), document.ReadSampleCount(),
                                           document.ReadData()};
  const double load = Seconds(start);

  const auto samples = values.data.size();
  auto scratch = std::make_unique_for_overwrite<char[]>(4 << 20);
  start = Clock::now();
  std::uint64_t formatted = 0;
  for (std::size_t at = 0; at < samples; at += 1 << 20) {
    const std::size_t n = std::min<std::size_t>(1 << 20, samples - at);
    formatted += static_cast<std::uint64_t>(
        sorrelin::FormatValues({values.data.data() + at, n}, scratch.get()) - scratch.get());
  }
  const double format = Seconds(start);

  start = Clock::now();
  sorrelin::WriteDigitalTextTable(argv[2], values);
  const double write = Seconds(start);

  std::printf("expat %.3f\nload %.3f\nformat %.3f\nwrite %.3f\nformatted_bytes %llu\n", expat, load,
              format, write, static_cast<unsigned long long>(formatted));
  return 0;
}
