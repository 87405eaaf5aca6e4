// Feeds arbitrary bytes to the whole conversion as a document file (of its first
// segment or, for some, of every segment, their tables joined), twice: as
// conversions run (data decoded beside the parser) and the plain way (every byte
// through the parser, the temporary file named), with read blocks of pseudo-random
// sizes. Both must end alike: the same table bytes, or the same error
// and message. Every table must have the table's shape, and every failure must leave
// the earlier output as it was and no temporary file.
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>

#include "test_support.h"

namespace {

using namespace sorrelin::testing;

// Rows of the same number of values 0..255 without leading zeros, each with its comma,
// every row ended by CR LF.
bool HasTheTableShape(const std::string& table) {
  std::size_t rowValues = std::string::npos;
  for (std::size_t at = 0, end; at < table.size(); at = end + 2) {
    if ((end = table.find("\r\n", at)) == std::string::npos) return false;
    std::size_t values = 0;
    for (std::size_t value = at, comma; value < end; value = comma + 1, ++values) {
      comma = table.find(',', value);
      const std::size_t digits = table.find_first_not_of("0123456789", value) - value;
      if (comma >= end || digits != comma - value || digits == 0 || digits > 3 ||
          (digits > 1 && table[value] == '0') || std::stoi(table.substr(value, digits)) > 255) {
        return false;
      }
    }
    if (rowValues != std::string::npos && values != rowValues) return false;
    rowValues = values;
  }
  return true;
}

const TempFolder folder;

// Converts the document over an earlier output; returns the table or the failure.
std::string Convert(const sorrelin::ConversionEnvironment& environment, bool everySegment) {
  WriteFile(folder / "doc.txt", "earlier output");
  sorrelin::ConversionRequest request = RequestFor(folder / "doc.XMLdig");
  if (everySegment) request.segment = sorrelin::kEverySegment;
  FakeProgress progress;
  std::string outcome = ConversionOutcome(request, progress, environment);
  if (everySegment && outcome.rfind("table ", 0) == 0) {
    outcome = "table ";  // the segments' tables, in their order
    for (const std::string& name : folder.Entries()) {
      if (name.rfind("doc.s", 0) != 0) continue;
      outcome += ReadFile(folder / name);
      std::filesystem::remove(folder / name);
    }
  }
  const bool converted = outcome.rfind("table ", 0) == 0;
  const bool failed = outcome.rfind("Error: ", 0) == 0 || outcome.rfind("error 10", 0) == 0;
  if (converted ? !HasTheTableShape(outcome.substr(6))
                : !failed || ReadFile(folder / "doc.txt") != "earlier output") {
    std::abort();
  }
  if (folder.Entries().size() != 2) std::abort();  // a temporary file was left behind
  // The free space a refusal mentions changes with everything else on the disk.
  if (outcome.rfind("error 1009", 0) == 0) return outcome.substr(0, outcome.find(" bytes"));
  return outcome;
}

}  // namespace

// Tables beyond 8 MiB fail as a full disk would: exercises the write failure path.
// libFuzzer installs its own SIGXFSZ handler after this unless run with -handle_xfsz=0.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{8 << 20, 8 << 20};
  return setrlimit(RLIMIT_FSIZE, &limit);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteFile(folder / "doc.XMLdig", std::string(reinterpret_cast<const char*>(data), size));
  // Block sizes from the document's own bytes, so a run is repeatable.
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  const std::size_t block = hash % 4 == 0 ? std::size_t{1} << 20 : 1 + hash % 200;
  // The same blocks both ways: where expat reports a malformed character can depend on
  // where its input was cut.
  const bool everySegment = hash % 3 == 1;
  if (Convert(EnvironmentFor(Way::kInPieces, block, hash | 1), everySegment) !=
      Convert(EnvironmentFor(Way::kPlainly, block, hash | 1), everySegment)) {
    std::abort();
  }
  return 0;
}
