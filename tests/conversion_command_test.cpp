#include "conversion_command.h"

#include <gtest/gtest.h>

#include <random>

#include "conversion_error.h"
#include "platform.h"
#include "test_support.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers

TEST(RunConversion, LargeRandomDocumentGivesTheIndependentlyFormattedTableAndReplacesIt) {
  constexpr int kLines = 3, kSamples = 700'001;  // rows span several write blocks
  std::mt19937 random(42);
  std::vector<std::uint8_t> data(kLines * kSamples + 5);
  for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
  std::string expected;
  for (int k = 0; k < kLines * kSamples; ++k) {
    expected += std::to_string(data[k]) + ",";
    if (k % kSamples == kSamples - 1) expected += "\r\n";
  }
  TempFolder folder;
  WriteFile(folder / "run1.XMLdig", DocumentXml(kLines, kSamples, data));
  FakeHost host(testing::Text(folder / "run1.XMLdig"));
  RunConversion(host);
  EXPECT_TRUE(ReadFile(folder / "run1.txt") == expected);

  WriteFile(folder / "run1.txt", std::string(expected.size() + 100, 'x'));
  RunConversion(host);
  EXPECT_TRUE(ReadFile(folder / "run1.txt") == expected);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"run1.XMLdig", "run1.txt"}));
}

TEST(RunConversion, LoadFailureIsShownAndCreatesNothing) {
  TempFolder folder;
  WriteFile(folder / "bad.XMLdig", "<QelvarTamberlinedata>");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {testing::Text(folder / "bad.XMLdig"), "Error: no element found at line 1, column 23"},
      {"", "Error: no document named: the path is empty"},
      {testing::Text(folder.path()),
       "Error: \"" + testing::Text(folder.path()) + "\" is a folder, not a document"},
  };
  for (const auto& [path, message] : cases) {
    FakeHost host(path);
    RunConversion(host);
    EXPECT_EQ(host.messages, std::vector<std::string>{message});
  }
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"bad.XMLdig"});
}

struct ConversionCase {
  const char* name;
  std::string document;
  std::string outcome;  // "{out}" stands for the output's path; a final '*' ends a prefix
  bool outputIsFolder = false;
};

// Every way of reading gives the same outcome; every failure leaves the earlier
// output and nothing else.
TEST(RunConversion, EndsAlikeWhicheverWayTheDocumentIsRead) {
  const std::string counts =
      "<Header><IQelDigitalResult><BusInfo><NumLines>2</NumLines></BusInfo>"
      "<NumSamples>3</NumSamples></IQelDigitalResult></Header>";
  auto root = [](const std::string& content) {
    return "<QelvarTamberlinedata>" + content + "</QelvarTamberlinedata>";
  };
  auto data = [](const std::string& text) {
    return "<Data><Segment><BinaryData>" + text + "</BinaryData></Segment></Data>";
  };
  std::vector<std::uint8_t> bytes(3000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 7 * 40);
  const std::string mime = EncodeBase64(bytes);  // 76 characters and CR LF a line
  std::string bigTable;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bigTable += std::to_string(bytes[i]) + (i % 1000 == 999 ? ",\r\n" : ",");
  }
  std::string badMime = mime;
  badMime[badMime.size() - 3] = '!';
  const std::string truncated = DocumentXml("3", "1000", mime);

  const std::vector<ConversionCase> cases = {
      {"worked example", DocumentXml("2", "3", "AQABAAEB"), "table 1,0,1,\r\n0,1,1,\r\n"},
      {"data in pieces", root(counts + data("AQ\r\nAB<!-- x -->AA<![CDATA[E]]>&#66;")),
       "table 1,0,1,\r\n0,1,1,\r\n"},
      {"data before the counts", root(data("AQABAAEB") + counts), "table 1,0,1,\r\n0,1,1,\r\n"},
      {"long MIME data", DocumentXml("3", "1000", mime), "table " + bigTable},
      {"not well-formed after the data", truncated.substr(0, truncated.size() - 5),
       "Error: unclosed token at line 65, column 1"},
      {"bad Base64 near the end", DocumentXml("3", "1000", badMime),
       "error 1004: invalid Base64 character '!' at offset 4051"},
      {"bad Base64 beats an output that cannot be written", DocumentXml("3", "1000", badMime),
       "error 1004: invalid Base64 character '!' at offset 4051", true},
      {"output that cannot be written beats a bad count", DocumentXml("x", "3", "AQABAAEB"),
       "error 1006: cannot write \"{out}\": it is a folder", true},
      {"not well-formed beats a bad count", DocumentXml("x", "3", "AQID") + "<",
       "Error: unclosed token at line 13, column 1"},
      {"bad count beats short data", DocumentXml("1", "x", ""),
       "error 1007: sample count is not a number: \"x\""},
      {"a count on two lines, told on one", DocumentXml("two\nlines", "1", ""),
       "error 1007: line count is not a number: \"two\\nlines\""},
      {"a long count cut between characters",
       DocumentXml(std::string(39, '9') + "\xC3\xA9", "1", ""),
       "error 1007: line count is not a number: \"" + std::string(39, '9') + "...\""},
      {"one line too short", DocumentXml("1", "3", "AQ=="),
       "error 1008: data too short: 1 line of 3 samples need 3 bytes, the data holds 1"},
      {"short data beats too little space", DocumentXml("1000000000000", "1", "AQ=="),
       "error 1008: data too short: 1000000000000 lines of 1 sample need 1000000000000 bytes, "
       "the data holds 1"},
      {"too little space for empty rows", DocumentXml("1000000000000", "0", ""),
       "error 1009: not enough free space for \"{out}\": the table needs 2000000000000 bytes, *"},
  };
  ConversionOptions pieces;
  pieces.reading.readBlock = 7;
  pieces.reading.blockSeed = 11;
  ConversionOptions plain = pieces;
  plain.reading.decodeBesideParser = false;
  plain.reading.blockSeed = 5;
  plain.streamTable = false;
  plain.unnamedTemporaryFile = false;
  TempFolder folder;
  const auto input = folder / "run.XMLdig";
  const auto output = folder / "run.txt";
  for (const ConversionCase& c : cases) {
    WriteFile(input, c.document);
    std::string expected = c.outcome;
    if (const auto at = expected.find("{out}"); at != std::string::npos) {
      expected.replace(at, 5, testing::Text(output));
    }
    const bool prefix = expected.back() == '*';
    if (prefix) expected.pop_back();
    for (const ConversionOptions& options : {ConversionOptions{}, pieces, plain}) {
      SCOPED_TRACE(std::string(c.name) + (options.streamTable ? "" : ", plain") +
                   (options.reading.blockSeed ? ", in pieces" : ""));
      std::filesystem::remove_all(output);
      if (c.outputIsFolder) {
        std::filesystem::create_directory(output);
      } else {
        WriteFile(output, "earlier");
      }
      const std::string outcome = ConversionOutcome(input, options);
      EXPECT_EQ(prefix ? outcome.substr(0, expected.size()) : outcome, expected);
      if (!c.outputIsFolder && outcome.rfind("table ", 0) != 0) {
        EXPECT_EQ(ReadFile(output), "earlier");
      }
      EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"run.XMLdig", "run.txt"}));
    }
  }
}

