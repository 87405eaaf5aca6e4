// sorrelin-convert: converts each document named on the command line, by default as
// the window's Conversion button does with that path in its path box.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "command_line_arguments.h"
#include "command_line_options.h"
#include "conversion_command.h"
#include "failure_text.h"
#include "interrupt_signals.h"
#include "message_text.h"
#include "progress_line.h"
#include "standard_streams.h"
#include "terminal.h"

namespace {

using namespace sorrelin;

constexpr const char* kProgram = "sorrelin-convert";

// Shows the progress on standard error when it is a terminal, and stops at an
// interrupt signal.
class CommandLineProgress : public ConversionProgress {
 public:
  CommandLineProgress(const std::string& path, bool show)
      : line_(show ? &std::cerr : nullptr, path) {}
  bool KeepConverting(std::uint64_t bytesRead, std::uint64_t bytesTotal) override {
    if (CaughtInterruptSignal() != 0) return false;
    line_.Update(bytesRead, bytesTotal);
    return true;
  }
  void Erase() { line_.Erase(); }

 private:
  ProgressLine line_;
};

// A document's name in a line of its own: escaped, and "" when empty.
std::string Shown(const std::string& path) { return path.empty() ? "\"\"" : Escaped(path); }

void Report(const std::string& path, const std::string& what) {
  std::cerr << kProgram << ": " << Shown(path) << ": " << what << '\n';
}

// Reads "-" from standard input; every other path is a file.
ConversionEnvironment Environment() {
  ConversionEnvironment environment;
  environment.openDocument = [](std::string_view pathText) {
    return pathText == "-" ? OpenStandardInput() : OpenDocumentFile(pathText);
  };
  return environment;
}

// Whether the request's output exists already, for --no-clobber.
bool OutputExists(const ConversionRequest& request) {
  try {
    const std::string output = OutputPathOf(request);
    std::error_code error;
    return !output.empty() && std::filesystem::exists(PathFromText(output), error);
  } catch (const ConversionError&) {
    return false;  // no output can be made: the conversion says so
  }
}

void ReportSkipped(const ConversionRequest& request, const CommandLineOptions& options,
                   const std::string& output) {
  if (!options.quiet) Report(request.pathText, "skipped: " + Quoted(output) + " exists");
}

// Converts one document; returns false when it failed, after one line on standard error.
// The output it wrote is added to `written`.
bool Convert(const ConversionRequest& request, const CommandLineOptions& options, bool showProgress,
             std::vector<WrittenOutput>& written) {
  // Every segment's output is placed only where its name is still free.
  if (options.noClobber && request.segment != kEverySegment && OutputExists(request)) {
    ReportSkipped(request, options, OutputPathOf(request));
    return true;
  }
  CommandLineProgress progress(request.pathText, showProgress);
  const ConversionResult result = RunConversion(request, progress, Environment());
  progress.Erase();
  if (result.kind == ConversionResult::Kind::kSkipped) {
    ReportSkipped(request, options, result.text);
    return true;
  }
  if (const std::string failure = FailureText(result, "error"); !failure.empty()) {
    Report(request.pathText, failure);
    return false;
  }
  if (result.kind != ConversionResult::Kind::kConverted) return true;
  const std::uint64_t segments = result.figures.segments;
  for (std::uint64_t n = 1; n <= (request.segment == kEverySegment ? segments : 1); ++n) {
    const std::string output = request.segment == kEverySegment
                                   ? OutputPathOfSegment(request, n, segments)
                                   : OutputPathOf(request);
    if (auto identity = output.empty() ? std::nullopt : IdentityOf(PathFromText(output)))
      written.push_back({*identity, request.pathText});
  }
  if (options.info) {
    const ConversionFigures& figures = result.figures;
    std::cout << Shown(request.pathText) << ": " << figures.lines << " lines, " << figures.samples
              << " samples, " << figures.segments
              << (figures.segments == 1 ? " segment, " : " segments, ") << figures.dataBytes
              << " bytes of data; " << request.format->name << " " << figures.outputBytes
              << " bytes\n";
  }
  return true;
}

int Run(int argc, char** argv) {
  CatchInterruptSignals();
  const CommandLine commandLine = ReadCommandLine(CommandLineArguments(argc, argv));
  if (!commandLine.options) return commandLine.exitStatus;
  const CommandLineOptions& options = *commandLine.options;

  // Each document's identity is taken once: no output may replace any of them.
  std::vector<FileIdentity> documents;
  for (const std::string& path : options.paths) {
    if (auto identity = IdentityOf(PathFromText(path))) documents.push_back(*identity);
  }
  const bool showProgress = !options.quiet && IsTerminal(stderr);
  std::vector<WrittenOutput> written;  // no later output replaces one of them
  bool allConverted = true;
  for (const std::string& path : options.paths) {
    ConversionRequest request;
    request.pathText = path;
    request.format = options.format;
    request.selection = options.selection;
    request.sampleRate = options.sampleRate;
    request.changes = options.changes;
    request.vectors = options.vectors;
    request.segment = options.segment;
    request.output = options.output;
    request.otherDocuments = documents;
    request.writtenOutputs = written;
    request.keepExisting = options.noClobber;
    request.sync = options.sync;
    allConverted = Convert(request, options, showProgress, written) && allConverted;
    // The conversion has stopped and left no output; end as the signal would have.
    if (const int signal = CaughtInterruptSignal()) EndAsSignalled(signal);
  }
  return allConverted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  OpenClosedStandardStreams();  // before anything opens a file
  FailWritesToClosedPipes();    // told as a failure of standard output
  const int status = Run(argc, argv);
  if (const std::string fault = StandardOutputFault(); !fault.empty()) {
    std::cerr << kProgram << ": " << fault << '\n';
    return status == 0 ? 1 : status;
  }
  return status;
}
