#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "block_source.h"

namespace sorrelin {

// Receives the data as it is decoded, in pieces of any size.
class DataSink {
 public:
  virtual ~DataSink() = default;
  virtual void Take(std::span<const std::uint8_t> bytes) = 0;
};

// What the element paths selected: the first match of each.
struct DocumentValues {
  std::optional<std::string> lineCount;
  std::optional<std::string> sampleCount;
  bool dataFound = false;
  std::optional<std::string> dataFault;  // why the data is not Base64, with its offset
};

// What a reader asks of its caller while it reads.
class ReaderClient {
 public:
  virtual ~ReaderClient() = default;
  // The first BinaryData begins, with the counts read before it in `soFar`: where its
  // bytes go as they are decoded.
  virtual DataSink& DataBegins(const DocumentValues& soFar) = 0;
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

// Reads the whole document with expat, well-formedness checked to the end, and the
// element values picked as it goes. Nothing but the source is ever read: external
// entities are refused where they could change a value read. A fault's place is
// exact: when a parse fault or bad Base64 was met while the data was decoded beside
// the parser, the document is read once more the plain way to place it, progress held
// where it was. A failed read is final.
// Raises ConversionError when the reader cannot be created or memory runs out.
DocumentRead ReadDocument(BlockSource& source, ReaderClient& client);

}  // namespace sorrelin
