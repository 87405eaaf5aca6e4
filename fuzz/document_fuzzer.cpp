// Feeds arbitrary bytes to the whole conversion as a document file, and checks
// that it ends in a load failure, a numbered error or a table, never leaving a
// temporary file, and that a failure leaves the earlier output as it was.
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "conversion_command.h"
#include "conversion_error.h"

namespace {

namespace fs = std::filesystem;

class Host : public sorrelin::ConversionHost {
 public:
  explicit Host(std::string path) : path_(std::move(path)) {}
  std::string PathText() const override { return path_; }
  void ShowMessage(const std::string& text) override {
    if (text.rfind("Error: ", 0) != 0) std::abort();
    shown = true;
  }
  bool shown = false;

 private:
  std::string path_;
};

const fs::path& Folder() {
  static const fs::path folder = [] {
    // Tables beyond 8 MiB fail as a full disk would: exercises the write failure path.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{8 << 20, 8 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    fs::path path =
        fs::temp_directory_path() / ("sorrelin-fuzz-" + std::to_string(std::random_device()()));
    fs::create_directories(path);
    return path;
  }();
  return folder;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path input = Folder() / "doc.XMLdig";
  const fs::path output = Folder() / "doc.txt";
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const std::string earlier = "earlier output";
  {
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out << earlier;
  }
  Host host(input.string());
  bool failed = false;
  try {
    sorrelin::RunConversion(host);
  } catch (const sorrelin::ConversionError& error) {
    if (error.Number() < 1001 || error.Number() > 1010) std::abort();
    failed = true;
  }
  if ((host.shown || failed) && Read(output) != earlier) std::abort();
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(Folder())) {
    (void)entry;
    ++entries;
  }
  if (entries != 2) std::abort();  // a temporary file was left behind
  fs::remove(output);
  return 0;
}
