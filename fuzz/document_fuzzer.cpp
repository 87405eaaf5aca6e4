// Feeds arbitrary bytes to the whole conversion as a document file, twice: as
// conversions run (data decoded beside the parser, table streamed) and the plain way
// (every byte through the parser, data kept until the end), with read blocks of
// pseudo-random sizes. Both must end alike: the same table bytes, or the same error
// and message. Every table must have the table's shape, and every failure must leave
// the earlier output as it was and no temporary file.
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "conversion_command.h"
#include "conversion_error.h"

namespace {

namespace fs = std::filesystem;

class Host : public sorrelin::ConversionHost {
 public:
  explicit Host(std::string path) : path_(std::move(path)) {}
  std::string PathText() const override { return path_; }
  void ShowMessage(const std::string& text) override {
    if (text.rfind("Error: ", 0) != 0 || !message.empty()) std::abort();
    message = text;
  }
  std::string message;

 private:
  std::string path_;
};

const fs::path& Folder() {
  static const fs::path folder = [] {
    // Tables beyond 8 MiB fail as a full disk would: exercises the write failure path.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{8 << 20, 8 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    fs::path path =
        fs::temp_directory_path() / ("sorrelin-fuzz-" + std::to_string(std::random_device()()));
    fs::create_directories(path);
    return path;
  }();
  return folder;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Rows of the same number of values 0..255 without leading zeros, each with its comma,
// every row ended by CR LF.
bool HasTheTableShape(const std::string& table) {
  long rowValues = -1, values = 0;
  for (std::size_t at = 0; at < table.size();) {
    if (table[at] == '\r') {
      if (at + 1 >= table.size() || table[at + 1] != '\n') return false;
      if (rowValues >= 0 && values != rowValues) return false;
      rowValues = values;
      values = 0;
      at += 2;
      continue;
    }
    std::size_t digits = 0;
    int value = 0;
    while (at + digits < table.size() && table[at + digits] >= '0' && table[at + digits] <= '9') {
      value = value * 10 + (table[at + digits] - '0');
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && table[at] == '0')) return false;
    at += digits;
    if (at >= table.size() || table[at] != ',') return false;
    ++at;
    ++values;
  }
  return values == 0;
}

// Converts the document over an earlier output; returns the table or the failure.
std::string Convert(const sorrelin::ConversionOptions& options) {
  const fs::path input = Folder() / "doc.XMLdig";
  const fs::path output = Folder() / "doc.txt";
  const std::string earlier = "earlier output";
  {
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out << earlier;
  }
  Host host(input.string());
  std::string outcome;
  try {
    sorrelin::RunConversion(host, options);
    outcome = host.message.empty() ? "table " + Read(output) : host.message;
  } catch (const sorrelin::ConversionError& error) {
    if (error.Number() < 1001 || error.Number() > 1010) std::abort();
    outcome = "error " + std::to_string(error.Number()) + ": " + error.what();
  }
  const bool converted = outcome.rfind("table ", 0) == 0;
  if (converted ? !HasTheTableShape(outcome.substr(6)) : Read(output) != earlier) std::abort();
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(Folder())) {
    (void)entry;
    ++entries;
  }
  if (entries != 2) std::abort();  // a temporary file was left behind
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(Folder() / "doc.XMLdig", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  // Block sizes from the document's own bytes, so a run is repeatable.
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  sorrelin::ConversionOptions usual;
  usual.reading.readBlock = hash % 4 == 0 ? std::size_t{1} << 20 : 1 + hash % 200;
  usual.reading.blockSeed = hash | 1;
  // The same blocks both ways: where expat reports a malformed character can depend on
  // where its input was cut.
  sorrelin::ConversionOptions plain = usual;
  plain.reading.decodeBesideParser = false;
  plain.streamTable = false;
  plain.unnamedTemporaryFile = false;
  if (Convert(usual) != Convert(plain)) std::abort();
  return 0;
}
