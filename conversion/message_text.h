#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

namespace sorrelin {

// Pieces of the texts that errors show. A message is one line: control characters
// in the values and names it quotes are escaped.

// `text` with \n, \r, \t and other C0 controls as \xNN, and the C1 controls
// (U+0080..U+009F, UTF-8 C2 80..C2 9F) as \uNNNN.
inline std::string Escaped(std::string_view text) {
  std::string escaped;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    char code[8];
    if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      std::snprintf(code, sizeof code, "\\u%04X", next);
      escaped += code;
      ++i;
    } else if (byte >= 0x20 && byte != 0x7F) {
      escaped += c;
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\t') {
      escaped += "\\t";
    } else {
      std::snprintf(code, sizeof code, "\\x%02X", byte);
      escaped += code;
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
