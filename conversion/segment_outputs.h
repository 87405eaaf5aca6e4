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
#include "output/temporary_files_ahead.h"

namespace sorrelin {

// The outputs of every segment of a document, in turn: each is written while its
// segment is read, and sealed once its last writes are done, which the next segment
// does not wait for; none is put in place before the whole document has been read and
// every segment converted. A segment's faults go to the outcome with its number.
// Memory holds two outputs' buffers and, for each sealed output, its names.
class SegmentOutputs {
 public:
  SegmentOutputs(const ConversionRequest& request, std::optional<FileIdentity> document,
                 const TemporaryFileFactory& temporaryFiles, Outcome& outcome,
                 std::function<bool()> proceed);

  // Segment `number` begins, with the document's counts: where its data goes.
  DataSink& Begin(const DocumentValues& counts, std::uint64_t number);
  // It ends, its data Base64 throughout or not: its output is finished, and sealed
  // when the next segment ends or at Commit.
  void End(bool valid);
  // Data held before the counts, segment after segment: each segment's length and
  // whether it was valid, in order. False when stopped.
  bool WriteHeld(HeldData& held, const DocumentValues& counts,
                 const std::vector<std::pair<std::uint64_t, bool>>& segments);
  // Puts every sealed output in place under its name among `count` segments, once
  // the last output's writes are done and `proceed` says to; false when they failed,
  // it says no or a name is refused.
  bool Commit(std::uint64_t count, const std::function<bool()>& proceed);
  // The counts, the data's length and the outputs' size, summed over the segments.
  const ConversionFigures& Figures() const noexcept { return figures_; }

 private:
  struct Sealed {
    std::uint64_t number;
    std::unique_ptr<SafeOutputFile> file;
  };
  struct Segment {
    std::uint64_t number = 0;
    Outcome outcome;  // its faults
    std::optional<ConversionOutput> output;
  };

  // Waits for the last output's writes and seals it.
  void Settle();
  void Include(const Segment& segment);

  const ConversionRequest& request_;
  std::optional<FileIdentity> document_;
  TemporaryFilesAhead filesAhead_;    // the outputs' files
  TemporaryFileFactory outputFiles_;  // which gives them
  Outcome& outcome_;
  std::function<bool()> proceed_;
  ConversionRequest segmentRequest_;  // the output's request of the segment begun last
  std::unique_ptr<Segment> current_;  // being converted
  std::unique_ptr<Segment> ending_;   // converted, its last writes maybe under way
  std::vector<Sealed> sealed_;
  ConversionFigures figures_;
};

}  // namespace sorrelin
