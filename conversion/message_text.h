#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

namespace sorrelin {

// Pieces of the texts that errors show. A message is one line: control characters
// in the values and names it quotes are escaped.

// The length of the well-formed UTF-8 character of two to four bytes at the start of
// `text`, with its code point in `code`; 0 when there is none.
inline std::size_t Utf8Character(std::string_view text, char32_t& code) {
  const auto first = static_cast<unsigned char>(text[0]);
  const std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
  if (first < 0xC2 || first > 0xF4 || text.size() < length) return 0;
  code = first & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3F);
  }
  constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};  // shorter would do: overlong
  if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// `text` with \n, \r, \t, and other C0 controls, DEL and bytes that are not within a
// well-formed UTF-8 character as \xNN; the C1 controls (U+0080..U+009F) and the line
// and paragraph separators (U+2028, U+2029) as \uNNNN.
inline std::string Escaped(std::string_view text) {
  std::string escaped;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    char code[8];
    char32_t point = 0;
    const std::size_t length = byte >= 0x80 ? Utf8Character(text.substr(i), point) : 0;
    if (length != 0) {
      if (point <= 0x9F || point == 0x2028 || point == 0x2029) {
        std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(point));
        escaped += code;
      } else {
        escaped += text.substr(i, length);
      }
      i += length - 1;
    } else if (byte >= 0x20 && byte < 0x7F) {
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
