#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "conversion_command.h"
#include "conversion_error.h"
#include "data_sink.h"
#include "read/base64_kernels.h"
#include "read/block_source.h"

namespace sorrelin::testing {

// Base64 text of `bytes`, broken into lines of `lineWidth` characters (0: one line).
std::string EncodeBase64(std::span<const std::uint8_t> bytes, std::size_t lineWidth = 76);

// Pieces of a document: the root element, Header with IQelDigitalResult, the counts
// inside them, Data with one Segment and its BinaryData.
inline std::string Root(const std::string& content) {
  return "<QelvarTamberlinedata>" + content + "</QelvarTamberlinedata>";
}
inline std::string Result(const std::string& content) {
  return "<Header><IQelDigitalResult>" + content + "</IQelDigitalResult></Header>";
}
inline std::string Header(const std::string& lines, const std::string& samples) {
  return Result("<BusInfo><NumLines>" + lines + "</NumLines></BusInfo><NumSamples>" + samples +
                "</NumSamples>");
}
inline std::string Data(const std::string& text) {
  return "<Data><Segment><BinaryData>" + text + "</BinaryData></Segment></Data>";
}

// A document of the usual shape with the given element texts.
inline std::string DocumentXml(const std::string& numLines, const std::string& numSamples,
                               const std::string& binaryData) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
         Root(Header(numLines, numSamples) + Data(binaryData));
}

// What `action` raised, as "error N: description", or "ok".
template <typename Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const ConversionError& error) {
    return "error " + std::to_string(error.Number()) + ": " + error.what();
  }
  return "ok";
}

// A fresh folder, removed with everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);
std::string Text(const std::filesystem::path& path);

// What `kernel` decodes from `text`, or "fault " and the fault: fed whole (way 0), in
// pieces of pseudo-random sizes from 1 to `largest` bytes (1), as runs with the character
// ending each fed alone (2), or a character at a time (3). Pieces keep UTF-8 characters
// whole, as the XML parser hands them over.
std::string Base64Decoded(Base64Kernel kernel, std::string_view text, int way,
                          std::size_t largest = 74, std::uint32_t seed = 7);

// `size` pseudo-random bytes from 0 to `largest`.
std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed, unsigned largest = 255);

#ifndef _WIN32
// Which of SIGINT, SIGTERM, SIGHUP, SIGPIPE and SIGXFSZ the calling thread blocks, as
// five 0s and 1s.
std::string BlockedSignals();
#endif

// A request to convert `document`.
ConversionRequest RequestFor(const std::filesystem::path& document, const FormatModule* format = &DefaultFormat(),
                             const Selection& selection = {}, std::optional<double> rate = {});

// How a ReadingSource reads a document: in blocks of pseudo-random sizes from 1 to
// `largest` bytes (0: as asked), each after a `pause`, cut alike when read again (where
// expat reports some faults depends on where its input was cut). The first reading fails once
// `failAt` bytes have been read; read again, it reads whole, as after a passing fault of a disk or
// a network. Not `rereadable`, every byte goes through the XML parser, as for a pipe.
struct Reading {
  std::size_t largest = 0;
  std::uint32_t seed = 11;
  bool rereadable = true;
  std::uint64_t failAt = UINT64_MAX;
  std::chrono::milliseconds pause{};
};
class ReadingSource : public BlockSource {
 public:
  ReadingSource(std::unique_ptr<BlockSource> source, Reading reading)
      : source_(std::move(source)), reading_(reading), state_(reading.seed) {}
  Block Read(std::span<char> buffer) override;
  std::uint64_t Size() const override { return source_->Size(); }
  bool Rereadable() const override { return reading_.rereadable && source_->Rereadable(); }
  bool Rewind() override;
  std::optional<FileIdentity> Identity() const override { return source_->Identity(); }

 private:
  std::unique_ptr<BlockSource> source_;
  Reading reading_;
  std::uint32_t state_;
  std::uint64_t read_ = 0;
};

// The bytes read at each block and the data decoded, of a document read to its end.
struct Recorder : ReaderClient, DataSink {
  DataSink& DataBegins(const DocumentValues&) override { return *this; }
  bool KeepReading(std::uint64_t read, std::uint64_t) override {
    seen += std::to_string(read) + " ";
    return true;
  }
  void Take(std::span<const std::uint8_t> data) override { seen.append(data.begin(), data.end()); }
  std::string seen;
};

// Ways of converting that must end alike.
enum class Way {
  kUsual,     // as conversions run
  kInPieces,  // read blocks of a few bytes
  kPlainly,   // every byte through the parser, the temporary file named
};
ConversionEnvironment EnvironmentFor(Way way, std::size_t largestBlock, std::uint32_t seed = 11,
                                     std::chrono::milliseconds pause = {});
// Documents opened as files and read as `reading` says.
ConversionEnvironment EnvironmentFor(Reading reading);

// Progress that asks `onBlock`, when set, whether to go on, with the bytes read so far.
struct FakeProgress : ConversionProgress {
  bool KeepConverting(std::uint64_t read, std::uint64_t) override {
    return !onBlock || onBlock(read);
  }
  std::function<bool(std::uint64_t bytesRead)> onBlock;
};

// How a conversion ended: "table " and the bytes of the output beside the document,
// "cancelled", "skipped " and the output's path, or the failure's text ("Error: ...",
// "error N: ...").
std::string ConversionOutcome(const ConversionRequest& request, ConversionProgress& progress,
                              const ConversionEnvironment& environment = {});
// The same for the table of the document at `input`, with `otherDocuments` of the run.
std::string ConversionOutcome(const std::filesystem::path& input,
                              const ConversionEnvironment& environment = {},
                              const std::vector<std::filesystem::path>& otherDocuments = {});

}  // namespace sorrelin::testing
