#include "segment_outputs.h"

#include <algorithm>
#include <utility>

#include "platform/files.h"

namespace sorrelin {

SegmentOutputs::SegmentOutputs(const ConversionRequest& request,
                               std::optional<FileIdentity> document,
                               const TemporaryFileFactory& temporaryFiles, Outcome& outcome,
                               std::function<bool()> proceed)
    : request_(request),
      document_(document),
      filesAhead_(temporaryFiles),
      outputFiles_([this](const std::filesystem::path& folder) { return filesAhead_(folder); }),
      outcome_(outcome),
      proceed_(std::move(proceed)),
      segmentRequest_(request) {}

DataSink& SegmentOutputs::Begin(const DocumentValues& counts, std::uint64_t number) {
  current_ = std::make_unique<Segment>();
  current_->number = number;
  // Named for now as if it were the last; Commit names it among all of them.
  if (request_.output.kind != OutputPlace::Kind::kNowhere) {
    segmentRequest_.output = {OutputPlace::Kind::kFile,
                              OutputPathOfSegment(request_, number, number)};
  }
  current_->output.emplace(segmentRequest_, counts, document_, outputFiles_, current_->outcome,
                           proceed_);
  return *current_->output;
}

void SegmentOutputs::End(bool valid) {
  Settle();
  if (!current_) return;
  // A segment that is not Base64 has its fault told by the reader, placed exactly.
  if (valid && current_->output->End([this](double) { return proceed_(); })) {
    ending_ = std::move(current_);
    return;
  }
  Include(*current_);
  current_.reset();
}

void SegmentOutputs::Settle() {
  if (!ending_) return;
  ConversionOutput& output = *ending_->output;
  output.Settle();
  if (!ending_->outcome.Failed()) {
    const ConversionFigures figures = output.Figures();
    figures_.lines = figures.lines;
    figures_.samples += figures.samples;
    figures_.dataBytes += figures.dataBytes;
    figures_.outputBytes += figures.outputBytes;
    if (auto file = output.Seal()) sealed_.push_back({ending_->number, std::move(file)});
  }
  Include(*ending_);
  ending_.reset();
}

void SegmentOutputs::Include(const Segment& segment) {
  outcome_.Include(segment.outcome, "segment " + std::to_string(segment.number) + ": ");
}

bool SegmentOutputs::WriteHeld(HeldData& held, const DocumentValues& counts,
                               const std::vector<std::pair<std::uint64_t, bool>>& segments) {
  std::size_t index = 0;   // the segment being written
  std::uint64_t left = 0;  // of its bytes
  auto next = [&] {        // ends the segments that are complete, begins the next
    while (index < segments.size() && left == 0) {
      if (current_) End(segments[index++].second);
      if (index < segments.size()) {
        Begin(counts, index + 1);
        left = segments[index].first;
      }
    }
  };
  if (segments.empty()) return true;
  Begin(counts, 1);
  left = segments[0].first;
  next();
  return held.GiveBack([&](std::span<const std::uint8_t> block) {
    if (!proceed_()) return false;
    while (!block.empty() && current_) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
      current_->output->Take(block.first(n));
      block = block.subspan(n);
      left -= n;
      next();
    }
    return true;
  });
}

bool SegmentOutputs::Commit(std::uint64_t count, const std::function<bool()>& proceed) {
  Settle();
  if (outcome_.Failed()) return false;  // the last output's writes failed
  const OutputFileRules rules = OutputFileRulesOf(request_, document_);
  for (Sealed& sealed : sealed_) {  // every name refused before any file is replaced
    try {
      sealed.file->Retarget(PathFromText(OutputPathOfSegment(request_, sealed.number, count)),
                            rules);
    } catch (const ConversionError& error) {
      outcome_.Report(Stage::kOutputFile, error);
      return false;
    }
  }
  if (!proceed()) return false;
  for (Sealed& sealed : sealed_) {
    try {
      sealed.file->Commit([] { return true; });  // all of them, once begun
    } catch (const OutputNameTaken& taken) {
      outcome_.ReportSkipped(taken.what());
    } catch (const ConversionError& error) {
      outcome_.Report(Stage::kWriting, error);
    }
  }
  return !outcome_.Failed();
}

}  // namespace sorrelin
