#include "test_support.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform.h"
#include "text_table.h"

namespace sorrelin::testing {

namespace fs = std::filesystem;

std::string EncodeBase64(std::span<const std::uint8_t> bytes, std::size_t lineWidth) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text, lines;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) group = group << 8 | (k < n ? bytes[i + k] : 0);
    for (std::size_t k = 0; k < 4; ++k)
      text += k <= n ? kAlphabet[group >> (18 - 6 * k) & 63] : '=';
  }
  for (std::size_t i = 0; lineWidth != 0 && i < text.size(); i += lineWidth) {
    lines += text.substr(i, lineWidth) + "\r\n";
  }
  return lineWidth == 0 ? text : lines;
}

std::string Root(const std::string& content) {
  return "<QelvarTamberlinedata>" + content + "</QelvarTamberlinedata>";
}
std::string Result(const std::string& content) {
  return "<Header><IQelDigitalResult>" + content + "</IQelDigitalResult></Header>";
}
std::string Header(const std::string& lines, const std::string& samples) {
  return Result("<BusInfo><NumLines>" + lines + "</NumLines></BusInfo><NumSamples>" + samples +
                "</NumSamples>");
}
std::string Data(const std::string& text) {
  return "<Data><Segment><BinaryData>" + text + "</BinaryData></Segment></Data>";
}
std::string DocumentXml(const std::string& numLines, const std::string& numSamples,
                        const std::string& binaryData) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
         Root(Header(numLines, numSamples) + Data(binaryData));
}

TempFolder::TempFolder() {
  std::random_device random;
  path_ = fs::temp_directory_path() /
          ("sorrelin-test-" + std::to_string(random()) + std::to_string(random()));
  fs::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write test file " + path.string());
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read test file " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Text(const fs::path& path) { return PathToText(path); }

std::string ConversionOutcome(const fs::path& input, const ConversionOptions& options,
                              const std::vector<std::string>& otherDocuments) {
  FakeHost host(Text(input));
  host.others = otherDocuments;
  return ConversionOutcome(host, options);
}

std::string ConversionOutcome(FakeHost& host, const ConversionOptions& options) {
  const std::string error = ErrorOf([&] { RunConversion(host, options); });
  if (error != "ok") return error;
  if (!host.messages.empty()) return host.messages.front();
  return "table " + ReadFile(PathFromText(OutputPathFor(host.PathText())));
}

}  // namespace sorrelin::testing
