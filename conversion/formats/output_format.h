#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/data_plan.h"
#include "output/output_stream.h"
#include "output/temporary_file.h"

namespace sorrelin {

// Asked now and then while a format writes what does not come with the values, with
// how much of that work is done (0 to 1); false stops it.
using Proceed = std::function<bool(double done)>;

// Turns the chosen values into one kind of output, written to an OutputStream.
// The values come line after line: each chosen line's chosen samples, in order.
class OutputFormat {
 public:
  virtual ~OutputFormat() = default;
  // The smallest output the plan allows: its space is checked and reserved first.
  // The maximum when it does not fit in 64 bits.
  virtual std::uint64_t SmallestSize() const = 0;
  // Writes what comes before the values; false when `proceed` said no.
  virtual bool Begin(const Proceed& proceed) = 0;
  // Values of the line under way, in order.
  virtual void Values(std::span<const std::uint8_t> values) = 0;
  // Where the next `count` values of the line may be put, when Values would only copy
  // them there (given to Values from there, they are not copied); else null.
  virtual std::uint8_t* Room(std::size_t count) {
    (void)count;
    return nullptr;
  }
  // The line under way has all its chosen values.
  virtual void EndLine() = 0;
  // Every value has come: writes what follows, asking `proceed` now and then whether
  // to go on. False when it said no and the output is left unfinished.
  virtual bool End(const Proceed& proceed) = 0;
};

// What a format needs beyond the plan.
struct FormatSettings {
  std::optional<double> sampleRate;   // samples per second
  std::string documentName;           // the source document's file name, for headers
  std::filesystem::path spillFolder;  // where a format that transposes keeps the values
  TemporaryFileFactory temporaryFiles;
  bool changes = false;  // rows only where a chosen line changes (CSV)
  bool vectors = false;  // a line of other values than 0 and 1 as one 8-bit wire (VCD)
};

}  // namespace sorrelin
