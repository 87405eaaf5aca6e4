#include "read/document_reader.h"

#include <algorithm>

#include "read/xml_pass.h"

namespace sorrelin {
namespace {

class DiscardedData : public DataSink {
 public:
  void Take(std::span<const std::uint8_t>) override {}
};

// The caller's client for a second reading: the data is dropped, and progress stays
// where the first reading left it.
class ReadingAgain : public ReaderClient {
 public:
  ReadingAgain(ReaderClient& client, std::uint64_t heldAt) : client_(client), heldAt_(heldAt) {}
  DataSink& DataBegins(const DocumentValues&) override { return discarded_; }
  bool KeepReading(std::uint64_t, std::uint64_t bytesTotal) override {
    return client_.KeepReading(heldAt_, bytesTotal);
  }

 private:
  ReaderClient& client_;
  std::uint64_t heldAt_;
  DiscardedData discarded_;
};

}  // namespace

DocumentRead ReadDocument(BlockSource& source, ReaderClient& client, Base64Kernel kernel,
                          std::uint64_t segment) {
  XmlPass first(source, client, source.Rereadable(), kernel, segment);
  DocumentRead read = first.Run();
  const bool placeInexact =
      read.end == DocumentRead::End::kLoadFailed || read.values.dataFault.has_value();
  if (read.unreadable || !first.DecodedBesideParser() || !placeInexact || !source.Rewind()) {
    return read;
  }
  ReadingAgain again(client, first.BytesRead());
  DocumentRead exact = XmlPass(source, again, false, kernel, segment).Run();
  if (exact.end == DocumentRead::End::kCancelled) return exact;
  read.end = exact.end;
  read.loadFailure = exact.loadFailure;
  read.values.dataFault = exact.values.dataFault;
  return read;
}

}  // namespace sorrelin
