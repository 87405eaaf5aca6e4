#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sorrelin {

// Receives the data as it is decoded, in pieces of any size.
class DataSink {
 public:
  virtual ~DataSink() = default;
  virtual void Take(std::span<const std::uint8_t> bytes) = 0;
  // Where the next bytes, at most `bytes` of them, may be decoded when the sink would
  // only copy them there; null when they go anywhere else. Bytes decoded there are
  // given to Take, from there, before anything else is asked of the sink.
  virtual std::uint8_t* Room(std::size_t bytes) {
    (void)bytes;
    return nullptr;
  }
};

// The segment number that asks for every segment, each to its own output.
inline constexpr std::uint64_t kEverySegment = 0;

// What the element paths selected: the first match of each.
struct DocumentValues {
  std::optional<std::string> lineCount;
  std::optional<std::string> sampleCount;
  bool dataFound = false;                // the chosen segment's BinaryData
  std::uint64_t segments = 0;            // segments with a BinaryData, so far
  std::optional<std::string> dataFault;  // why the data is not Base64, with its offset
};

// What a reader asks of its caller while it reads.
class ReaderClient {
 public:
  virtual ~ReaderClient() = default;
  // The data chosen begins (the BinaryData of a segment, whose number is
  // soFar.segments), with the counts read before it in `soFar`: where its bytes go as
  // they are decoded.
  virtual DataSink& DataBegins(const DocumentValues& soFar) = 0;
  // That data has ended, and was Base64 throughout or not.
  virtual void DataEnds(bool valid) { (void)valid; }
  // Asked before each block and once after the last, with the bytes read so far and
  // the document's size (0 when not known); false stops the reading.
  virtual bool KeepReading(std::uint64_t bytesRead, std::uint64_t bytesTotal) = 0;
};

struct DocumentRead {
  enum class End { kRead, kLoadFailed, kCancelled };
  End end = End::kRead;
  std::string loadFailure;  // what is wrong and where
  bool unreadable = false;  // the load failed because a read of the source did
  DocumentValues values;
};

}  // namespace sorrelin
