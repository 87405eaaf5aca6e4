#include "digital_document.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "conversion_error.h"
#include "test_support.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers

// The outcome of loading and the three reads, in order, as one comparable text.
std::string ReadAll(const std::string& path) {
  DigitalDocument document = LoadDigitalDocument(path);
  if (!document.Loaded()) return "load failure: " + document.LoadFailureReason();
  try {
    std::string result = document.ReadLineCount() + "|";
    result += document.ReadSampleCount() + "|";
    const ByteBuffer data = document.ReadData();
    for (std::uint8_t b : data.bytes()) result += std::to_string(b) + " ";
    return result;
  } catch (const ConversionError& error) {
    return "error " + std::to_string(error.Number()) + ": " + error.what();
  }
}

std::string LoadAndReadAll(const TempFolder& folder, const std::string& bytes) {
  WriteFile(folder / "doc.XMLdig", bytes);
  return ReadAll(testing::Text(folder / "doc.XMLdig"));
}

TEST(DigitalDocument, SelectsTheFirstMatchOfEachExactPathOrSaysWhyNot) {
  const std::string counts = "<BusInfo><NumLines>2</NumLines></BusInfo><NumSamples>3</NumSamples>";
  auto doc = [](const std::string& header, const std::string& data) {
    return "<QelvarTamberlinedata><Header><IQelDigitalResult>" + header +
           "</IQelDigitalResult></Header>" + data + "</QelvarTamberlinedata>";
  };
  auto data = [](const std::string& segments) { return "<Data>" + segments + "</Data>"; };
  const std::string notFound = "error 1003: element not found: ";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {DocumentXml(" two\n", "3.5", "AQABAA=="), " two\n|3.5|1 0 1 0 "},
      {doc(counts, data("<Segment><BinaryData>AQ==</BinaryData></"
                        "Segment><Segment><BinaryData>Ag==</BinaryData>"
                        "</Segment>")),
       "2|3|1 "},
      {doc(counts, data("<Segment/><Segment><X>x</X></Segment><Segment><BinaryData>Aw==</"
                        "BinaryData></Segment>")),
       "2|3|3 "},
      {doc("<BusInfo><NumLines>7</NumLines><NumLines>8</NumLines></BusInfo><NumSamples>3</"
           "NumSamples>",
           data("<Segment><BinaryData/></Segment>")),
       "7|3|"},
      // The string value: all text within, CDATA and references too, no comments or PIs.
      {doc("<BusInfo><NumLines a=\"9\"> 1<b>2</b><!-- 5 --><?pi 6?>&#51;</NumLines></BusInfo>"
           "<NumSamples><![CDATA[4]]></NumSamples>",
           data("<Segment><BinaryData>AQ<!-- $ -->ID<![CDATA[\nBA==]]></BinaryData></Segment>")),
       " 123|4|1 2 3 4 "},
      {"<Other>" + doc(counts, "") + "</Other>", notFound + std::string(kLineCountPath)},
      {doc("<BusInfo><numlines>2</numlines></BusInfo>", ""),
       notFound + std::string(kLineCountPath)},
      {doc("<NumLines>2</NumLines><NumSamples>3</NumSamples>", ""),
       notFound + std::string(kLineCountPath)},
      {doc("<BusInfo><NumLines>2</NumLines></BusInfo>", ""),
       notFound + std::string(kSampleCountPath)},
      {doc(counts, data("<Segment/>")), notFound + std::string(kDataPath)},
      {doc(counts, data("<Segment><BinaryData>\n  AQ#D</BinaryData></Segment>")),
       "error 1004: invalid Base64 character '#' at offset 5"},
      {doc("<NumSamples>3</NumSamples>", data("<Segment><BinaryData>#</BinaryData></Segment>")),
       notFound + std::string(kLineCountPath)},
      {"", "load failure: no element found at line 1, column 1"},
      {"<QelvarTamberlinedata>\n<Header>\n  <Data></Header>",
       "load failure: mismatched tag at line 3, column 11"},
      {"<?xml version=\"1.0\" encoding=\"KOI8-R\"?><r/>",
       "load failure: unknown encoding at line 1, column 31"},
      {"<r>&x;</r>", "load failure: undefined entity at line 1, column 4"},
  };
  TempFolder folder;
  for (const auto& [xml, expected] : cases) EXPECT_EQ(LoadAndReadAll(folder, xml), expected) << xml;

  const std::string missing = testing::Text(folder / "missing.XMLdig");
  EXPECT_EQ(ReadAll(missing),
            "load failure: cannot open \"" + missing + "\": " + std::strerror(ENOENT));
  EXPECT_EQ(ReadAll(testing::Text(folder.path())),
            "load failure: \"" + testing::Text(folder.path()) + "\" is a folder, not a document");
  EXPECT_EQ(ReadAll(""), "load failure: no document named: the path is empty");
}

