#pragma once

#include <expat.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "byte_buffer.h"
#include "data_sink.h"
#include "read/base64_decoder.h"
#include "read/base64_kernels.h"
#include "read/block_source.h"
#include "read/element_selector.h"

namespace sorrelin {

// One reading of a document through expat, from its first byte to its last.
//
// The data is the BinaryData of `segment` (ElementSelector). With `besideParser`,
// while it is being captured in an
// ASCII-compatible encoding and expat's last event ended at the last byte given to
// it (no token pending), the leading run of Base64 characters and white space of each
// block is decoded here, and only the rest goes to expat. Those bytes are character
// data wherever they stand, so expat checks the same document; only the line, column
// and data offset it counts for later faults move. The data is decoded with `kernel`.
class XmlPass {
 public:
  XmlPass(BlockSource& source, ReaderClient& client, bool besideParser, Base64Kernel kernel,
          std::uint64_t segment = 1);
  XmlPass(const XmlPass&) = delete;
  XmlPass& operator=(const XmlPass&) = delete;

  DocumentRead Run();
  bool DecodedBesideParser() const noexcept { return decodedBesideParser_; }
  std::uint64_t BytesRead() const noexcept { return bytesRead_; }

 private:
  struct ParserFree {
    void operator()(XML_Parser parser) const noexcept { XML_ParserFree(parser); }
  };

  DocumentRead Result(DocumentRead::End end, std::string loadFailure = {}, bool unreadable = false);
  std::string FailureReason() const;
  void NoteFirstBytes(const char* bytes, std::size_t count);
  bool BesideParserReady() const;
  std::size_t DecodeRun(std::string_view bytes);
  void PassData();
  void Start(const char* name);
  void End();
  void Text(std::string_view text);
  bool RefuseUnreadEntity(const std::string& what);

  template <typename Work>
  static void Guarded(void* self, Work work);
  static void XMLCALL OnStart(void* self, const XML_Char* name, const XML_Char**);
  static void XMLCALL OnEnd(void* self, const XML_Char*);
  static void XMLCALL OnText(void* self, const XML_Char* text, int length);
  static void XMLCALL OnXmlDeclaration(void* self, const XML_Char*, const XML_Char* encoding, int);
  static int XMLCALL OnExternalEntity(XML_Parser parser, const XML_Char*, const XML_Char*,
                                      const XML_Char* systemId, const XML_Char*);
  static void XMLCALL OnSkippedEntity(void* self, const XML_Char* name, int isParameterEntity);

  BlockSource& source_;
  ReaderClient& client_;
  bool besideParser_;
  Base64Kernel kernel_;
  std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFree> parser_;
  std::uint64_t bytesRead_ = 0;
  std::uint64_t givenToParser_ = 0;
  std::uint64_t lastTextEnd_ = 0;  // where expat's last text event of the data ended
  int firstBytesSeen_ = 0;
  bool asciiBytes_ = true;
  bool asciiDeclared_ = true;
  bool decodedBesideParser_ = false;
  ElementSelector selector_;
  DataSink* sink_ = nullptr;
  ByteBuffer decoded_;
  std::optional<Base64Decoder> decoder_;
  std::optional<std::string> dataFault_;
  std::string abortReason_;
  std::exception_ptr failure_;
};

}  // namespace sorrelin
