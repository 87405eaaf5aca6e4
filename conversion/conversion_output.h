#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "conversion_request.h"
#include "data_sink.h"
#include "formats/data_plan.h"
#include "formats/data_router.h"
#include "formats/output_format.h"
#include "outcome.h"
#include "output/output_stream.h"
#include "output/output_target.h"
#include "output/safe_output_file.h"
#include "output/temporary_file.h"

namespace sorrelin {

// The output of one conversion, from the counts to the file put in place: its path,
// its target, the plan of the counts, the format and the stream. Each fault goes to
// the outcome with its stage; after one, the data is still taken, so that the data's
// length and the output's size are known for the faults that rank before it. Nothing
// is built for the lines of a format that spills once its smallest size is known not
// to fit. `proceed` is asked while what comes before the values is written.
class ConversionOutput : public DataSink {
 public:
  ConversionOutput(const ConversionRequest& request, const DocumentValues& counts,
                   std::optional<FileIdentity> document, const TemporaryFileFactory& temporaryFiles,
                   Outcome& outcome, const std::function<bool()>& proceed);
  ~ConversionOutput() override;
  ConversionOutput(const ConversionOutput&) = delete;
  ConversionOutput& operator=(const ConversionOutput&) = delete;

  void Take(std::span<const std::uint8_t> bytes) override;
  std::uint8_t* Room(std::size_t bytes) override;
  // Counts data that cannot be given, for the data's length.
  void Count(std::uint64_t bytes);
  // The data has ended: the output is complete, or its faults are reported; false
  // when `proceed`, asked while the rest is written, or when writing began, said no.
  bool Finish(const Proceed& proceed);
  // Finish in two steps: End hands the rest to be written, and Settle waits for the
  // writes and reports their faults, so that other work can go on in between.
  bool End(const Proceed& proceed);
  void Settle();
  // The counts, the data's length and the output's size, once finished without a fault.
  ConversionFigures Figures() const;
  // Puts the output in place unless `proceed`, asked last, says no; false when it is not.
  bool Commit(const std::function<bool()>& proceed);
  // Instead of Commit: the output file, finished and sealed, for the caller to put in
  // place; null when there is none (nowhere) or a fault was reported.
  std::unique_ptr<SafeOutputFile> Seal();

 private:
  void Open(const ConversionRequest& request, std::optional<FileIdentity> document,
            const TemporaryFileFactory& temporaryFiles);
  void ReportWriteFault(std::exception_ptr fault);
  void ReportDiskFull();
  void ReportPlacingFault(const ConversionError& error);
  void ReportFormatFault(const ConversionError& error);

  Outcome& outcome_;
  std::string noun_;  // what the output is called in messages
  std::filesystem::path path_;
  std::string pathText_;
  std::unique_ptr<OutputTarget> target_;
  SafeOutputFile* file_ = nullptr;  // target_, when it is a file
  bool diskFull_ = false;           // the output cannot be made for want of space
  std::uint64_t leastSize_ = 0;     // the size it needs at least, when not counted
  bool stopped_ = false;            // told to stop before the values came
  DataPlan plan_;
  std::unique_ptr<OutputStream> stream_;  // after target_: it writes to it until it ends
  std::unique_ptr<OutputFormat> format_;
  std::unique_ptr<DataRouter> router_;  // null when no output is made
  bool formatFailed_ = false;           // the format's own file failed: values are counted
  bool ended_ = false;                  // the stream is closed and not yet settled
};

}  // namespace sorrelin
