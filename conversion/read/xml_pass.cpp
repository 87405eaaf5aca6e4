#include "read/xml_pass.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "block_size.h"
#include "conversion_error.h"
#include "read/expat_memory.h"
#include "read/xml_encodings.h"

namespace sorrelin {
namespace {

constexpr std::size_t kBlock = kBlockSize;
// expat scans a pending token again from its start on every parse call, so while one
// makes no progress the block grows, up to this.
constexpr std::size_t kLargestBlock = std::size_t{1} << 30;
// What expat takes at once of markup met while data is decoded beside it.
constexpr std::size_t kMarkupSlice = std::size_t{4} << 10;
// Base64 decoded beside the parser at once into a sink's room: its bytes fit in 48 KiB.
constexpr std::size_t kRoomPiece = std::size_t{64} << 10;

// XML_Index is 32 bits where XML_LARGE_SIZE is not set (Windows): compare offsets so.
bool SameOffset(std::uint64_t a, std::uint64_t b) {
  return static_cast<std::uint32_t>(a) == static_cast<std::uint32_t>(b);
}

[[noreturn]] void OutOfMemory() { throw NotEnoughMemory(); }

}  // namespace

XmlPass::XmlPass(BlockSource& source, ReaderClient& client, bool besideParser, Base64Kernel kernel,
                 std::uint64_t segment)
    : source_(source),
      client_(client),
      besideParser_(besideParser),
      kernel_(kernel),
      parser_(XML_ParserCreate_MM(nullptr, &kExpatMemory, nullptr)),
      selector_(segment) {
  if (!parser_) {
    throw ConversionError(ErrorNumber::kXmlReaderUnavailable, "cannot create the XML reader");
  }
  XML_Parser p = parser_.get();
  XML_SetUserData(p, this);
  XML_SetElementHandler(p, &XmlPass::OnStart, &XmlPass::OnEnd);
  XML_SetCharacterDataHandler(p, &XmlPass::OnText);
  XML_SetXmlDeclHandler(p, &XmlPass::OnXmlDeclaration);
  XML_SetUnknownEncodingHandler(p, &HandleUnknownEncoding, nullptr);
  // Parameter entities of the internal subset are expanded; external ones, the
  // external subset included, reach OnExternalEntity and are never opened.
  XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_UNLESS_STANDALONE);
  XML_SetExternalEntityRefHandler(p, &XmlPass::OnExternalEntity);
  XML_SetSkippedEntityHandler(p, &XmlPass::OnSkippedEntity);
}

DocumentRead XmlPass::Run() {
  XML_Parser p = parser_.get();
  // Where data decoded beside the parser is read: on this thread, so that each block is
  // still in this core's cache when decoded.
  std::unique_ptr<char[]> besideBlock;
  const std::uint64_t total = source_.Size();
  std::size_t block = kBlock;
  std::uint64_t lastReached = ~std::uint64_t{0};  // where the last parse call's last event ended
  for (bool last = false; !last;) {
    if (!client_.KeepReading(bytesRead_, total)) return Result(DocumentRead::End::kCancelled);
    // The first block goes to expat a slice at a time too, so that data that begins
    // in it is decoded beside the parser from where it begins.
    const bool beside = BesideParserReady() || (besideParser_ && bytesRead_ == 0);
    const std::size_t size = beside ? kReadBlockSize : block;
    if (beside && !besideBlock) besideBlock = std::make_unique_for_overwrite<char[]>(size);
    char* buffer =
        beside ? besideBlock.get() : static_cast<char*>(XML_GetBuffer(p, static_cast<int>(size)));
    if (!buffer) OutOfMemory();
    BlockSource::Block read;
    try {
      read = source_.Read({buffer, size});
    } catch (const DocumentUnreadable& unreadable) {
      return Result(DocumentRead::End::kLoadFailed, unreadable.what(), true);
    }
    last = read.last;
    const char* bytes = buffer;
    const std::size_t count = read.size;
    NoteFirstBytes(bytes, count);
    bytesRead_ += count;

    XML_Status status = XML_STATUS_OK;
    if (beside) {
      // Markup amid the data goes to expat a slice at a time, so that the data of a
      // segment that begins within the block is decoded beside it again. A slice that
      // left the data unreached doubles: a token pending is scanned again from its
      // start on every call.
      std::size_t at = BesideParserReady() ? DecodeRun({bytes, count}) : 0;
      std::size_t slice = kMarkupSlice;
      while (at < count || last) {
        const std::size_t n = std::min(count - at, slice);
        const bool final = last && at + n == count;
        status = XML_Parse(p, bytes + at, static_cast<int>(n), final);
        givenToParser_ += n;
        at += n;
        if (final || failure_ || status != XML_STATUS_OK) break;
        if (BesideParserReady()) {
          at += DecodeRun({bytes + at, count - at});
          slice = kMarkupSlice;
        } else {
          slice *= 2;
        }
      }
    } else {
      status = XML_ParseBuffer(p, static_cast<int>(count), last);
      givenToParser_ += count;
      // A full block that brought no event: a token longer than the block is pending.
      // An expat that defers parsing until twice the pending token has come gives no
      // event position (-1) for a block it only kept. (Where XML_Index is 32 bits, an
      // offset past 2 GiB is negative too: only -1 is taken for none.)
      const XML_Index index = XML_GetCurrentByteIndex(p);
      const auto reached = static_cast<std::uint64_t>(index);
      const bool noEvent = index == -1 || SameOffset(reached, lastReached);
      block = noEvent && count == size ? std::min(block * 2, kLargestBlock) : kBlock;
      if (index != -1) lastReached = reached;
    }
    if (failure_) std::rethrow_exception(failure_);
    if (status != XML_STATUS_OK && XML_GetErrorCode(p) == XML_ERROR_NO_MEMORY) OutOfMemory();
    if (status != XML_STATUS_OK) return Result(DocumentRead::End::kLoadFailed, FailureReason());
  }
  // A stop asked for while the last block was read still counts.
  if (!client_.KeepReading(bytesRead_, total)) return Result(DocumentRead::End::kCancelled);
  return Result(DocumentRead::End::kRead);
}

