// The expat handlers of XmlPass: each runs its work guarded, so that an exception
// stops the parser rather than crossing expat.
#include <exception>
#include <string>

#include "message_text.h"
#include "read/xml_encodings.h"
#include "read/xml_pass.h"

namespace sorrelin {

// An entity whose text is not read would silently change a value that is read, or
// hide the element that holds one.
bool XmlPass::RefuseUnreadEntity(const std::string& what) {
  if (!selector_.UnreadEntityMatters()) return false;
  abortReason_ = what + " is not read";
  return true;
}

// Runs a handler's work; an exception stops the parser and is raised after it.
template <typename Work>
void XmlPass::Guarded(void* self, Work work) {
  auto* pass = static_cast<XmlPass*>(self);
  if (pass->failure_) return;
  try {
    work(*pass);
  } catch (...) {
    pass->failure_ = std::current_exception();
    XML_StopParser(pass->parser_.get(), XML_FALSE);
  }
}

void XMLCALL XmlPass::OnStart(void* self, const XML_Char* name, const XML_Char**) {
  Guarded(self, [name](XmlPass& pass) { pass.Start(name); });
}
void XMLCALL XmlPass::OnEnd(void* self, const XML_Char*) {
  Guarded(self, [](XmlPass& pass) { pass.End(); });
}
void XMLCALL XmlPass::OnText(void* self, const XML_Char* text, int length) {
  Guarded(self, [text, length](XmlPass& pass) {
    pass.Text({text, static_cast<std::size_t>(length)});
  });
}
void XMLCALL XmlPass::OnXmlDeclaration(void* self, const XML_Char*, const XML_Char* encoding, int) {
  if (encoding) static_cast<XmlPass*>(self)->asciiDeclared_ = IsAsciiCompatible(encoding);
}
int XMLCALL XmlPass::OnExternalEntity(XML_Parser parser, const XML_Char*, const XML_Char*,
                                      const XML_Char* systemId, const XML_Char*) {
  bool refused = true;
  Guarded(XML_GetUserData(parser), [&refused, systemId](XmlPass& pass) {
    refused = pass.RefuseUnreadEntity("external entity " + Quoted(systemId ? systemId : ""));
  });
  return refused ? XML_STATUS_ERROR : XML_STATUS_OK;
}
void XMLCALL XmlPass::OnSkippedEntity(void* self, const XML_Char* name, int isParameterEntity) {
  if (isParameterEntity) return;
  Guarded(self, [name](XmlPass& pass) {
    if (pass.RefuseUnreadEntity("entity '" + std::string(name) +
                                "', declared outside the document,")) {
      XML_StopParser(pass.parser_.get(), XML_FALSE);
    }
  });
}

}  // namespace sorrelin
