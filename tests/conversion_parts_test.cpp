// The core's parts on their own: the output name rule, count texts, outputs that
// cannot be written, the Base64 decoder's faults.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "base64_decoder.h"
#include "digital_document.h"
#include "platform.h"
#include "test_support.h"
#include "text_table.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers

// The outcome of `action` as "error N: description", or "ok".
template <typename Action>
std::string Outcome(Action action) {
  try {
    action();
  } catch (const ConversionError& error) {
    return "error " + std::to_string(error.Number()) + ": " + error.what();
  }
  return "ok";
}

TEST(OutputPath, ReplacesOnlyTheDocumentExtension) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:\\data\\run1.XMLdig", "C:\\data\\run1.txt"},
      {"/data/RUN1.xmldig", "/data/RUN1.txt"},
      {".XMLdig", ".txt"},
      {"C:\\data\\run1.xml", "C:\\data\\run1.xml.txt"},
      {"a", "a.txt"},
      {"/d\xC3\xA9j\xC3\xA0/r\xC3\xA9sum\xC3\xA9.XMLdig",
       "/d\xC3\xA9j\xC3\xA0/r\xC3\xA9sum\xC3\xA9.txt"},
  };
  for (const auto& [input, output] : cases) EXPECT_EQ(OutputPathFor(input), output) << input;
  EXPECT_EQ(Outcome([] { OutputPathFor(""); }),
            "error 1005: no output path: the input path is empty");
}

TEST(CountText, ReadsDecimalIntegersWithin64Bits) {
  EXPECT_EQ(ReadCount(" +3\r\n", "count"), 3);
  EXPECT_EQ(ReadCount("-007", "count"), -7);
  EXPECT_EQ(ReadCount("9223372036854775807", "count"), INT64_MAX);
  EXPECT_EQ(ReadCount("-9223372036854775808", "count"), INT64_MIN);
  for (const std::string text :
       {"", " ", "3.0", "+-3", "+", "0x10", "3 4", "9223372036854775808"}) {
    EXPECT_EQ(Outcome([&] { ReadCount(text, "count"); }),
              "error 1007: count is not a number: \"" + text + "\"");
  }
}

TEST(TextTable, RefusesOutputsThatCannotBeWrittenAndNamesTheCause) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "table.txt");
  const DigitalWaveformDocument document{"1", "1", {}};
  const std::vector<std::pair<std::filesystem::path, std::string>> cases = {
      {folder / "table.txt", "it is a folder"},
      {folder / "no such folder" / "x.txt", std::strerror(ENOENT)},
      {folder / (std::string(300, 'n') + ".txt"), std::strerror(ENAMETOOLONG)},
  };
  for (const auto& [path, why] : cases) {
    EXPECT_EQ(Outcome([&] { WriteDigitalTextTable(Text(path), document); }),
              "error 1006: cannot write \"" + Text(path) + "\": " + why);
  }
  // The temporary file is created only if its name is free: an existing file is never opened.
  WriteFile(folder / "kept.txt", "kept");
  EXPECT_FALSE(CreateNewFile(folder / "kept.txt"));
  // A failed rename names its cause (std::filesystem says EIO for most on Windows).
  EXPECT_EQ(RenameReplacing(folder / "missing.txt", folder / "renamed.txt"),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(ReadFile(folder / "kept.txt"), "kept");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"kept.txt", "table.txt"}));
}

// The bytes as "1 2 3", or the fault; text fed whole, or one character at a time.
std::string Decoded(const std::string& text, bool byCharacter) {
  ByteBuffer bytes;
  Base64Decoder decoder(bytes);
  for (std::size_t at = 0, n = 0; at < text.size(); at += n) {
    n = byCharacter ? 1 : text.size();
    while (at + n < text.size() && (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80) ++n;
    decoder.Feed(std::string_view(text).substr(at, n));
  }
  decoder.Finish();
  if (decoder.Failed()) return decoder.Error();
  std::string shown;
  for (const std::uint8_t byte : bytes.bytes()) shown += std::to_string(byte) + " ";
  return shown;
}

TEST(Base64Decoder, DecodesOrNamesTheFirstFaultAndItsOffset) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"AQID", "1 2 3 "},
      {"/+8A", "255 239 0 "},
      {" A Q\r\nI\tD \n", "1 2 3 "},
      {"AQ= =\r\n", "1 "},
      {"AQI", "1 2 "},
      {"AQIDBA", "1 2 3 4 "},
      {"AQ$D", "invalid Base64 character '$' at offset 2"},
      {"AQID\nAQ*D", "invalid Base64 character '*' at offset 7"},
      {"AQ\x01", "invalid Base64 character 0x01 at offset 2"},
      {"AQ\x7F", "invalid Base64 character 0x7F at offset 2"},
      {"AQ\x80", "invalid Base64 character (non-ASCII) at offset 2"},
      {"AQ\xC3", "invalid Base64 character (non-ASCII) at offset 2"},
      {"AQ\xC3Q", "invalid Base64 character (non-ASCII) at offset 2"},
      {"AQ\xE0\xA4\x85", "invalid Base64 character U+0905 at offset 2"},
      {"AQ\xC3\xA9", "invalid Base64 character U+00E9 at offset 2"},
      {"AQ\xF0\x9F\x98\x80", "invalid Base64 character U+1F600 at offset 2"},
      {"A===", "padding '=' in the wrong place at offset 1"},
      {"AQ=D", "padding '=' expected, found 'D' at offset 3"},
      {"AQ==AQID", "Base64 data continues after its padding with 'A' at offset 4"},
      {"AQI=A", "Base64 data continues after its padding with 'A' at offset 4"},
      {"AQ=", "padding '=' expected at the end at offset 3"},
      {"AQIDA", "incomplete Base64 group at the end at offset 5"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Decoded(text, false), expected) << text;
    EXPECT_EQ(Decoded(text, true), expected) << text;
  }
}

TEST(DigitalDocument, DecodesBesideTheParserOnlyInAsciiCompatibleDocuments) {
  const std::string body = "<QelvarTamberlinedata><Data><Segment><BinaryData>" +
                           std::string(64, 'A') +
                           "</BinaryData></Segment></Data></QelvarTamberlinedata>";
  auto declared = [&](const std::string& name) {
    return "<?xml version=\"1.0\" encoding=\"" + name + "\"?>" + body;
  };
  auto utf16 = [](const std::string& text, bool bigEndian) {
    std::string wide = bigEndian ? "" : "\xFF\xFE";
    for (const char c : text) wide += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return wide;
  };
  const std::vector<std::pair<std::string, bool>> cases = {
      {body, true},
      {declared("ISO-8859-1"), true},
      {declared("Windows-1252"), true},
      {utf16(body, false), false},
      {utf16(declared("UTF-16"), true), false},
  };
  TempFolder folder;
  LoadOptions options;
  options.reading.readBlock = 16;
  for (const auto& [document, beside] : cases) {
    WriteFile(folder / "doc.XMLdig", document);
    const DigitalDocument loaded = LoadDigitalDocument(Text(folder / "doc.XMLdig"), options);
    EXPECT_TRUE(loaded.Loaded());
    EXPECT_EQ(loaded.DecodedBesideParser(), beside) << document;
  }
}

TEST(Platform, CatchesInterruptSignalsAndTellsATerminal) {
  CatchInterruptSignals();
  std::raise(SIGTERM);
  EXPECT_EQ(CaughtInterruptSignal(), SIGTERM);
  TempFolder folder;
  EXPECT_FALSE(IsTerminal(CreateNewFile(folder / "file").get()));
}

}  // namespace
}  // namespace sorrelin
