#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

namespace sorrelin {

// Pieces of the texts that errors show. A message is one line: control characters
// in the values and names it quotes are escaped.

// `text` with \n, \r, \t and other control characters as \xNN.
inline std::string Escaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      escaped += c;
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\t') {
      escaped += "\\t";
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      escaped += hex;
    }
  }
  return escaped;
}

// `text` escaped, in double quotes.
inline std::string Quoted(std::string_view text) { return '"' + Escaped(text) + '"'; }

// The start of `text` up to `maxBytes`, cut before a UTF-8 character that would not
// fit whole, with "..." when cut.
inline std::string Shortened(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  std::size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut)) + "...";
}

// The system's words for an errno value.
inline std::string ErrnoMessage(int errorNumber) {
  return std::error_code(errorNumber, std::generic_category()).message();
}

}  // namespace sorrelin
