#include "conversion_output.h"

#include <new>
#include <utility>

#include "message_text.h"
#include "output/standard_output.h"

namespace sorrelin {
ConversionOutput::ConversionOutput(const ConversionRequest& request, const DocumentValues& counts,
                                   std::optional<FileIdentity> document,
                                   const TemporaryFileFactory& temporaryFiles, Outcome& outcome,
                                   const std::function<bool()>& proceed)
    : outcome_(outcome), noun_(request.format->noun) {
  try {
    Open(request, document, temporaryFiles);
  } catch (const ConversionError& error) {
    outcome_.Report(Stage::kOutputFile, error);
    return;
  }
  try {
    plan_ = PlanData(*counts.lineCount, *counts.sampleCount);
  } catch (const ConversionError& error) {
    outcome_.Report(Stage::kCounts, error);
    return;
  }
  try {
    Choose(plan_, request.selection);
  } catch (const ConversionError& error) {
    outcome_.Report(Stage::kSelection, error);
    return;
  }
  stream_ = std::make_unique<OutputStream>(diskFull_ ? nullptr : target_.get());
  FormatSettings settings;
  settings.sampleRate = request.sampleRate;
  settings.changes = request.changes;
  settings.vectors = request.vectors;
  settings.documentName = PathToText(PathFromText(request.pathText).filename());
  settings.spillFolder = ScratchFolderOf(request);
  settings.temporaryFiles = temporaryFiles;
  format_ = request.format->make(plan_, *stream_, settings);
  if (target_ && !diskFull_) {
    try {
      target_->Reserve(format_->SmallestSize());
    } catch (const ConversionError&) {  // Reserve fails only for want of space
      diskFull_ = true;
      stream_->StopWriting();
    }
  }
  router_ = std::make_unique<DataRouter>(plan_, *format_);
  if (diskFull_ && request.format->spills) {  // its lines could be too many to count in time
    leastSize_ = format_->SmallestSize();
    formatFailed_ = true;
    return;
  }
  try {
    stopped_ = !format_->Begin([&proceed](double) { return proceed(); });
    formatFailed_ = stopped_;
  } catch (const ConversionError& error) {
    ReportFormatFault(error);
  }
}

void ConversionOutput::Count(std::uint64_t bytes) {
  if (router_) router_->Skip(bytes);
}

ConversionOutput::~ConversionOutput() = default;

void ConversionOutput::Open(const ConversionRequest& request, std::optional<FileIdentity> document,
                            const TemporaryFileFactory& temporaryFiles) {
  if (request.output.kind == OutputPlace::Kind::kNowhere) return;  // counted, not written
  if (request.output.kind == OutputPlace::Kind::kStandardOutput) {
    pathText_ = "standard output";
    target_ = std::make_unique<StandardOutput>();
    return;
  }
  try {
    pathText_ = OutputPathOf(request);
  } catch (const ConversionError& error) {
    outcome_.Report(Stage::kOutputPath, error);
    throw;
  }
  path_ = PathFromText(pathText_);
  try {
    auto file = std::make_unique<SafeOutputFile>(path_, OutputFileRulesOf(request, document),
                                                 temporaryFiles);
    file_ = file.get();
    target_ = std::move(file);
  } catch (const ConversionError& error) {
    if (error.Kind() != ErrorNumber::kNotEnoughSpace) throw;
    diskFull_ = true;  // the output's size is still wanted for the message
  }
}

void ConversionOutput::Take(std::span<const std::uint8_t> bytes) {
  if (!router_) return;
  if (formatFailed_) return router_->Skip(bytes.size());
  try {
    router_->Take(bytes);
  } catch (const ConversionError& error) {
    ReportFormatFault(error);
  }
}

std::uint8_t* ConversionOutput::Room(std::size_t bytes) {
  return router_ && !formatFailed_ ? router_->Room(bytes) : nullptr;
}

// A format's own fault, as of the file it keeps values in: ranked as the output's.
void ConversionOutput::ReportFormatFault(const ConversionError& error) {
  outcome_.Report(
      error.Kind() == ErrorNumber::kNotEnoughSpace ? Stage::kFreeSpace : Stage::kWriting, error);
  formatFailed_ = true;
}

bool ConversionOutput::Finish(const Proceed& proceed) {
  const bool ended = End(proceed);
  Settle();
  return ended;
}

void ConversionOutput::Settle() {
  if (!std::exchange(ended_, false)) return;
  ReportWriteFault(stream_->Finish());
}

bool ConversionOutput::End(const Proceed& proceed) {
  if (stopped_) return false;
  if (!router_) return true;
  if (!router_->Complete()) {
    const std::string bytes =
        plan_.neededOverflows ? std::string("more than 2^64") : std::to_string(plan_.needed);
    auto counted = [](std::uint64_t count, const char* noun) {
      return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
    };
    outcome_.Report(
        Stage::kDataLength,
        ConversionError(ErrorNumber::kDataTooShort,
                        "data too short: " + counted(plan_.lines, "line") + " of " +
                            counted(plan_.samples, "sample") + " need " + bytes +
                            " bytes, the data holds " + std::to_string(router_->Received())));
    return true;
  }
  bool ended = true;
  if (!formatFailed_) {
    try {
      ended = format_->End(proceed);
    } catch (const ConversionError& error) {
      ReportFormatFault(error);
    }
  }
  stream_->Close();
  ended_ = true;
  return ended;
}

void ConversionOutput::ReportWriteFault(std::exception_ptr fault) {
  try {
    if (fault) std::rethrow_exception(fault);
  } catch (const ConversionError& error) {
    if (error.Kind() != ErrorNumber::kNotEnoughSpace)
      return outcome_.Report(Stage::kWriting, error);
    diskFull_ = true;
  } catch (const std::bad_alloc&) {
    return outcome_.Report(Stage::kMachine, NotEnoughMemory());
  } catch (const std::exception& error) {
    return outcome_.Report(Stage::kWriting, ConversionError(ErrorNumber::kWriteFailed,
                                                            "cannot write " + Quoted(pathText_) +
                                                                ": " + error.what()));
  }
  if (diskFull_) ReportDiskFull();
}

void ConversionOutput::ReportDiskFull() {
  if (target_) target_->Discard();  // the free space told is what the disk has without it
  const auto folder = path_.has_parent_path() ? path_.parent_path() : std::filesystem::path(".");
  const bool counted = leastSize_ == 0;
  outcome_.Report(
      Stage::kFreeSpace,
      NotEnoughSpace(folder, pathText_, noun_, counted ? stream_->Size() : leastSize_, !counted));
}

ConversionFigures ConversionOutput::Figures() const {
  return {plan_.lines, plan_.samples, router_->Received(), stream_->Size()};
}

std::unique_ptr<SafeOutputFile> ConversionOutput::Seal() {
  if (outcome_.Failed() || !file_) return nullptr;
  try {
    file_->Seal();
  } catch (const ConversionError& error) {
    ReportPlacingFault(error);
    return nullptr;
  }
  target_.release();
  return std::unique_ptr<SafeOutputFile>(std::exchange(file_, nullptr));
}

bool ConversionOutput::Commit(const std::function<bool()>& proceed) {
  if (outcome_.Failed()) return false;
  if (!target_) return true;  // nothing to put in place
  try {
    return target_->Commit(proceed);
  } catch (const OutputNameTaken&) {
    outcome_.ReportSkipped(pathText_);
    return false;
  } catch (const ConversionError& error) {
    ReportPlacingFault(error);
    return false;
  }
}

// A fault of the file's last steps: a full disk is told with the output's size.
void ConversionOutput::ReportPlacingFault(const ConversionError& error) {
  if (error.Kind() == ErrorNumber::kNotEnoughSpace) return ReportDiskFull();
  outcome_.Report(Stage::kWriting, error);
}

}  // namespace sorrelin
