#pragma once

#include <expat.h>

#include <string_view>

namespace sorrelin {

// Expat's unknown-encoding handler: teaches the parser Windows-1252 (also named
// cp1252), which acquisition software on Windows writes. Other names stay unknown.
int XMLCALL HandleUnknownEncoding(void* data, const XML_Char* name, XML_Encoding* info);

// Whether a declared encoding writes every Base64 character and XML white space as
// the one byte of its ASCII code, and no other character with such a byte: UTF-8,
// US-ASCII, ISO-8859-1 and Windows-1252.
bool IsAsciiCompatible(std::string_view encoding);

}  // namespace sorrelin
