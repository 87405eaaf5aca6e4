// Documents made to hurt: each must end in a reported failure or a correct table.
#include <gtest/gtest.h>

#include "conversion_command.h"
#include "conversion_error.h"
#include "digital_document.h"
#include "test_support.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers

std::string Repeat(const std::string& text, std::size_t times) {
  std::string result;
  result.reserve(text.size() * times);
  for (std::size_t i = 0; i < times; ++i) result += text;
  return result;
}

// The document with an internal DTD subset declaring `entities`.
std::string WithEntities(const std::string& entities, std::string xml) {
  return xml.insert(xml.find("?>") + 2, "<!DOCTYPE QelvarTamberlinedata [" + entities + "]>");
}

// Converts `xml` over an earlier output; returns the message, "error N" or "table".
std::string Convert(const TempFolder& folder, const std::string& xml) {
  WriteFile(folder / "doc.XMLdig", xml);
  WriteFile(folder / "doc.txt", "earlier");
  FakeHost host(testing::Text(folder / "doc.XMLdig"));
  std::string outcome = "table";
  try {
    RunConversion(host);
  } catch (const ConversionError& error) {
    outcome = "error " + std::to_string(error.Number());
  }
  if (!host.messages.empty()) outcome = host.messages.front();
  if (outcome != "table") {
    EXPECT_EQ(ReadFile(folder / "doc.txt"), "earlier") << outcome;
  }
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"doc.XMLdig", "doc.txt"}));
  return outcome;
}

TEST(HostileDocuments, EntityBombsFailToLoad) {
  // Quadratic: one large entity referenced many times, inside the data.
  const std::string quadratic = WithEntities("<!ENTITY a \"" + std::string(50'000, 'A') + "\">",
                                             DocumentXml("1", "1", Repeat("&a;", 20'000)));
  // Nested: ten levels of ten references each.
  std::string nested = "<!ENTITY e0 \"AAAA\">";
  for (int level = 1; level <= 10; ++level) {
    nested += "<!ENTITY e" + std::to_string(level) + " \"" +
              Repeat("&e" + std::to_string(level - 1) + ";", 10) + "\">";
  }
  nested = WithEntities(nested, DocumentXml("1", "1", "&e10;"));
  TempFolder folder;
  for (const std::string& bomb : {quadratic, nested}) {
    const std::string outcome = Convert(folder, bomb);
    EXPECT_EQ(outcome.rfind("Error: limit on input amplification factor", 0), 0u) << outcome;
  }
}

TEST(HostileDocuments, DeepNestingLoadsInLinearTime) {
  constexpr std::size_t kDepth = 200'000;
  const std::string deep = Repeat("<x>", kDepth) + "2" + Repeat("</x>", kDepth);
  TempFolder folder;
  // Deep elsewhere, and deep inside the line count, whose value is all text within it.
  const std::string usual = DocumentXml("1", "2", "AQI=");
  EXPECT_EQ(Convert(folder, "<QelvarTamberlinedata>" + deep + usual.substr(usual.find("<Header>"))),
            "table");
  EXPECT_EQ(ReadFile(folder / "doc.txt"), "1,2,\r\n");
  EXPECT_EQ(Convert(folder, DocumentXml(deep, "1", "AQI=")), "table");
  EXPECT_EQ(ReadFile(folder / "doc.txt"), "1,\r\n2,\r\n");
}

TEST(HostileDocuments, MalformedTextFailsToLoad) {
  const std::string valid = DocumentXml("1", "1", "AQ==");
  // UTF-16LE documents with bad code units in the line count: a high surrogate
  // before 'A' (which expat reads as a pair), and a lone low surrogate.
  const std::string body =
      DocumentXml("@", "1", "AQ==").substr(valid.find("<QelvarTamberlinedata>"));
  auto utf16 = [&body](const std::string& units) {
    std::string text = "\xFF\xFE";
    for (char c : body) text += c == '@' ? units : std::string{c, '\0'};
    return text;
  };
  const std::string unpairedHigh = utf16(std::string("\x00\xD8\x41\x00", 4));
  const std::string loneLow = utf16(std::string("\x00\xDC", 2));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {valid.substr(0, valid.size() / 2), "Error: "},
      {std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), "Error: not well-formed"},
      {"<QelvarTamberlinedata>\xFF\xFE</QelvarTamberlinedata>",
       "Error: not well-formed (invalid token)"},
      {unpairedHigh, "error 1007"},
      {loneLow, "Error: not well-formed (invalid token)"},
      {valid + "<second/>", "Error: junk after document element"},
  };
  TempFolder folder;
  for (const auto& [xml, start] : cases) {
    const std::string outcome = Convert(folder, xml);
    EXPECT_EQ(outcome.rfind(start, 0), 0u) << outcome;
  }
}

TEST(HostileDocuments, DataMadeLargerThanTheFileByEntitiesIsDecodedWhole) {
  // 2 references of 500 x "CQgH" decode to 3000 bytes 9, 8, 7, 9, 8, 7, ...
  const std::string xml = WithEntities("<!ENTITY d \"" + Repeat("CQgH", 500) + "\">",
                                       DocumentXml("3", "1000", Repeat("&d;", 2)));
  std::string expected;
  const char* values[] = {"9,", "8,", "7,"};
  for (int k = 0; k < 3000; ++k) {
    expected += values[k % 3];
    if (k % 1000 == 999) expected += "\r\n";
  }
  TempFolder folder;
  EXPECT_EQ(Convert(folder, xml), "table");
  EXPECT_EQ(ReadFile(folder / "doc.txt"), expected);
}

// Counts the blocks read.
class CountingHost : public FakeHost {
 public:
  using FakeHost::FakeHost;
  bool KeepConverting(std::uint64_t, std::uint64_t) override {
    ++blocks;
    return true;
  }
  int blocks = 0;
};

TEST(HostileDocuments, OneHugeTokenIsReadInGrowingBlocks) {
  // expat scans a pending token again from its start on every call; blocks of one
  // size would make that quadratic.
  const std::string comment = "<!--" + std::string(24 << 20, 'x') + "-->";
  std::string xml = DocumentXml("1", "2", "AQI=");
  xml.insert(xml.find("<Header>"), comment);
  TempFolder folder;
  WriteFile(folder / "doc.XMLdig", xml);
  CountingHost host(testing::Text(folder / "doc.XMLdig"));
  RunConversion(host);
  EXPECT_EQ(ReadFile(folder / "doc.txt"), "1,2,\r\n");
  EXPECT_LE(host.blocks, 8);  // 1 + 1 + 2 + 4 + 8 + 16 MiB, not 25 blocks of 1 MiB
}

}  // namespace
}  // namespace sorrelin
