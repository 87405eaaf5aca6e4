#include "digital_document.h"

#include <gtest/gtest.h>

#include <random>

#include "conversion_error.h"
#include "test_support.h"

namespace sorrelin {
namespace {

using testing::DocumentXml;
using testing::TempFolder;
using testing::WriteFile;

std::string Hex(const ByteBuffer& bytes) {
  std::string text;
  char pair[4];
  for (std::uint8_t b : bytes.bytes()) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
  }
  return text;
}

// The outcome of the three reads, in order, as one comparable text.
std::string ReadAll(DigitalDocument& document) {
  if (!document.Loaded()) return "load failure: " + document.LoadFailureReason();
  try {
    std::string result = document.ReadLineCount() + "|";
    result += document.ReadSampleCount() + "|";
    return result + Hex(document.ReadData());
  } catch (const ConversionError& error) {
    return "error " + std::to_string(error.Number()) + ": " + error.what();
  }
}

std::string LoadAndReadAll(const TempFolder& folder, const std::string& bytes) {
  const auto path = folder / "doc.XMLdig";
  WriteFile(path, bytes);
  DigitalDocument document = LoadDigitalDocument(testing::Text(path));
  return ReadAll(document);
}

struct SelectionCase {
  const char* name;
  std::string xml;
  std::string expected;
};

TEST(DigitalDocument, SelectsTheFirstMatchOfEachExactPath) {
  const std::string head = "<QelvarTamberlinedata><Header><IQelDigitalResult>";
  const std::string counts = "<BusInfo><NumLines>2</NumLines></BusInfo><NumSamples>3</NumSamples>";
  const std::string tail = "</IQelDigitalResult></Header>";
  const std::string end = "</QelvarTamberlinedata>";
  auto doc = [&](const std::string& header, const std::string& data) {
    return head + header + tail + data + end;
  };
  const std::vector<SelectionCase> cases = {
      {"usual shape", DocumentXml("2", "3", "AQABAAEB"), "2|3|010001000101"},
      {"counts kept as text", DocumentXml(" two\n", "3.5", ""), " two\n|3.5|"},
      {"first of two segments",
       doc(counts,
           "<Data><Segment><BinaryData>AQ==</BinaryData></Segment>"
           "<Segment><BinaryData>Ag==</BinaryData></Segment></Data>"),
       "2|3|01"},
      {"segment without data passed over",
       doc(counts,
           "<Data><Segment/><Segment><Other>x</Other></Segment>"
           "<Segment><BinaryData>Aw==</BinaryData></Segment></Data>"),
       "2|3|03"},
      {"second Data element searched too",
       doc(counts, "<Data/><Data><Segment><BinaryData>BA==</BinaryData></Segment></Data>"),
       "2|3|04"},
      {"first of two NumLines",
       doc("<BusInfo><NumLines>7</NumLines><NumLines>8</NumLines></BusInfo><NumSamples>3</"
           "NumSamples>",
           "<Data><Segment><BinaryData/></Segment></Data>"),
       "7|3|"},
      {"string value: child text, CDATA, references; no comments or PIs",
       doc("<BusInfo><NumLines a=\"9\"> 1<b>2</b><!-- 5 --><?pi 6?>&#51;</NumLines></BusInfo>"
           "<NumSamples><![CDATA[4]]></NumSamples>",
           "<Data><Segment><BinaryData>AQ<!-- $$ "
           "-->ID<![CDATA[\nBA==]]></BinaryData></Segment></Data>"),
       " 123|4|01020304"},
      {"internal entity expands",
       "<!DOCTYPE QelvarTamberlinedata [<!ENTITY d \"AQID\">]>" +
           doc(counts, "<Data><Segment><BinaryData>&d;&d;</BinaryData></Segment></Data>"),
       "2|3|010203010203"},
      {"wrong root: element not found",
       "<Other>" + DocumentXml("1", "1", "AQ==").substr(39) + "</Other>",
       "error 1003: element not found: " + std::string(kLineCountPath)},
      {"names compare with case", doc("<BusInfo><numlines>2</numlines></BusInfo>", ""),
       "error 1003: element not found: " + std::string(kLineCountPath)},
      {"NumLines outside BusInfo does not count",
       doc("<NumLines>2</NumLines><NumSamples>3</NumSamples>", ""),
       "error 1003: element not found: " + std::string(kLineCountPath)},
      {"no sample count", doc("<BusInfo><NumLines>2</NumLines></BusInfo>", ""),
       "error 1003: element not found: " + std::string(kSampleCountPath)},
      {"no data", doc(counts, "<Data><Segment/></Data>"),
       "error 1003: element not found: " + std::string(kDataPath)},
      {"bad Base64 raised by the data read only",
       doc(counts, "<Data><Segment><BinaryData>\n  AQ#D</BinaryData></Segment></Data>"),
       "error 1004: invalid Base64 character '#' at offset 5"},
      {"count read fails before bad Base64",
       doc("<NumSamples>3</NumSamples>",
           "<Data><Segment><BinaryData>#</BinaryData></Segment></Data>"),
       "error 1003: element not found: " + std::string(kLineCountPath)},
  };
  TempFolder folder;
  for (const SelectionCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoadAndReadAll(folder, c.xml), c.expected);
  }
}

