// sorrelin-convert: converts each document named on the command line, as the
// window's Conversion button does with that path in its path box.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "conversion_command.h"
#include "conversion_error.h"

namespace {

constexpr const char* kProgram = "sorrelin-convert";

// Reports a load failure on standard error, prefixed with the program and the path.
class CommandLineHost : public sorrelin::ConversionHost {
 public:
  explicit CommandLineHost(std::string path) : path_(std::move(path)) {}
  std::string PathText() const override { return path_; }
  void ShowMessage(const std::string& text) override {
    std::cerr << kProgram << ": " << path_ << ": " << text << '\n';
    failed_ = true;
  }
  bool Failed() const { return failed_; }

 private:
  std::string path_;
  bool failed_ = false;
};

bool Convert(const std::string& path) {
  CommandLineHost host(path);
  try {
    sorrelin::RunConversion(host);
  } catch (const sorrelin::ConversionError& error) {
    std::cerr << kProgram << ": " << path << ": error " << error.Number() << ": " << error.what()
              << '\n';
    return false;
  } catch (const std::exception& error) {
    std::cerr << kProgram << ": " << path << ": error: " << error.what() << '\n';
    return false;
  }
  return !host.Failed();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Converts digital waveform documents (.XMLdig) into text tables beside them.",
               kProgram};
  app.set_version_flag("--version", "1.00");
  std::vector<std::string> paths;
  app.add_option("PATH", paths, "documents to convert; each table is written beside its document")
      ->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }
  bool allConverted = true;
  for (const std::string& path : paths) allConverted = Convert(path) && allConverted;
  return allConverted ? 0 : 1;
}
