// Throughput of the two hot loops: Base64 decoding and table formatting.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base64_decoder.h"
#include "byte_buffer.h"
#include "table_format.h"

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

void Base64Decode(benchmark::State& state) {
  const auto lines = Base64Lines(static_cast<std::size_t>(state.range(0)));
  std::size_t characters = 0;
  for (const auto& line : lines) characters += line.size();
  for (auto _ : state) {
    sorrelin::ByteBuffer out;
    out.Reserve(characters);
    sorrelin::Base64Decoder decoder(out);
    for (const auto& line : lines) decoder.Feed(line);
    decoder.Finish();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * characters));
}
BENCHMARK(Base64Decode)->Arg(1 << 22);

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
