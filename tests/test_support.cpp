#include "test_support.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "conversion_error.h"
#include "platform.h"
#include "text_table.h"

namespace sorrelin::testing {

std::string EncodeBase64(std::span<const std::uint8_t> bytes, std::size_t lineWidth) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    if (n > 1) group |= std::uint32_t{bytes[i + 1]} << 8;
    if (n > 2) group |= bytes[i + 2];
    text += kAlphabet[group >> 18 & 63];
    text += kAlphabet[group >> 12 & 63];
    text += n > 1 ? kAlphabet[group >> 6 & 63] : '=';
    text += n > 2 ? kAlphabet[group & 63] : '=';
  }
  if (lineWidth == 0) return text;
  std::string lines;
  for (std::size_t i = 0; i < text.size(); i += lineWidth) {
    lines += text.substr(i, lineWidth);
    lines += "\r\n";
  }
  return lines;
}

std::string DocumentXml(const std::string& numLines, const std::string& numSamples,
                        const std::string& binaryData) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<QelvarTamberlinedata>\n  <Header>\n"
         "    <IQelDigitalResult>\n      <BusInfo><NumLines>" +
         numLines + "</NumLines></BusInfo>\n      <NumSamples>" + numSamples +
         "</NumSamples>\n    </IQelDigitalResult>\n  </Header>\n  <Data>\n"
         "    <Segment><BinaryData>" +
         binaryData + "</BinaryData></Segment>\n  </Data>\n</QelvarTamberlinedata>\n";
}

std::string DocumentXml(int lines, int samples, std::span<const std::uint8_t> data) {
  return DocumentXml(std::to_string(lines), std::to_string(samples), EncodeBase64(data));
}

TempFolder::TempFolder() {
  std::random_device random;
  path_ = std::filesystem::temp_directory_path() /
          ("sorrelin-test-" + std::to_string(random()) + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write test file " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read test file " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Text(const std::filesystem::path& path) { return PathToText(path); }

std::string ConversionOutcome(const std::filesystem::path& input, const ConversionOptions& options,
                              const std::vector<std::string>& otherDocuments) {
  FakeHost host(Text(input));
  host.others = otherDocuments;
  return ConversionOutcome(host, options);
}

std::string ConversionOutcome(FakeHost& host, const ConversionOptions& options) {
  try {
    RunConversion(host, options);
  } catch (const ConversionError& error) {
    return "error " + std::to_string(error.Number()) + ": " + error.what();
  }
  if (!host.messages.empty()) return host.messages.front();
  return "table " + ReadFile(PathFromText(OutputPathFor(host.PathText())));
}

}  // namespace sorrelin::testing
