// Feeds arbitrary bytes to the whole conversion as a document file, twice: as
// conversions run (data decoded beside the parser, table streamed) and the plain way
// (every byte through the parser, data kept until the end), with read blocks of
// pseudo-random sizes. Both must end alike: the same table bytes, or the same error
// and message. Every table must have the table's shape, and every failure must leave
// the earlier output as it was and no temporary file.
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <utility>

#include "test_support.h"

namespace {

using namespace sorrelin::testing;

// Rows of the same number of values 0..255 without leading zeros, each with its comma,
// every row ended by CR LF.
bool HasTheTableShape(const std::string& table) {
  long rowValues = -1, values = 0;
  for (std::size_t at = 0; at < table.size();) {
    if (table.compare(at, 2, "\r\n") == 0) {
      if (rowValues >= 0 && values != rowValues) return false;
      rowValues = std::exchange(values, 0);
      at += 2;
      continue;
    }
    std::size_t digits = 0;
    while (at + digits < table.size() && table[at + digits] >= '0' && table[at + digits] <= '9') {
      ++digits;
    }
    if (digits == 0 || digits > 3 || (digits > 1 && table[at] == '0') ||
        std::stoi(table.substr(at, digits)) > 255 || table.compare(at + digits, 1, ",") != 0) {
      return false;
    }
    at += digits + 1;
    ++values;
  }
  return values == 0;
}

const TempFolder& Folder() {
  // Tables beyond 8 MiB fail as a full disk would: exercises the write failure path.
  static const bool limited = [] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{8 << 20, 8 << 20};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }();
  static const TempFolder folder;
  if (!limited) std::abort();
  return folder;
}

// Converts the document over an earlier output; returns the table or the failure.
std::string Convert(const sorrelin::ConversionOptions& options) {
  WriteFile(Folder() / "doc.txt", "earlier output");
  const std::string outcome = ConversionOutcome(Folder() / "doc.XMLdig", options);
  const bool converted = outcome.rfind("table ", 0) == 0;
  if (converted ? !HasTheTableShape(outcome.substr(6))
                : ReadFile(Folder() / "doc.txt") != "earlier output" ||
                      (outcome.rfind("Error: ", 0) != 0 && outcome.rfind("error 10", 0) != 0)) {
    std::abort();
  }
  if (Folder().Entries().size() != 2) std::abort();  // a temporary file was left behind
  // The free space a refusal mentions changes with everything else on the disk.
  if (outcome.rfind("error 1009", 0) == 0) return outcome.substr(0, outcome.find(" bytes"));
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteFile(Folder() / "doc.XMLdig", std::string(reinterpret_cast<const char*>(data), size));
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
