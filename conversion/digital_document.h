#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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

class DigitalDocument;

// Asked once per block read (bytes read, file size or 0); false stops the reading.
using ReadProgress = std::function<bool(std::uint64_t, std::uint64_t)>;

// A parsed document, or the reason it could not be loaded. It keeps only the two
// count texts and the decoded data of the first BinaryData.
class DigitalDocument {
 public:
  bool Loaded() const noexcept { return !loadFailure_.has_value() && !cancelled_; }
  bool Cancelled() const noexcept { return cancelled_; }
  // Why the document could not be loaded: what is wrong and where.
  const std::string& LoadFailureReason() const { return *loadFailure_; }

  // Each raises ConversionError when its element is absent (kElementNotFound);
  // ReadData also when the Base64 text cannot be decoded (kInvalidBase64).
  std::string ReadLineCount() const;
  std::string ReadSampleCount() const;
  ByteBuffer ReadData();

 private:
  friend class DocumentReader;
  friend DigitalDocument LoadDigitalDocument(std::string_view inputPath,
                                             const ReadProgress& progress);

  std::optional<std::string> loadFailure_;
  std::optional<std::string> lineCount_;
  std::optional<std::string> sampleCount_;
  bool dataFound_ = false;
  ByteBuffer data_;
  std::string dataError_;
  bool cancelled_ = false;
};

// Parses the file that `inputPath` names (UTF-8 text, used exactly as given). A
// document that cannot be read or is not well-formed XML is an ordinary result,
// not an exception.
DigitalDocument LoadDigitalDocument(std::string_view inputPath,
                                    const ReadProgress& progress = {});

inline constexpr std::string_view kLineCountPath =
    "QelvarTamberlinedata/Header/IQelDigitalResult/BusInfo/NumLines";
inline constexpr std::string_view kSampleCountPath =
    "QelvarTamberlinedata/Header/IQelDigitalResult/NumSamples";
inline constexpr std::string_view kDataPath = "QelvarTamberlinedata/Data/Segment/BinaryData";

}  // namespace sorrelin
