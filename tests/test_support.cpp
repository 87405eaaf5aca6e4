#include "test_support.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>

#include "failure_text.h"
#include "output/output_path.h"
#include "output/temporary_file.h"
#include "platform/files.h"
#include "read/base64_decoder.h"

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#endif

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
  for (const auto& entry : fs::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
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

std::string Base64Decoded(Base64Kernel kernel, std::string_view text, int way, std::size_t largest,
                          std::uint32_t seed) {
  ByteBuffer bytes;
  Base64Decoder decoder(bytes, kernel);
  for (std::size_t at = 0, n = 0; at < text.size(); at += n) {
    if (way == 2) at += decoder.FeedRun(text.substr(at));
    seed = seed * 1103515245 + 12345;
    n = way == 0 ? text.size() : way == 1 ? 1 + (seed >> 16) % largest : 1;
    n = std::min(n, text.size() - at);
    while (at + n < text.size() && (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80) ++n;
    decoder.Feed(text.substr(at, n));
  }
  decoder.Finish();
  const std::string_view out(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return decoder.Failed() ? "fault " + decoder.Error() : std::string(out);
}

std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed, unsigned largest) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random() % (largest + 1));
  return bytes;
}

#ifndef _WIN32
std::string BlockedSignals() {
  sigset_t blocked;
  pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
  std::string seen;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ})
    seen += sigismember(&blocked, signal) ? '1' : '0';
  return seen;
}
#endif

ConversionRequest RequestFor(const fs::path& document, const FormatModule* format, const Selection& selection,
                             std::optional<double> rate) {
  ConversionRequest request;
  request.pathText = Text(document);
  request.format = format;
  request.selection = selection;
  request.sampleRate = rate;
  return request;
}

BlockSource::Block ReadingSource::Read(std::span<char> buffer) {
  if (read_ == reading_.failAt) throw DocumentUnreadable("cannot read: it broke");
  std::this_thread::sleep_for(reading_.pause);
  state_ = state_ * 1103515245 + 12345;
  const std::uint64_t cut = reading_.largest ? 1 + (state_ >> 8) % reading_.largest : UINT64_MAX;
  const std::uint64_t most = std::min({std::uint64_t{buffer.size()}, cut, reading_.failAt - read_});
  const Block block = source_->Read(buffer.first(static_cast<std::size_t>(most)));
  read_ += block.size;
  return block;
}

bool ReadingSource::Rewind() {
  reading_.failAt = UINT64_MAX;
  state_ = reading_.seed;
  return Rereadable() && source_->Rewind();
}

ConversionEnvironment EnvironmentFor(Way way, std::size_t largestBlock, std::uint32_t seed,
                                     std::chrono::milliseconds pause) {
  if (way == Way::kUsual) return {};
  ConversionEnvironment environment =
      EnvironmentFor({largestBlock, seed, way == Way::kInPieces, UINT64_MAX, pause});
  if (way == Way::kPlainly) environment.temporaryFiles = CreateNamedTemporaryFile;
  return environment;
}

ConversionEnvironment EnvironmentFor(Reading reading) {
  ConversionEnvironment environment;
  environment.openDocument = [=](std::string_view pathText) {
    OpenedDocument opened = OpenDocumentFile(pathText);
    if (opened.source) {
      opened.source = std::make_unique<ReadingSource>(std::move(opened.source), reading);
    }
    return opened;
  };
  return environment;
}

std::string ConversionOutcome(const ConversionRequest& request, ConversionProgress& progress,
                              const ConversionEnvironment& environment) {
  const ConversionResult result = RunConversion(request, progress, environment);
  if (result.kind == ConversionResult::Kind::kCancelled) return "cancelled";
  if (result.kind == ConversionResult::Kind::kSkipped) return "skipped " + result.text;
  if (result.kind != ConversionResult::Kind::kConverted) return FailureText(result, "error");
  return "table " +
         ReadFile(PathFromText(OutputPathFor(request.pathText, request.format->extension)));
}

std::string ConversionOutcome(const fs::path& input, const ConversionEnvironment& environment,
                              const std::vector<fs::path>& otherDocuments) {
  std::vector<FileIdentity> others;
  for (const fs::path& path : otherDocuments)
    if (auto identity = IdentityOf(path)) others.push_back(*identity);
  ConversionRequest request = RequestFor(input);
  request.otherDocuments = others;
  FakeProgress progress;
  return ConversionOutcome(request, progress, environment);
}

}  // namespace sorrelin::testing
