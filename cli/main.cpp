// sorrelin-convert: converts each document named on the command line, as the
// window's Conversion button does with that path in its path box.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "command_line_arguments.h"
#include "conversion_command.h"
#include "failure_text.h"
#include "interrupt_signals.h"
#include "message_text.h"
#include "progress_line.h"
#include "terminal.h"

namespace {

constexpr const char* kProgram = "sorrelin-convert";

constexpr const char* kHelp = R"(Usage: sorrelin-convert [OPTION]... [--] PATH...
Convert digital waveform documents (.XMLdig) into ASCII text tables.

Each table is written beside its document: run1.XMLdig becomes run1.txt, and a
name that does not end in .XMLdig (in any letter case) gets .txt appended, so
run1.xml becomes run1.xml.txt. An earlier table of that name is replaced only by
a complete new one. Each failure is one line on standard error, and the other
documents are still converted. On a terminal, a document that takes more than a
second shows its progress. Ctrl-C stops the conversion and leaves an earlier
table as it was.

  -q, --quiet    show no progress
  --             ends the options: the names after it may start with "-"
  -h, --help     show this help and exit
      --version  show the version and exit

Exit status:
  0  every document was converted
  1  at least one document failed
  2  the command line is wrong (for example, no PATH given)
)";

// Shows the progress on standard error when it is a terminal, and stops at an
// interrupt signal.
class CommandLineProgress : public sorrelin::ConversionProgress {
 public:
  CommandLineProgress(const std::string& path, bool show)
      : line_(show ? &std::cerr : nullptr, path) {}
  bool KeepConverting(std::uint64_t bytesRead, std::uint64_t bytesTotal) override {
    if (sorrelin::CaughtInterruptSignal() != 0) return false;
    line_.Update(bytesRead, bytesTotal);
    return true;
  }
  void Erase() { line_.Erase(); }

 private:
  sorrelin::ProgressLine line_;
};

// Converts one document; a failure is one line on standard error.
bool Convert(const sorrelin::ConversionRequest& request, bool showProgress) {
  CommandLineProgress progress(request.pathText, showProgress);
  const sorrelin::ConversionResult result = sorrelin::RunConversion(request, progress);
  progress.Erase();
  const std::string failure = sorrelin::FailureText(result, "error");
  if (failure.empty()) return true;
  std::cerr << kProgram << ": " << sorrelin::Escaped(request.pathText) << ": " << failure << '\n';
  return false;
}

int UsageError(const std::string& what) {
  std::cerr << kProgram << ": " << what << "\nTry '" << kProgram
            << " --help' for more information.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // The arguments as UTF-8, also on Windows (argv is in the ANSI code page); CLI11
  // takes them last first.
  std::vector<std::string> arguments = sorrelin::CommandLineArguments(argc, argv);
  std::reverse(arguments.begin(), arguments.end());
  sorrelin::CatchInterruptSignals();
  CLI::App app{"", kProgram};
  app.set_help_flag("-h,--help");
  app.set_version_flag("--version", std::string(kProgram) + " " + SORRELIN_VERSION);
  bool quiet = false;
  app.add_flag("-q,--quiet", quiet);
  std::vector<std::string> paths;
  app.add_option("PATH", paths);
  try {
    app.parse(arguments);
  } catch (const CLI::CallForHelp&) {
    std::cout << kHelp;
    return 0;
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return UsageError(e.what());
  }
  if (paths.empty()) return UsageError("missing PATH");

  // Each document's identity is taken once: no output may replace any of them.
  std::vector<sorrelin::FileIdentity> documents;
  for (const std::string& path : paths) {
    if (auto identity = sorrelin::IdentityOf(sorrelin::PathFromText(path)))
      documents.push_back(*identity);
  }
  const bool showProgress = !quiet && sorrelin::IsTerminal(stderr);
  bool allConverted = true;
  for (const std::string& path : paths) {
    sorrelin::ConversionRequest request;
    request.pathText = path;
    request.otherDocuments = documents;
    allConverted = Convert(request, showProgress) && allConverted;
    // The conversion has stopped and left no output; end as the signal would have.
    if (const int signal = sorrelin::CaughtInterruptSignal()) sorrelin::EndAsSignalled(signal);
  }
  return allConverted ? 0 : 1;
}