// Cancels at its second block, noting what the folder holds at that moment.
class CancellingHost : public FakeHost {
 public:
  CancellingHost(const TempFolder& folder, std::string path)
      : FakeHost(std::move(path)), folder_(folder) {}
  bool KeepConverting(std::uint64_t, std::uint64_t) override {
    if (++blocks_ < 2) return true;
    entriesMeanwhile = folder_.Entries();
    return false;
  }
  std::vector<std::string> entriesMeanwhile;

 private:
  const TempFolder& folder_;
  int blocks_ = 0;
};

TEST(RunConversion, CancellingLeavesTheEarlierOutputAndNoTemporaryFileEvenMeanwhile) {
  TempFolder folder;
  WriteFile(folder / "run.XMLdig", DocumentXml(1, 3000, std::vector<std::uint8_t>(3000, 1)));
  const std::vector<std::string> both = {"run.XMLdig", "run.txt"};
  for (const bool unnamed : {true, false}) {
    WriteFile(folder / "run.txt", "earlier");
    ConversionOptions options;
    options.reading.readBlock = 1000;
    options.unnamedTemporaryFile = unnamed;
    CancellingHost host(folder, testing::Text(folder / "run.XMLdig"));
    RunConversion(host, options);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ReadFile(folder / "run.txt"), "earlier");
    EXPECT_EQ(folder.Entries(), both);
    // Unnamed, the table under way leaves nothing behind even if the process is killed;
    // where the system has no unnamed files (Windows), it is named.
    const bool unnamedHere = unnamed && CreateUnnamedFile(folder.path()) != nullptr;
    EXPECT_EQ(host.entriesMeanwhile.size(), unnamedHere ? 2u : 3u);
  }
}

#ifndef _WIN32
TEST(RunConversion, NeverReplacesADocumentThroughALinkAndWritesThroughOthers) {
  TempFolder folder;
  const std::string document = DocumentXml(1, 1, std::vector<std::uint8_t>{5});
  const auto link = [&](const std::string& to, const std::string& name) {
    std::filesystem::remove(folder / name);
    std::filesystem::create_symlink(to, folder / name);
  };
  const std::string refused = "error 1006: cannot write \"" + testing::Text(folder / "a.txt");
  std::filesystem::create_directory(folder / "sub");

  WriteFile(folder / "a.XMLdig", document);
  link("a.XMLdig", "a.txt");
  EXPECT_EQ(ConversionOutcome(folder / "a.XMLdig"),
            refused + "\": it is the document being converted");
  WriteFile(folder / "b.XMLdig", document);
  link("b.XMLdig", "a.txt");
  EXPECT_EQ(ConversionOutcome(folder / "a.XMLdig", {}, {testing::Text(folder / "b.XMLdig")}),
            refused + "\": it is another document being converted");
  EXPECT_EQ(ReadFile(folder / "a.XMLdig"), document);
  EXPECT_EQ(ReadFile(folder / "b.XMLdig"), document);

  std::filesystem::remove(folder / "a.txt");
  WriteFile(folder / "c.txt", document);
  link("c.txt", "c.XMLdig");
  EXPECT_EQ(ConversionOutcome(folder / "c.XMLdig"), "error 1006: cannot write \"" +
                                                        testing::Text(folder / "c.txt") +
                                                        "\": it is the document being converted");
  EXPECT_EQ(ReadFile(folder / "c.txt"), document);

  // A link to a file not there yet is written through, like a link to one that is.
  link("sub/new.txt", "a.txt");
  EXPECT_EQ(ConversionOutcome(folder / "a.XMLdig"), "table 5,\r\n");
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "a.txt"));
  EXPECT_EQ(ReadFile(folder / "sub" / "new.txt"), "5,\r\n");
}
#endif

}  // namespace
}  // namespace sorrelin