struct LoadFailureCase {
  const char* name;
  std::string content;  // written to the document unless the path is given
  std::string path;
  std::string reason;  // expected start of the reason
};

TEST(DigitalDocument, LoadFailuresNameTheProblemAndPlace) {
  TempFolder folder;
  const std::string missing = testing::Text(folder / "missing.XMLdig");
  const std::string bomb =
      "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
      "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">"
      "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\"><!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\">"
      "<!ENTITY i \"&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;\">]><r>&i;</r>";
  const std::vector<LoadFailureCase> cases = {
      {"empty path", "", "", "no document named: the path is empty"},
      {"missing file", "", missing, "cannot open \"" + missing + "\": No such file or directory"},
      {"folder", "", testing::Text(folder.path()),
       "\"" + testing::Text(folder.path()) + "\" is a folder, not a document"},
      {"empty file", "", "", "no element found at line 1, column 1"},
      {"mismatched tag", "<QelvarTamberlinedata>\n<Header>\n  <Data></Header>", "",
       "mismatched tag at line 3, column 11"},
      {"truncated", DocumentXml("1", "1", "AQ==").substr(0, 120), "", "unclosed token"},
      {"binary", std::string("\x00\x01\xFF\xFEgarbage", 11), "", "not well-formed"},
      {"unknown encoding", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><r/>", "",
       "unknown encoding at line 1, column 31"},
      {"invalid UTF-8", "<r>\xC3\x28</r>", "",
       "not well-formed (invalid token) at line 1, column 4"},
      {"entity bomb", bomb, "", "limit on input amplification factor"},
      {"undeclared entity", "<r>&x;</r>", "", "undefined entity at line 1, column 4"},
  };
  for (const LoadFailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = c.path;
    if (c.path.empty() && std::string(c.name) != "empty path") {
      path = testing::Text(folder / "doc.XMLdig");
      WriteFile(path, c.content);
    }
    DigitalDocument document = LoadDigitalDocument(path);
    ASSERT_FALSE(document.Loaded());
    EXPECT_EQ(document.LoadFailureReason().substr(0, c.reason.size()), c.reason)
        << document.LoadFailureReason();
  }
}

