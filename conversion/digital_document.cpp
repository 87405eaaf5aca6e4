#include "digital_document.h"

#include <expat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>
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

// A pending token is scanned again from its start on every parse call, so while one
// makes no progress the block grows, up to this.
constexpr std::size_t kLargestBlock = std::size_t{1} << 30;

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// Encodings in which every Base64 character and XML white space is the one byte of
// its ASCII code, and no other character contains such a byte.
bool IsAsciiCompatible(std::string_view encoding) {
  for (std::string_view name : {"UTF-8", "US-ASCII", "ISO-8859-1", "windows-1252", "cp1252"}) {
    if (SameNameIgnoringCase(encoding, name)) return true;
  }
  return false;
}

}  // namespace

// Streams one file through expat and fills a DigitalDocument with what the three
// element paths select: the first match of each, in document order.
//
// While the first BinaryData is being captured and expat has taken every byte given
// to it (no token pending), the leading run of Base64 characters and white space of
// each block is decoded here instead, and only the rest goes to expat. Those bytes
// are character data wherever they stand, so expat checks the same document; only
// the line and column it counts for later faults move.
class DocumentReader {
 public:
  DocumentReader(DigitalDocument& document, const LoadOptions& options, std::uint64_t fileSize,
                 bool besideParserAllowed)
      : document_(document),
        options_(options),
        fileSize_(fileSize),
        besideParserAllowed_(besideParserAllowed && options.reading.decodeBesideParser),
        parser_(XML_ParserCreate(nullptr)),
        blockState_(options.reading.blockSeed) {
    if (!parser_) {
      throw ConversionError(ErrorNumber::kXmlReaderUnavailable, "cannot create the XML reader");
    }
    XML_Parser p = parser_.get();
    XML_SetUserData(p, this);
    XML_SetElementHandler(p, &DocumentReader::OnStart, &DocumentReader::OnEnd);
    XML_SetCharacterDataHandler(p, &DocumentReader::OnText);
    XML_SetXmlDeclHandler(p, &DocumentReader::OnXmlDeclaration);
    XML_SetUnknownEncodingHandler(p, &HandleUnknownEncoding, nullptr);
    // Parameter entities of the internal subset are expanded; external ones, the
    // external subset included, reach OnExternalEntity and are never opened.
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_UNLESS_STANDALONE);
    XML_SetExternalEntityRefHandler(p, &DocumentReader::OnExternalEntity);
    XML_SetSkippedEntityHandler(p, &DocumentReader::OnSkippedEntity);
  }

  // Parses the whole file; returns the load failure reason, if any.
  std::optional<std::string> Parse(std::FILE* file, const std::string& pathText) {
    XML_Parser p = parser_.get();
    std::uint64_t bytesRead = 0;
    std::size_t block = options_.reading.readBlock;
    XML_Index lastReached = -1;  // where the last parse call's last event ended
    for (bool last = false; !last;) {
      if (options_.keepReading && !options_.keepReading(bytesRead, fileSize_)) {
        document_.cancelled_ = true;
        return std::nullopt;
      }
      const bool beside = BesideParserReady();
      const std::size_t size = BlockSize(beside ? options_.reading.readBlock : block);
      char* buffer =
          beside ? OwnBuffer() : static_cast<char*>(XML_GetBuffer(p, static_cast<int>(size)));
      if (!buffer) throw ConversionError(ErrorNumber::kOutOfMemory, "not enough memory");
      const std::size_t count = std::fread(buffer, 1, size, file);
      if (std::ferror(file)) {
        return "cannot read " + Quoted(pathText) + ": " + ErrnoMessage(errno);
      }
      last = count < size;
      NoteFirstBytes(buffer, count);
      bytesRead += count;

      XML_Status status = XML_STATUS_OK;
      if (beside) {
        const std::size_t run = DecodeRun({buffer, count});
        if (run < count || last) {
          status = XML_Parse(p, buffer + run, static_cast<int>(count - run), last);
          givenToParser_ += count - run;
        }
      } else {
        status = XML_ParseBuffer(p, static_cast<int>(count), last);
        givenToParser_ += count;
        const XML_Index reached = XML_GetCurrentByteIndex(p);
        block = reached == lastReached ? std::min(block * 2, kLargestBlock)
                                       : options_.reading.readBlock;
        lastReached = reached;
      }
      if (failure_) std::rethrow_exception(failure_);
      if (status != XML_STATUS_OK) return FailureReason();
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

  std::size_t BlockSize(std::size_t largest) {
    if (options_.reading.blockSeed == 0) return largest;
    blockState_ = blockState_ * 1103515245 + 12345;
    return 1 + (blockState_ >> 8) % largest;
  }

  char* OwnBuffer() {
    if (!ownBuffer_)
      ownBuffer_ = std::make_unique_for_overwrite<char[]>(options_.reading.readBlock);
    return ownBuffer_.get();
  }

  // UTF-16 shows in the first two bytes: a byte-order mark or a zero byte.
  void NoteFirstBytes(const char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count && firstBytesSeen_ < 2; ++i) {
      const auto byte = static_cast<unsigned char>(bytes[i]);
      if (byte == 0 || (firstBytesSeen_ == 0 && (byte == 0xFE || byte == 0xFF)))
        asciiBytes_ = false;
      ++firstBytesSeen_;
    }
  }

  bool BesideParserReady() const {
    return besideParserAllowed_ && capture_ == Capture::kData && asciiBytes_ &&
           firstBytesSeen_ == 2 && asciiDeclared_ &&
           XML_GetCurrentByteIndex(parser_.get()) == static_cast<XML_Index>(givenToParser_);
  }

  std::size_t DecodeRun(std::string_view bytes) {
    const std::size_t run = dataDecoder_->FeedRun(bytes);
    if (run != 0) document_.decodedBesideParser_ = true;
    PassData();
    return run;
  }

  void PassData() {
    if (!sink_) return;
    sink_->Take(scratch_.bytes());
    scratch_.Clear();
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
      // Both counts, when read, are complete: they lie outside the data's element.
      if (options_.dataSink && document_.lineCount_ && document_.sampleCount_) {
        sink_ = options_.dataSink(*document_.lineCount_, *document_.sampleCount_);
      }
      dataDecoder_.emplace(sink_ ? scratch_ : document_.data_);
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
        PassData();
        break;
    }
  }

  void FinishData() {
    dataDecoder_->Finish();
    PassData();
    if (dataDecoder_->Failed()) document_.dataError_ = dataDecoder_->Error();
    dataDecoder_.reset();
  }

  // Whether the innermost open element is on an element path and could still hold
  // an element whose first match has not been found.
  bool MayHoldUnfoundElement() const {
    if (knownDepth_ == 0 || knownDepth_ != depth_) return false;
    const bool counts = !document_.lineCount_ || !document_.sampleCount_;
    switch (known_[knownDepth_]) {
      case Node::kRoot:
        return counts || !document_.dataFound_;
      case Node::kHeader:
      case Node::kResult:
        return counts;
      case Node::kBusInfo:
        return !document_.lineCount_;
      case Node::kData:
      case Node::kSegment:
        return !document_.dataFound_;
      default:
        return false;
    }
  }

  // An entity whose text is not read would silently change a value that is read, or
  // hide the element that holds one.
  bool RefuseUnreadEntity(const std::string& what) {
    if (capture_ == Capture::kNone && !MayHoldUnfoundElement()) return false;
    abortReason_ = what + " is not read";
    return true;
  }

  // Runs a handler's work; an exception stops the parser and is raised after it.
  template <typename Work>
  static void Guarded(void* self, Work work) {
    auto* reader = static_cast<DocumentReader*>(self);
    if (reader->failure_) return;
    try {
      work(*reader);
    } catch (...) {
      reader->failure_ = std::current_exception();
      XML_StopParser(reader->parser_.get(), XML_FALSE);
    }
  }

  static void XMLCALL OnStart(void* self, const XML_Char* name, const XML_Char**) {
    Guarded(self, [name](DocumentReader& reader) { reader.Start(name); });
  }
  static void XMLCALL OnEnd(void* self, const XML_Char*) {
    Guarded(self, [](DocumentReader& reader) { reader.End(); });
  }
  static void XMLCALL OnText(void* self, const XML_Char* text, int length) {
    Guarded(self, [text, length](DocumentReader& reader) {
      reader.Text({text, static_cast<std::size_t>(length)});
    });
  }
  static void XMLCALL OnXmlDeclaration(void* self, const XML_Char*, const XML_Char* encoding, int) {
    auto* reader = static_cast<DocumentReader*>(self);
    if (encoding) reader->asciiDeclared_ = IsAsciiCompatible(encoding);
  }
  static int XMLCALL OnExternalEntity(XML_Parser parser, const XML_Char*, const XML_Char*,
                                      const XML_Char* systemId, const XML_Char*) {
    auto* self = static_cast<DocumentReader*>(XML_GetUserData(parser));
    bool refused = true;
    Guarded(self, [&refused, systemId](DocumentReader& reader) {
      refused = reader.RefuseUnreadEntity("external entity " + Quoted(systemId ? systemId : ""));
    });
    return refused ? XML_STATUS_ERROR : XML_STATUS_OK;
  }
  static void XMLCALL OnSkippedEntity(void* self, const XML_Char* name, int isParameterEntity) {
    if (isParameterEntity) return;
    Guarded(self, [name](DocumentReader& reader) {
      if (reader.RefuseUnreadEntity("entity '" + std::string(name) +
                                    "', declared outside the document,")) {
        XML_StopParser(reader.parser_.get(), XML_FALSE);
      }
    });
  }

  DigitalDocument& document_;
  const LoadOptions& options_;
  std::uint64_t fileSize_;
  bool besideParserAllowed_;
  UniqueParser parser_;
  std::uint32_t blockState_;
  std::unique_ptr<char[]> ownBuffer_;
  std::uint64_t givenToParser_ = 0;
  int firstBytesSeen_ = 0;
  bool asciiBytes_ = true;
  bool asciiDeclared_ = true;
  std::size_t depth_ = 0;
  std::size_t knownDepth_ = 0;
  std::array<Node, kMaxKnownDepth + 1> known_{Node::kDocument};
  Capture capture_ = Capture::kNone;
  std::size_t captureDepth_ = 0;
  DataSink* sink_ = nullptr;
  ByteBuffer scratch_;
  std::optional<Base64Decoder> dataDecoder_;
  std::string abortReason_;
  std::exception_ptr failure_;
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

DigitalDocument LoadDigitalDocument(std::string_view inputPath, const LoadOptions& options) {
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
  // A regular file can be read again to place a fault exactly; a pipe cannot.
  const bool regular = std::filesystem::is_regular_file(status);
  std::uintmax_t size = regular ? std::filesystem::file_size(path, error) : 0;
  if (error) size = 0;
  DocumentReader reader(document, options, size, regular);
  document.loadFailure_ = reader.Parse(file.get(), pathText);
  if (!document.Loaded()) document.data_ = ByteBuffer();
  return document;
}

}  // namespace sorrelin
