#include "conversion_command.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "conversion_output.h"
#include "held_data.h"
#include "read/document_reader.h"
#include "read/element_selector.h"
#include "segment_outputs.h"

namespace sorrelin {
namespace {

std::string SegmentsText(std::uint64_t segments) {
  return std::to_string(segments) + (segments == 1 ? " segment" : " segments") + " with data";
}

// One conversion: reads the document, sends its data to the output, and collects
// the faults of every stage.
class Conversion : public ReaderClient {
 public:
  Conversion(const ConversionRequest& request, ConversionProgress& progress,
             const ConversionEnvironment& environment)
      : request_(request),
        progress_(progress),
        environment_(environment),
        spills_(request.format->spills) {}

  ConversionResult Run() {
    OpenedDocument opened = environment_.openDocument(request_.pathText);
    if (!opened.source) {
      outcome_.ReportLoadFailure(opened.failure);
      return outcome_.Result();
    }
    source_ = opened.source.get();
    if (request_.segment == kEverySegment) {
      segments_.emplace(request_, source_->Identity(), environment_.temporaryFiles, outcome_,
                        [this] { return KeepGoing(); });
    }
    const DocumentRead read =
        ReadDocument(*source_, *this, environment_.base64Kernel, request_.segment);
    if (read.end == DocumentRead::End::kCancelled) return Cancelled();
    if (read.end == DocumentRead::End::kLoadFailed) outcome_.ReportLoadFailure(read.loadFailure);
    ReportMissingElements(read.values);
    if (segments_) return CommitSegments(read.values);
    if (!output_ && !outcome_.Failed() && !WriteHeldData(read.values)) return Cancelled();
    if (output_ && !output_->Finish([this](double done) { return KeepWriting(done); })) {
      return Cancelled();
    }
    if (outcome_.Failed()) return outcome_.Result();
    Show(bytesTotal_);
    if (!output_->Commit([this] { return KeepGoing(); })) {
      return outcome_.Failed() ? outcome_.Result() : Cancelled();
    }
    ConversionResult converted;
    converted.figures = output_->Figures();
    converted.figures.segments = read.values.segments;
    return converted;
  }

  DataSink& DataBegins(const DocumentValues& soFar) override {
    holding_ = !soFar.lineCount || !soFar.sampleCount;
    if (holding_) {
      if (!held_) held_.emplace(environment_.temporaryFiles, ScratchFolderOf(request_));
      return *held_;
    }
    if (segments_) return segments_->Begin(soFar, soFar.segments);
    MakeOutput(soFar);
    return *output_;
  }

  void DataEnds(bool valid) override {
    if (segments_ && !holding_) return segments_->End(valid);
    if (segments_) heldSegments_.emplace_back(held_->Size() - heldBefore_, valid);
    if (held_) heldBefore_ = held_->Size();
  }

  bool KeepReading(std::uint64_t bytesRead, std::uint64_t bytesTotal) override {
    bytesTotal_ = bytesTotal;
    Show(bytesTotal != 0 ? bytesRead / Parts() : bytesRead);
    return KeepGoing();
  }

 private:
  bool KeepGoing() { return progress_.KeepConverting(shown_, bytesTotal_); }

  // The work in equal parts, shown in turn: reading the document; writing the data
  // held before its counts, if any; writing the rows of a format that spills.
  // Every segment's rows are written while the document is read.
  std::uint64_t Parts() const { return 1 + (held_ ? 1 : 0) + (spills_ && !segments_ ? 1 : 0); }
  // Shows `done` (0 to 1) of the part that begins after `partsBefore` parts.
  void ShowPart(std::uint64_t partsBefore, double done) {
    const std::uint64_t part = bytesTotal_ / Parts();
    Show(partsBefore * part + static_cast<std::uint64_t>(std::clamp(done, 0.0, 1.0) * part));
  }

  bool KeepWriting(double done) {
    ShowPart(Parts() - 1, done);
    return KeepGoing();
  }

  void Show(std::uint64_t bytes) { shown_ = std::max(shown_, bytes); }

  void MakeOutput(const DocumentValues& counts) {
    output_.emplace(request_, counts, source_->Identity(), environment_.temporaryFiles, outcome_,
                    [this] { return KeepGoing(); });
  }

