#pragma once

#include <expat.h>

namespace sorrelin {

// Expat's unknown-encoding handler: teaches the parser Windows-1252 (also named
// cp1252), which acquisition software on Windows writes. Other names stay unknown.
int XMLCALL HandleUnknownEncoding(void* data, const XML_Char* name, XML_Encoding* info);

}  // namespace sorrelin