TEST(DigitalDocument, LoadsEveryEncodingItsWritersUse) {
  const std::string plain =
      "<QelvarTamberlinedata><Header><IQelDigitalResult><BusInfo><NumLines>2</NumLines></BusInfo>"
      "<NumSamples>1</NumSamples></IQelDigitalResult></Header><Data><Segment><BinaryData>AQI="
      "</BinaryData></Segment></Data></QelvarTamberlinedata>";
  auto declared = [&](const std::string& name, const std::string& comment) {
    return "<?xml version=\"1.0\" encoding=\"" + name + "\"?><!-- " + comment + " -->" + plain;
  };
  auto utf16 = [&](bool bigEndian) {
    std::string text = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : declared("UTF-16", ""))
      text += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return text;
  };
  const std::vector<std::string> documents = {
      "\xEF\xBB\xBF" + declared("UTF-8", "\xC3\xA9"),
      utf16(false),
      utf16(true),
      declared("US-ASCII", ""),
      declared("ISO-8859-1", "\xE9t\xE9"),
      declared("windows-1252", "\x80 \x9F"),
      declared("CP1252", "\x80"),
  };
  TempFolder folder;
  for (const std::string& bytes : documents)
    EXPECT_EQ(LoadAndReadAll(folder, bytes), "2|1|1 2 ") << bytes;
}

TEST(DigitalDocument, ExpandsItsOwnEntitiesAndNeverOpensOthers) {
  TempFolder folder;
  WriteFile(folder / "data.b64", "AQIDBA==");
  WriteFile(folder / "defs.dtd", "<!ENTITY n \"7\">");
  const std::string file = testing::Text(folder / "data.b64");
  const std::string external = "<!DOCTYPE QelvarTamberlinedata [<!ENTITY x SYSTEM \"" + file +
                               "\"><!ENTITY % p \"<!ENTITY two '2'>\"> %p;]>";
  auto doc = [](const std::string& root, const std::string& busInfo, const std::string& data) {
    return "<QelvarTamberlinedata>" + root + "<Header><IQelDigitalResult><BusInfo>" + busInfo +
           "</BusInfo><NumSamples>1</NumSamples></IQelDigitalResult></Header><Data>" + data +
           "<Segment><BinaryData>AQ==</BinaryData></Segment></Data></QelvarTamberlinedata>";
  };
  const std::string lines = "<NumLines>1</NumLines>";
  const std::string refused = "load failure: external entity \"" + file + "\" is not read";
  const std::vector<std::pair<std::string, std::string>> cases = {
      // Where it can hide no first match, an unread entity is skipped.
      {external + doc("<Note>&x;</Note>", lines + "&x;", ""), "1|1|1 "},
      // Where it could hold a value or the element of one, it is refused.
      {external + doc("", "&x;" + lines, ""), refused},
      {external + doc("&x;", lines, ""), refused},
      {external + doc("", lines, "&x;"), refused},
      {external + doc("", "<NumLines>&x;</NumLines>", ""), refused},
      // Parameter entities of the document itself are expanded.
      {external + doc("", "<NumLines>&two;</NumLines>", ""), "2|1|1 "},
      {"<!DOCTYPE QelvarTamberlinedata SYSTEM \"" + testing::Text(folder / "defs.dtd") + "\">" +
           doc("", "<NumLines>&n;</NumLines>", ""),
       "load failure: entity 'n', declared outside the document, is not read"},
  };
  for (const auto& [xml, expected] : cases) {
    const std::string outcome = LoadAndReadAll(folder, xml);
    EXPECT_EQ(outcome.substr(0, expected.size()), expected) << xml;
  }
}

}  // namespace
}  // namespace sorrelin
