#include "conversion_command.h"

#include <algorithm>
#include <new>
#include <optional>

#include "byte_buffer.h"
#include "conversion_output.h"
#include "document_reader.h"
#include "element_selector.h"

namespace sorrelin {
namespace {

// Data that came before its counts, kept until the document has been read.
class KeptData : public DataSink {
 public:
  void Take(std::span<const std::uint8_t> bytes) override {
    std::copy(bytes.begin(), bytes.end(), data.AppendSpace(bytes.size()));
    data.CommitAppended(bytes.size());
  }
  ByteBuffer data;
};

// One conversion: reads the document, sends its data to the output, and collects
// the faults of every stage.
class Conversion : public ReaderClient {
 public:
  Conversion(const ConversionRequest& request, ConversionProgress& progress,
             const ConversionEnvironment& environment)
      : request_(request), progress_(progress), environment_(environment) {}

  ConversionResult Run() {
    OpenedDocument opened = environment_.openDocument(request_.pathText);
    if (!opened.source) {
      outcome_.ReportLoadFailure(opened.failure);
      return outcome_.Result();
    }
    source_ = opened.source.get();
    const DocumentRead read = ReadDocument(*source_, *this);
    if (read.end == DocumentRead::End::kCancelled) return Cancelled();
    if (read.end == DocumentRead::End::kLoadFailed) outcome_.ReportLoadFailure(read.loadFailure);
    ReportMissingElements(read.values);
    if (!output_ && !outcome_.Failed() && !WriteKeptData(read.values)) return Cancelled();
    if (output_ && !output_->Finish([this] { return KeepGoing(); })) return Cancelled();
    if (outcome_.Failed()) return outcome_.Result();
    if (!output_->Commit([this] { return KeepGoing(); })) {
      return outcome_.Failed() ? outcome_.Result() : Cancelled();
    }
    ConversionResult converted;
    converted.figures = output_->Figures();
    return converted;
  }

  DataSink& DataBegins(const DocumentValues& soFar) override {
    if (!soFar.lineCount || !soFar.sampleCount) return kept_;
    output_.emplace(request_, soFar, source_->Identity(), environment_.temporaryFiles, outcome_);
    return *output_;
  }

  bool KeepReading(std::uint64_t bytesRead, std::uint64_t bytesTotal) override {
    bytesRead_ = bytesRead;
    bytesTotal_ = bytesTotal;
    return KeepGoing();
  }

 private:
  bool KeepGoing() { return progress_.KeepConverting(bytesRead_, bytesTotal_); }

  static ConversionResult Cancelled() { return {ConversionResult::Kind::kCancelled, 0, {}, {}}; }

  void ReportMissingElements(const DocumentValues& values) {
    auto missing = [this](Stage stage, std::string_view path) {
      outcome_.Report(stage, ConversionError(ErrorNumber::kElementNotFound,
                                             "element not found: " + std::string(path)));
    };
    if (!values.lineCount) missing(Stage::kLineCountElement, kLineCountPath);
    if (!values.sampleCount) missing(Stage::kSampleCountElement, kSampleCountPath);
    if (!values.dataFound) missing(Stage::kDataElement, kDataPath);
    if (values.dataFault) {
      outcome_.Report(Stage::kDataElement,
                      ConversionError(ErrorNumber::kInvalidBase64, *values.dataFault));
    }
  }

  // The data came before its counts: written now, asking between blocks whether to go on.
  bool WriteKeptData(const DocumentValues& values) {
    constexpr std::size_t kBlock = std::size_t{1} << 20;
    output_.emplace(request_, values, source_->Identity(), environment_.temporaryFiles, outcome_);
    const auto data = kept_.data.bytes();
    for (std::size_t at = 0; at < data.size(); at += kBlock) {
      if (!KeepGoing()) return false;
      output_->Take(data.subspan(at, std::min(kBlock, data.size() - at)));
    }
    return true;
  }

  const ConversionRequest& request_;
  ConversionProgress& progress_;
  const ConversionEnvironment& environment_;
  BlockSource* source_ = nullptr;
  Outcome outcome_;
  KeptData kept_;
  std::optional<ConversionOutput> output_;
  std::uint64_t bytesRead_ = 0;
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
    return {ConversionResult::Kind::kError,
            static_cast<int>(ErrorNumber::kOutOfMemory),
            "not enough memory for this document",
            {}};
  }
}

}  // namespace sorrelin
