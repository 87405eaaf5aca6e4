#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "byte_buffer.h"

namespace sorrelin {

// The three values a conversion takes from a digital waveform document.
struct DigitalWaveformDocument {
  std::string lineCountText;
  std::string sampleCountText;
  ByteBuffer data;
};

// Receives the data as it is decoded, in pieces of any size.
class DataSink {
 public:
  virtual ~DataSink() = default;
  virtual void Take(std::span<const std::uint8_t> bytes) = 0;
};

// How a document is read. Only tests and fuzzers change these: every setting gives
// the same outcome, by other ways.
struct ReadingOptions {
  // Base64 runs of the data are decoded straight from the read buffer, beside the
  // XML parser, where the document's encoding and the file allow.
  bool decodeBesideParser = true;
  // Bytes read at a time; with a nonzero seed, every block has a pseudo-random size
  // of at most that, so block boundaries fall anywhere.
  std::size_t readBlock = std::size_t{1} << 20;
  std::uint32_t blockSeed = 0;
};

struct LoadOptions {
  ReadingOptions reading;
  // Asked once per block read, with the bytes read so far and the file's size (0 when
  // not known); false stops the reading and the document is Cancelled.
  std::function<bool(std::uint64_t, std::uint64_t)> keepReading;
  // Asked when the first BinaryData starts after both counts have been read, with
  // their texts: where the data goes as it is decoded. Null keeps it in memory.
  std::function<DataSink*(const std::string& lineCount, const std::string& sampleCount)> dataSink;
};

// A parsed document, or the reason it could not be loaded. It keeps only the two
// count texts and the data of the first BinaryData (unless a sink took the data).
class DigitalDocument {
 public:
  bool Loaded() const noexcept { return !loadFailure_.has_value() && !cancelled_; }
  bool Cancelled() const noexcept { return cancelled_; }
  // Why the document could not be loaded: what is wrong and where.
  const std::string& LoadFailureReason() const { return *loadFailure_; }
  // Whether data was decoded beside the parser: the places named in load failures
  // and Base64 faults are then not exact, and a plain load gives the exact ones.
  bool DecodedBesideParser() const noexcept { return decodedBesideParser_; }

  // Each raises ConversionError when its element is absent (kElementNotFound);
  // ReadData also when the Base64 text cannot be decoded (kInvalidBase64). ReadData
  // is empty when the data went to a sink.
  std::string ReadLineCount() const;
  std::string ReadSampleCount() const;
  ByteBuffer ReadData();

 private:
  friend class DocumentReader;
  friend DigitalDocument LoadDigitalDocument(std::string_view inputPath,
                                             const LoadOptions& options);

  std::optional<std::string> loadFailure_;
  std::optional<std::string> lineCount_;
  std::optional<std::string> sampleCount_;
  bool dataFound_ = false;
  ByteBuffer data_;
  std::string dataError_;
  bool cancelled_ = false;
  bool decodedBesideParser_ = false;
};

// Parses the file that `inputPath` names (UTF-8 text, used exactly as given). A
// document that cannot be read or is not well-formed XML is an ordinary result,
// not an exception. Nothing but that file is ever opened.
DigitalDocument LoadDigitalDocument(std::string_view inputPath, const LoadOptions& options = {});

inline constexpr std::string_view kLineCountPath =
    "QelvarTamberlinedata/Header/IQelDigitalResult/BusInfo/NumLines";
inline constexpr std::string_view kSampleCountPath =
    "QelvarTamberlinedata/Header/IQelDigitalResult/NumSamples";
inline constexpr std::string_view kDataPath = "QelvarTamberlinedata/Data/Segment/BinaryData";

}  // namespace sorrelin
