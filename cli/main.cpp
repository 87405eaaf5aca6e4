// sorrelin-convert: converts each document named on the command line, as the
// window's Conversion button does with that path in its path box.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "conversion_command.h"
#include "conversion_error.h"
#include "message_text.h"
#include "platform.h"
#include "progress_line.h"

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

// Reports on standard error, one line per failure prefixed with the program and
// the path, and shows the progress there when it is a terminal.
class CommandLineHost : public sorrelin::ConversionHost {
 public:
  CommandLineHost(std::string path, std::vector<std::string> others, bool showProgress)
      : path_(std::move(path)),
        others_(std::move(others)),
        progress_(showProgress ? &std::cerr : nullptr, path_) {}
  std::string PathText() const override { return path_; }
  std::vector<std::string> OtherDocuments() const override { return others_; }
  void ShowMessage(const std::string& text) override { ReportFailure(text); }
  bool KeepConverting(std::uint64_t bytesRead, std::uint64_t bytesTotal) override {
    if (sorrelin::CaughtInterruptSignal() != 0) return false;
    progress_.Update(bytesRead, bytesTotal);
    return true;
  }
  void ReportFailure(const std::string& text) {
    progress_.Erase();
    std::cerr << kProgram << ": " << sorrelin::Escaped(path_) << ": " << text << '\n';
    failed_ = true;
  }
  bool Failed() const { return failed_; }

 private:
  std::string path_;
  std::vector<std::string> others_;
  sorrelin::ProgressLine progress_;
  bool failed_ = false;
};

// Converts `paths[index]`; no table may replace any of the other paths.
bool Convert(const std::vector<std::string>& paths, std::size_t index, bool showProgress) {
  std::vector<std::string> others = paths;
  others.erase(others.begin() + static_cast<std::ptrdiff_t>(index));
  CommandLineHost host(paths[index], std::move(others), showProgress);
  try {
    sorrelin::RunConversion(host);
  } catch (const sorrelin::ConversionError& error) {
    host.ReportFailure("error " + std::to_string(error.Number()) + ": " + error.what());
  } catch (const std::exception& error) {
    host.ReportFailure(std::string("error: ") + error.what());
  }
  return !host.Failed();
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
  app.set_version_flag("--version", std::string(kProgram) + " 1.00");
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

  const bool showProgress = !quiet && sorrelin::IsTerminal(stderr);
  bool allConverted = true;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    allConverted = Convert(paths, i, showProgress) && allConverted;
    // The conversion has stopped and left no table; end as the signal would have.
    if (const int signal = sorrelin::CaughtInterruptSignal()) sorrelin::EndAsSignalled(signal);
  }
  return allConverted ? 0 : 1;
}