DocumentRead XmlPass::Result(DocumentRead::End end, std::string loadFailure, bool unreadable) {
  DocumentRead read{end, std::move(loadFailure), unreadable, {}};
  read.values.lineCount = selector_.LineCount();
  read.values.sampleCount = selector_.SampleCount();
  read.values.dataFound = selector_.DataFound();
  read.values.segments = selector_.Segments();
  read.values.dataFault = dataFault_;
  return read;
}

std::string XmlPass::FailureReason() const {
  if (bytesRead_ == 0) return "the document is empty";
  XML_Parser p = parser_.get();
  std::string what = abortReason_.empty() ? XML_ErrorString(XML_GetErrorCode(p)) : abortReason_;
  return what + " at line " + std::to_string(XML_GetCurrentLineNumber(p)) + ", column " +
         std::to_string(XML_GetCurrentColumnNumber(p) + 1);
}

// UTF-16 shows in the first two bytes: a zero byte or a byte-order mark, whose bytes
// are never among the first two of a well-formed ASCII-compatible document.
void XmlPass::NoteFirstBytes(const char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count && firstBytesSeen_ < 2; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == 0 || byte == 0xFE || byte == 0xFF) asciiBytes_ = false;
    ++firstBytesSeen_;
  }
}

bool XmlPass::BesideParserReady() const {
  return besideParser_ && selector_.Capturing() == ElementSelector::Capture::kData && asciiBytes_ &&
         firstBytesSeen_ == 2 && asciiDeclared_ && SameOffset(lastTextEnd_, givenToParser_);
}

std::size_t XmlPass::DecodeRun(std::string_view bytes) {
  std::size_t run = 0;
  bool ended = false;
  // A piece at a time into the sink's own room, while it has room for the piece.
  while (run != bytes.size() && !ended) {
    const std::string_view piece = bytes.substr(run, kRoomPiece);
    std::uint8_t* const room = sink_->Room(Base64Decoder::RoomFor(piece.size()));
    if (room == nullptr) break;
    std::size_t written = 0;
    const std::size_t n = decoder_->FeedRunInto(piece, room, written);
    sink_->Take({room, written});
    run += n;
    ended = n != piece.size();
  }
  if (!ended && run != bytes.size()) {
    run += decoder_->FeedRun(bytes.substr(run));
    PassData();
  }
  if (run != 0) decodedBesideParser_ = true;
  return run;
}

void XmlPass::PassData() {
  sink_->Take(decoded_.bytes());
  decoded_.Clear();
}

void XmlPass::Start(const char* name) {
  if (!selector_.Start(name)) return;
  // The counts, when read, are complete: they lie outside the data's element.
  sink_ = &client_.DataBegins(Result(DocumentRead::End::kRead).values);
  decoder_.emplace(decoded_, kernel_);
}

void XmlPass::End() {
  if (!selector_.End()) return;
  decoder_->Finish();
  PassData();
  const bool valid = !decoder_->Failed();
  if (!valid && !dataFault_) {
    dataFault_ =
        (selector_.EverySegment() ? "segment " + std::to_string(selector_.Segments()) + ": "
                                  : std::string()) +
        decoder_->Error();
  }
  decoder_.reset();
  client_.DataEnds(valid);
}

void XmlPass::Text(std::string_view text) {
  if (selector_.Capturing() != ElementSelector::Capture::kData) return selector_.Text(text);
  XML_Parser p = parser_.get();
  lastTextEnd_ = static_cast<std::uint64_t>(XML_GetCurrentByteIndex(p)) +
                 static_cast<std::uint64_t>(XML_GetCurrentByteCount(p));
  decoder_->Feed(text);
  PassData();
}

}  // namespace sorrelin