  static ConversionResult Cancelled() { return {ConversionResult::Kind::kCancelled, 0, {}, {}}; }

  // Every segment: those held before the counts written, then all put in place.
  ConversionResult CommitSegments(const DocumentValues& values) {
    if (held_ && !outcome_.Failed() && !segments_->WriteHeld(*held_, values, heldSegments_)) {
      if (!held_->Fault()) return Cancelled();
      ReportHeldFault();
    }
    if (outcome_.Failed()) return outcome_.Result();
    Show(bytesTotal_);
    if (!segments_->Commit(values.segments, [this] { return KeepGoing(); })) {
      return outcome_.Failed() ? outcome_.Result() : Cancelled();
    }
    ConversionResult converted;
    converted.figures = segments_->Figures();
    converted.figures.segments = values.segments;
    return converted;
  }

  void ReportHeldFault() {
    const ConversionError& fault = *held_->Fault();
    outcome_.Report(
        fault.Kind() == ErrorNumber::kNotEnoughSpace ? Stage::kFreeSpace : Stage::kWriting, fault);
  }

  void ReportMissingElements(const DocumentValues& values) {
    auto missing = [this](Stage stage, std::string_view path) {
      outcome_.Report(stage, ConversionError(ErrorNumber::kElementNotFound,
                                             "element not found: " + std::string(path)));
    };
    if (!values.lineCount) missing(Stage::kLineCountElement, kLineCountPath);
    if (!values.sampleCount) missing(Stage::kSampleCountElement, kSampleCountPath);
    if (!values.dataFound && values.segments == 0) missing(Stage::kDataElement, kDataPath);
    if (!values.dataFound && values.segments != 0) {
      outcome_.Report(Stage::kDataElement,
                      ConversionError(ErrorNumber::kSegmentNotFound,
                                      "no segment " + std::to_string(request_.segment) +
                                          ": the document has " + SegmentsText(values.segments)));
    }
    if (values.dataFault) {
      outcome_.Report(Stage::kDataElement,
                      ConversionError(ErrorNumber::kInvalidBase64, *values.dataFault));
    }
  }

  // The data came before its counts: written now, asking between blocks whether to go on.
  bool WriteHeldData(const DocumentValues& values) {
    MakeOutput(values);
    if (!held_) return true;
    std::uint64_t given = 0;
    if (!held_->GiveBack([this, &given](std::span<const std::uint8_t> block) {
          ShowPart(1, static_cast<double>(given) / static_cast<double>(held_->Size()));
          if (!KeepGoing()) return false;
          output_->Take(block);
          given += block.size();
          return true;
        })) {
      if (!held_->Fault()) return false;
      output_->Count(held_->Size() - given);  // the data's length still ranks before the fault
      ReportHeldFault();
    }
    return true;
  }

  const ConversionRequest& request_;
  ConversionProgress& progress_;
  const ConversionEnvironment& environment_;
  const bool spills_;
  BlockSource* source_ = nullptr;
  Outcome outcome_;
  std::optional<HeldData> held_;
  bool holding_ = false;                                      // the data begun is held
  std::uint64_t heldBefore_ = 0;                              // held bytes of the segments before
  std::vector<std::pair<std::uint64_t, bool>> heldSegments_;  // each one's length, validity
  std::optional<SegmentOutputs> segments_;  // of every segment, instead of output_
  std::optional<ConversionOutput> output_;
  std::uint64_t shown_ = 0;  // how far the conversion has come, in bytes of the document
  std::uint64_t bytesTotal_ = 0;
};

}  // namespace

ConversionResult RunConversion(const ConversionRequest& request, ConversionProgress& progress,
                               const ConversionEnvironment& environment) {
  try {
    return Conversion(request, progress, environment).Run();
  } catch (const ConversionError& error) {  // the reader cannot be made, or no memory
    return {ConversionResult::Kind::kError, error.Number(), error.what(), {}};
  } catch (const std::bad_alloc&) {
    const ConversionError error = NotEnoughMemory();
    return {ConversionResult::Kind::kError, error.Number(), error.what(), {}};
  }
}

}  // namespace sorrelin
