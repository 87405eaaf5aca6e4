#include "read/xml_encodings.h"

#include <array>
#include <cctype>
#include <string_view>

namespace sorrelin {
namespace {

// Code points of the bytes 0x80..0x9F; the five bytes Windows leaves undefined map
// to the C1 control of the same number, as Windows itself converts them.
constexpr std::array<int, 32> kWindows1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool IsWindows1252(std::string_view name) {
  return SameNameIgnoringCase(name, "windows-1252") || SameNameIgnoringCase(name, "cp1252");
}

}  // namespace

bool IsAsciiCompatible(std::string_view encoding) {
  return IsWindows1252(encoding) || SameNameIgnoringCase(encoding, "UTF-8") ||
         SameNameIgnoringCase(encoding, "US-ASCII") || SameNameIgnoringCase(encoding, "ISO-8859-1");
}

int XMLCALL HandleUnknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
  if (!IsWindows1252(name)) return XML_STATUS_ERROR;
  for (int byte = 0; byte < 256; ++byte) {
    info->map[byte] = (byte >= 0x80 && byte < 0xA0) ? kWindows1252High[byte - 0x80] : byte;
  }
  info->data = nullptr;
  info->convert = nullptr;
  info->release = nullptr;
  return XML_STATUS_OK;
}

}  // namespace sorrelin