TEST(DigitalDocument, LoadsEveryEncodingItsWritersUse) {
  const std::string body =
      "<QelvarTamberlinedata><!-- \xE9t\xE9 \x80 --><Header><IQelDigitalResult><BusInfo>"
      "<NumLines>2</NumLines></BusInfo><NumSamples>1</NumSamples></IQelDigitalResult></Header>"
      "<Data><Segment><BinaryData>AQI=</BinaryData></Segment></Data></QelvarTamberlinedata>";
  auto declared = [&](const std::string& name) {
    return "<?xml version=\"1.0\" encoding=\"" + name + "\"?>" + body;
  };
  auto utf16 = [](const std::string& ascii, bool bigEndian) {
    std::string text = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
      text += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return text;
  };
  const std::string plain =
      "<QelvarTamberlinedata><Header><IQelDigitalResult><BusInfo><NumLines>2</NumLines></BusInfo>"
      "<NumSamples>1</NumSamples></IQelDigitalResult></Header><Data><Segment><BinaryData>AQI="
      "</BinaryData></Segment></Data></QelvarTamberlinedata>";
  const std::vector<std::pair<std::string, std::string>> documents = {
      {"UTF-8 with BOM",
       "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- \xC3\xA9 -->" + plain},
      {"UTF-16LE", utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + plain, false)},
      {"UTF-16BE", utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + plain, true)},
      {"US-ASCII", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>" + plain},
      {"ISO-8859-1", declared("ISO-8859-1")},
      {"Windows-1252", declared("windows-1252")},
      {"cp1252", declared("CP1252")},
  };
  TempFolder folder;
  for (const auto& [name, bytes] : documents) {
    SCOPED_TRACE(name);
    EXPECT_EQ(LoadAndReadAll(folder, bytes), "2|1|0102");
  }
}

TEST(DigitalDocument, NeverOpensExternalEntitiesOrDtds) {
  TempFolder folder;
  WriteFile(folder / "data.b64", "AQIDBA==");
  WriteFile(folder / "defs.dtd", "<!ENTITY n \"7\">");
  const std::string external = "<!DOCTYPE QelvarTamberlinedata [<!ENTITY x SYSTEM \"" +
                               testing::Text(folder / "data.b64") + "\">]>";
  const std::string data = "<Data><Segment><BinaryData>AQ==</BinaryData></Segment></Data>";
  const std::string header =
      "<Header><IQelDigitalResult><BusInfo><NumLines>1</NumLines></BusInfo><NumSamples>1"
      "</NumSamples></IQelDigitalResult></Header>";

  // Referenced where nothing is read: skipped, the values are the document's own.
  EXPECT_EQ(LoadAndReadAll(folder, external + "<QelvarTamberlinedata><Note>&x;</Note>" + header +
                                       data + "</QelvarTamberlinedata>"),
            "1|1|01");
  // Referenced inside the data: refused rather than read or silently dropped.
  const std::string inData = LoadAndReadAll(
      folder,
      external + "<QelvarTamberlinedata>" + header +
          "<Data><Segment><BinaryData>&x;</BinaryData></Segment></Data></QelvarTamberlinedata>");
  EXPECT_NE(inData.find("load failure: external entity"), std::string::npos) << inData;
  EXPECT_NE(inData.find("is not read at line 1"), std::string::npos) << inData;
  // An external DTD is not read, so its entity stays unknown in a count.
  const std::string viaDtd = LoadAndReadAll(
      folder, "<!DOCTYPE QelvarTamberlinedata SYSTEM \"" + testing::Text(folder / "defs.dtd") +
                  "\"><QelvarTamberlinedata><Header><IQelDigitalResult><BusInfo><NumLines>&n;"
                  "</NumLines></BusInfo></IQelDigitalResult></Header></QelvarTamberlinedata>");
  EXPECT_EQ(viaDtd.rfind("load failure: entity 'n', declared outside the document, is not read", 0),
            0u)
      << viaDtd;
}

TEST(DigitalDocument, LargeRandomDataMatchesAnIndependentEncoding) {
  std::mt19937 random(42);
  std::vector<std::uint8_t> original(3'000'001);
  for (auto& byte : original) byte = static_cast<std::uint8_t>(random());
  TempFolder folder;
  const auto path = folder / "big.XMLdig";
  WriteFile(path, DocumentXml(1, 3'000'001, original));
  DigitalDocument document = LoadDigitalDocument(testing::Text(path));
  ASSERT_TRUE(document.Loaded()) << document.LoadFailureReason();
  const ByteBuffer data = document.ReadData();
  ASSERT_EQ(data.size(), original.size());
  EXPECT_TRUE(std::equal(original.begin(), original.end(), data.data()));
}

}  // namespace
}  // namespace sorrelin
