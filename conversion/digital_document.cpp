#include "digital_document.h"

#include <expat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "base64_decoder.h"
#include "conversion_error.h"
#include "message_text.h"
#include "platform.h"
#include "xml_encodings.h"

namespace sorrelin {
namespace {

// Elements on the three element paths; everything else is kOther.
enum class Node : std::uint8_t {
  kDocument,
  kRoot,
  kHeader,
  kResult,
  kBusInfo,
  kNumLines,
  kNumSamples,
  kData,
  kSegment,
  kBinaryData,
  kOther,
};

struct Step {
  Node parent;
  std::string_view name;
  Node child;
};

constexpr std::array<Step, 9> kSteps{{
    {Node::kDocument, "QelvarTamberlinedata", Node::kRoot},
    {Node::kRoot, "Header", Node::kHeader},
    {Node::kHeader, "IQelDigitalResult", Node::kResult},
    {Node::kResult, "BusInfo", Node::kBusInfo},
    {Node::kBusInfo, "NumLines", Node::kNumLines},
    {Node::kResult, "NumSamples", Node::kNumSamples},
    {Node::kRoot, "Data", Node::kData},
    {Node::kData, "Segment", Node::kSegment},
    {Node::kSegment, "BinaryData", Node::kBinaryData},
}};
constexpr std::size_t kMaxKnownDepth = 5;

Node ChildOf(Node parent, const char* name) {
  for (const Step& step : kSteps) {
    if (step.parent == parent && step.name == name) return step.child;
  }
  return Node::kOther;
}

struct ParserFree {
  void operator()(XML_Parser parser) const noexcept { XML_ParserFree(parser); }
};
using UniqueParser = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFree>;

constexpr int kReadBlock = 1 << 20;

}  // namespace

// Streams one file through expat and fills a DigitalDocument with what the three
// element paths select: the first match of each, in document order.
class DocumentReader {
 public:
  DocumentReader(DigitalDocument& document, std::uintmax_t fileSize)
      : document_(document), fileSize_(fileSize), parser_(XML_ParserCreate(nullptr)) {
    if (!parser_) {
      throw ConversionError(ErrorNumber::kXmlReaderUnavailable, "cannot create the XML reader");
    }
    XML_Parser p = parser_.get();
    XML_SetUserData(p, this);
    XML_SetElementHandler(p, &DocumentReader::OnStart, &DocumentReader::OnEnd);
    XML_SetCharacterDataHandler(p, &DocumentReader::OnText);
    XML_SetUnknownEncodingHandler(p, &HandleUnknownEncoding, nullptr);
    XML_SetExternalEntityRefHandler(p, &DocumentReader::OnExternalEntity);
    XML_SetSkippedEntityHandler(p, &DocumentReader::OnSkippedEntity);
  }

  // Parses the whole file; returns the load failure reason, if any.
  std::optional<std::string> Parse(std::FILE* file, const std::string& pathText,
                                   const ReadProgress& progress) {
    XML_Parser p = parser_.get();
    std::uint64_t bytesRead = 0;
    for (;;) {
      void* buffer = XML_GetBuffer(p, kReadBlock);
      if (!buffer) throw ConversionError(ErrorNumber::kOutOfMemory, "not enough memory");
      const std::size_t count = std::fread(buffer, 1, kReadBlock, file);
      if (std::ferror(file)) {
        return "cannot read " + Quoted(pathText) + ": " + ErrnoMessage(errno);
      }
      bytesRead += count;
      if (progress && !progress(bytesRead, fileSize_)) {
        document_.cancelled_ = true;
        return std::nullopt;
      }
      const bool last = count < static_cast<std::size_t>(kReadBlock);
      if (XML_ParseBuffer(p, static_cast<int>(count), last) != XML_STATUS_OK) {
        return FailureReason();
      }
      if (last) break;
    }
    return std::nullopt;
  }

 private:
  enum class Capture : std::uint8_t { kNone, kLineCount, kSampleCount, kData };

  std::string FailureReason() const {
    XML_Parser p = parser_.get();
    std::string what = abortReason_.empty() ? XML_ErrorString(XML_GetErrorCode(p)) : abortReason_;
    return what + " at line " + std::to_string(XML_GetCurrentLineNumber(p)) + ", column " +
           std::to_string(XML_GetCurrentColumnNumber(p) + 1);
  }

  void Start(const char* name) {
    ++depth_;
    if (knownDepth_ + 1 != depth_ || knownDepth_ >= kMaxKnownDepth) return;
    const Node node = ChildOf(known_[knownDepth_], name);
    if (node == Node::kOther) return;
    known_[++knownDepth_] = node;
    if (capture_ != Capture::kNone) return;
    if (node == Node::kNumLines && !document_.lineCount_) {
      document_.lineCount_.emplace();
      BeginCapture(Capture::kLineCount);
    } else if (node == Node::kNumSamples && !document_.sampleCount_) {
      document_.sampleCount_.emplace();
      BeginCapture(Capture::kSampleCount);
    } else if (node == Node::kBinaryData && !document_.dataFound_) {
      document_.dataFound_ = true;
      // Base64 yields three bytes for four characters, so three quarters of the
      // rest of the file hold the data of any document without entities; those
      // grow the buffer as needed. Untouched capacity costs no memory.
      const auto consumed = static_cast<std::uintmax_t>(
          std::max<XML_Index>(0, XML_GetCurrentByteIndex(parser_.get())));
      const std::uintmax_t remaining = fileSize_ > consumed ? fileSize_ - consumed : 0;
      document_.data_.Reserve(static_cast<std::size_t>(remaining / 4 * 3 + 64));
      dataDecoder_.emplace(document_.data_);
      BeginCapture(Capture::kData);
    }
  }

