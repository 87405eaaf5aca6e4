#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "conversion_output.h"
#include "conversion_request.h"
#include "data_sink.h"
#include "held_data.h"
#include "outcome.h"
#include "output/safe_output_file.h"

namespace sorrelin {

// The outputs of every segment of a document, one at a time: each is written while
// its segment is read, sealed when the segment ends, and none is put in place before
// the whole document has been read and every segment converted. A segment's faults
// go to the outcome with its number. Memory holds one output's buffers and, for each
// sealed output, its names.
class SegmentOutputs {
 public:
  SegmentOutputs(const ConversionRequest& request, std::optional<FileIdentity> document,
                 const TemporaryFileFactory& temporaryFiles, Outcome& outcome,
                 std::function<bool()> proceed);

  // Segment `number` begins, with the document's counts: where its data goes.
  DataSink& Begin(const DocumentValues& counts, std::uint64_t number);
  // It ends, its data Base64 throughout or not: its output is finished and sealed.
  void End(bool valid);
  // Data held before the counts, segment after segment: each segment's length and
  // whether it was valid, in order. False when stopped.
  bool WriteHeld(HeldData& held, const DocumentValues& counts,
                 const std::vector<std::pair<std::uint64_t, bool>>& segments);
  // Puts every sealed output in place under its name among `count` segments, once
  // `proceed` says to; false when it says no or a name is refused.
  bool Commit(std::uint64_t count, const std::function<bool()>& proceed);
  // The counts, the data's length and the outputs' size, summed over the segments.
  const ConversionFigures& Figures() const noexcept { return figures_; }

 private:
  struct Sealed {
    std::uint64_t number;
    std::unique_ptr<SafeOutputFile> file;
  };

  const ConversionRequest& request_;
  std::optional<FileIdentity> document_;
  const TemporaryFileFactory& temporaryFiles_;
  Outcome& outcome_;
  std::function<bool()> proceed_;
  std::uint64_t number_ = 0;          // of the segment being converted
  Outcome segmentOutcome_;            // its faults
  ConversionRequest segmentRequest_;  // its output's request
  std::optional<ConversionOutput> output_;
  std::vector<Sealed> sealed_;
  ConversionFigures figures_;
};

}  // namespace sorrelin
