// Throughput of the two hot loops: Base64 decoding (by each kernel this processor runs)
// and table formatting.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "byte_buffer.h"
#include "formats/table_format.h"
#include "read/base64_decoder.h"
#include "read/base64_kernels.h"

namespace {

std::vector<std::uint8_t> RandomBits(std::size_t count) {
  std::mt19937 random(3);
  std::vector<std::uint8_t> bytes(count);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random() & 1);
  return bytes;
}

// MIME-style text: 76 characters and CR LF per line, fed line by line as the parser does.
std::vector<std::string> Base64Lines(std::size_t bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::mt19937 random(5);
  std::vector<std::string> lines;
  for (std::size_t done = 0; done < bytes; done += 57) {
    std::string line;
    for (int i = 0; i < 76; ++i) line += kAlphabet[random() % 64];
    lines.push_back(line);
    lines.push_back("\n");
  }
  return lines;
}

// Arguments: decoded bytes, kernel, and how the text comes: 0 line by line through Feed
// as the parser hands it over, 1 as one run through FeedRun, CR LF kept, as the raw
// document holds it.
void Base64Decode(benchmark::State& state) {
  const auto kernel = static_cast<sorrelin::Base64Kernel>(state.range(1));
  const bool run = state.range(2) == 1;
  state.SetLabel(std::string(sorrelin::Base64KernelName(kernel)) + (run ? " run" : " lines"));
  const auto lines = Base64Lines(static_cast<std::size_t>(state.range(0)));
  std::string text;
  for (const auto& line : lines) text += line == "\n" ? "\r\n" : line;
  std::size_t characters = 0;
  for (const auto& line : lines) characters += line.size();
  if (run) characters = text.size();
  sorrelin::ByteBuffer out;  // reused, as the reader reuses its buffer
  out.Reserve(characters);
  for (auto _ : state) {
    out.Clear();
    sorrelin::Base64Decoder decoder(out, kernel);
    if (run) {
      benchmark::DoNotOptimize(decoder.FeedRun(text));
    } else {
      for (const auto& line : lines) decoder.Feed(line);
    }
    decoder.Finish();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * characters));
}
BENCHMARK(Base64Decode)->Apply([](benchmark::internal::Benchmark* benchmark) {
  for (const sorrelin::Base64Kernel kernel : sorrelin::AvailableBase64Kernels()) {
    for (const int run : {0, 1}) benchmark->Args({1 << 22, static_cast<int>(kernel), run});
  }
});

void FormatValues(benchmark::State& state) {
  const auto values = RandomBits(static_cast<std::size_t>(state.range(0)));
  auto out = std::make_unique<char[]>(sorrelin::FormatRoom(values.size()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(sorrelin::FormatValues(values.data(), values.size(), out.get()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}
BENCHMARK(FormatValues)->Arg(1 << 22);

void FormattedSize(benchmark::State& state) {
  const auto values = RandomBits(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(sorrelin::FormattedSize(values));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}
BENCHMARK(FormattedSize)->Arg(1 << 22);

}  // namespace

BENCHMARK_MAIN();
