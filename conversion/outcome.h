#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "conversion_error.h"

namespace sorrelin {

// The stages of a conversion, in the order their faults are reported: when several
// faults coexist, the one of the earliest stage is told, whichever was met first.
enum class Stage {
  kMachine,           // the XML reader or memory
  kLoad,              // the document is not well-formed, or cannot be read
  kLineCountElement,  // elements, in the order they are read
  kSampleCountElement,
  kDataElement,  // missing, or not Base64
  kOutputPath,
  kOutputFile,
  kCounts,
  kSelection,
  kDataLength,
  kFreeSpace,
  kWriting,
  kPlacing,  // the output's name was taken meanwhile, and the file there kept
};

// What a converted document held, and the size of its output.
struct ConversionFigures {
  std::uint64_t lines = 0;
  std::uint64_t samples = 0;
  std::uint64_t dataBytes = 0;
  std::uint64_t outputBytes = 0;
  std::uint64_t segments = 0;  // in the document, with a BinaryData
};

// How a conversion ended, for a front end to tell.
struct ConversionResult {
  // kSkipped: a file took the output's name before it could be put in place, and was
  // kept (ConversionRequest::keepExisting).
  enum class Kind { kConverted, kLoadFailure, kError, kCancelled, kSkipped };
  Kind kind = Kind::kConverted;
  int number = 0;             // the error number of kError
  std::string text;           // the reason of kLoadFailure, the description of kError, the output's
                              // path of kSkipped
  ConversionFigures figures;  // of kConverted
};

// Collects the faults of one conversion and keeps the first by stage. This is the
// only place that knows the order of stages; no one ranks faults by number.
class Outcome {
 public:
  void Report(Stage stage, const ConversionError& error);
  void ReportLoadFailure(const std::string& reason);
  // The output was not put in place: a file took its name, and stays.
  void ReportSkipped(const std::string& outputPath);
  // Takes the first fault of `part`, a part of this conversion, its text after `prefix`.
  void Include(const Outcome& part, const std::string& prefix);
  bool Failed() const noexcept { return first_.has_value(); }
  ConversionResult Result() const;

 private:
  struct Fault {
    Stage stage;
    ConversionResult result;
  };
  void Keep(Stage stage, ConversionResult result);

  std::optional<Fault> first_;
};

}  // namespace sorrelin
