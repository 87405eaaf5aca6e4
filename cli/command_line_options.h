#pragma once

#include <optional>
#include <string>
#include <vector>

#include "conversion_request.h"

namespace sorrelin {

// What sorrelin-convert is asked to do.
struct CommandLineOptions {
  const FormatModule* format = &DefaultFormat();
  Selection selection;
  std::optional<double> sampleRate;
  bool changes = false;
  bool vectors = false;
  std::uint64_t segment = 1;
  OutputPlace output;  // beside each document unless -o or --output-dir
  bool noClobber = false;
  bool sync = false;
  bool info = false;
  bool quiet = false;
  std::vector<std::string> paths;
};

// How reading the command line ended: with options to run, or with the status to exit
// with after help, the version or a usage error has been printed.
struct CommandLine {
  std::optional<CommandLineOptions> options;
  int exitStatus = 0;
};

// Reads the arguments after the program's name (UTF-8).
CommandLine ReadCommandLine(std::vector<std::string> arguments);

}  // namespace sorrelin