  void BeginCapture(Capture what) {
    capture_ = what;
    captureDepth_ = depth_;
  }

  void End() {
    if (capture_ != Capture::kNone && depth_ == captureDepth_) {
      if (capture_ == Capture::kData) FinishData();
      capture_ = Capture::kNone;
    }
    if (knownDepth_ == depth_) --knownDepth_;
    --depth_;
  }

  void Text(std::string_view text) {
    switch (capture_) {
      case Capture::kNone:
        break;
      case Capture::kLineCount:
        document_.lineCount_->append(text);
        break;
      case Capture::kSampleCount:
        document_.sampleCount_->append(text);
        break;
      case Capture::kData:
        dataDecoder_->Feed(text);
        break;
    }
  }

  void FinishData() {
    dataDecoder_->Finish();
    if (dataDecoder_->Failed()) document_.dataError_ = dataDecoder_->Error();
    dataDecoder_.reset();
  }

  // An entity whose text is not read would silently change a value that is read.
  bool RefuseUnreadEntity(const std::string& what) {
    if (capture_ == Capture::kNone) return false;
    abortReason_ = what + " is not read";
    return true;
  }

  static void OnStart(void* self, const XML_Char* name, const XML_Char**) {
    static_cast<DocumentReader*>(self)->Start(name);
  }
  static void OnEnd(void* self, const XML_Char*) { static_cast<DocumentReader*>(self)->End(); }
  static void OnText(void* self, const XML_Char* text, int length) {
    static_cast<DocumentReader*>(self)->Text({text, static_cast<std::size_t>(length)});
  }
  static int OnExternalEntity(XML_Parser parser, const XML_Char*, const XML_Char*,
                              const XML_Char* systemId, const XML_Char*) {
    auto* self = static_cast<DocumentReader*>(XML_GetUserData(parser));
    const std::string what = "external entity " + Quoted(systemId ? systemId : "");
    return self->RefuseUnreadEntity(what) ? XML_STATUS_ERROR : XML_STATUS_OK;
  }
  static void OnSkippedEntity(void* userData, const XML_Char* name, int isParameterEntity) {
    auto* self = static_cast<DocumentReader*>(userData);
    if (isParameterEntity) return;
    if (self->RefuseUnreadEntity("entity '" + std::string(name) +
                                 "', declared outside the document,")) {
      XML_StopParser(self->parser_.get(), XML_FALSE);
    }
  }

  DigitalDocument& document_;
  std::uintmax_t fileSize_;
  UniqueParser parser_;
  std::size_t depth_ = 0;
  std::size_t knownDepth_ = 0;
  std::array<Node, kMaxKnownDepth + 1> known_{Node::kDocument};
  Capture capture_ = Capture::kNone;
  std::size_t captureDepth_ = 0;
  std::optional<Base64Decoder> dataDecoder_;
  std::string abortReason_;
};

std::string DigitalDocument::ReadLineCount() const {
  if (!lineCount_) {
    throw ConversionError(ErrorNumber::kElementNotFound,
                          "element not found: " + std::string(kLineCountPath));
  }
  return *lineCount_;
}

std::string DigitalDocument::ReadSampleCount() const {
  if (!sampleCount_) {
    throw ConversionError(ErrorNumber::kElementNotFound,
                          "element not found: " + std::string(kSampleCountPath));
  }
  return *sampleCount_;
}

ByteBuffer DigitalDocument::ReadData() {
  if (!dataFound_) {
    throw ConversionError(ErrorNumber::kElementNotFound,
                          "element not found: " + std::string(kDataPath));
  }
  if (!dataError_.empty()) throw ConversionError(ErrorNumber::kInvalidBase64, dataError_);
  return std::move(data_);
}

DigitalDocument LoadDigitalDocument(std::string_view inputPath, const ReadProgress& progress) {
  DigitalDocument document;
  const std::string pathText(inputPath);
  if (inputPath.empty()) {
    document.loadFailure_ = "no document named: the path is empty";
    return document;
  }
  const std::filesystem::path path = PathFromText(inputPath);
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (std::filesystem::is_directory(status)) {
    document.loadFailure_ = Quoted(pathText) + " is a folder, not a document";
    return document;
  }
  UniqueFile file = OpenFile(path, "rb");
  if (!file) {
    document.loadFailure_ = "cannot open " + Quoted(pathText) + ": " + ErrnoMessage(errno);
    return document;
  }
  std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) size = 0;
  DocumentReader reader(document, size);
  document.loadFailure_ = reader.Parse(file.get(), pathText, progress);
  if (!document.Loaded()) document.data_ = ByteBuffer();
  return document;
}

}  // namespace sorrelin
