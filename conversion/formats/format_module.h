#pragma once

#include <memory>
#include <string_view>

#include "formats/output_format.h"

namespace sorrelin {

// The options of the command line a format takes besides the selection.
struct FormatOptions {
  bool rate = false;     // a sample rate
  bool changes = false;  // rows only where a chosen line changes
  bool vectors = false;  // lines of other values than 0 and 1 as 8-bit wires
  bool wholeHertz = false;  // the rate is kept in whole hertz only
};

// A kind of output: what the front ends offer and check, and its writer. Each format
// defines one in its own source file; the list of them is in format_list.cpp.
struct FormatModule {
  std::string_view name;         // what --format takes: "csv"
  std::string_view extension;    // of the output file: ".csv"
  std::string_view description;  // one line, for the help
  std::string_view choice;       // the window's "Convert to" entry: "CSV for spreadsheets"
  std::string_view noun;         // what messages call the output: "table", "output"
  // Needs every chosen line of a sample at once, so keeps the values in a temporary
  // file until the last line has come.
  bool spills = false;
  bool toStandardOutput = true;  // can be written as it is made
  FormatOptions options;
  std::unique_ptr<OutputFormat> (*make)(const DataPlan& plan, OutputStream& out,
                                        const FormatSettings& settings) = nullptr;
};

}  // namespace sorrelin
