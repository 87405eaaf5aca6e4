#include "conversion_command.h"

#include <gtest/gtest.h>

#include "conversion_error.h"
#include "test_support.h"

namespace sorrelin {
namespace {

using testing::DocumentXml;
using testing::FakeHost;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

const std::vector<std::uint8_t> kExampleData = {0x01, 0x00, 0x01, 0x00, 0x01, 0x01};

TEST(RunConversion, WritesTheTableBesideTheDocumentSilentlyAndReplacesIt) {
  TempFolder folder;
  WriteFile(folder / "run1.XMLdig", DocumentXml(2, 3, kExampleData));
  FakeHost host(testing::Text(folder / "run1.XMLdig"));
  RunConversion(host);
  const std::string expected("\x31\x2C\x30\x2C\x31\x2C\x0D\x0A\x30\x2C\x31\x2C\x31\x2C\x0D\x0A",
                             16);
  EXPECT_EQ(ReadFile(folder / "run1.txt"), expected);

  WriteFile(folder / "run1.txt", "stale and longer than the table that replaces it");
  RunConversion(host);
  EXPECT_EQ(ReadFile(folder / "run1.txt"), expected);
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

TEST(RunConversion, FailuresComeInOrderAndLeaveTheEarlierOutput) {
  const std::string bad = "AQ#=";
  const std::vector<std::pair<std::string, int>> cases = {
      {"<QelvarTamberlinedata><Data><Segment><BinaryData>" + bad +
           "</BinaryData></Segment></Data></QelvarTamberlinedata>",
       1003},
      {DocumentXml("x", "y", bad), 1004},
      {DocumentXml("x", "1", "AQ=="), 1007},
      {DocumentXml("2", "1", "AQ=="), 1008},
  };
  TempFolder folder;
  for (const auto& [xml, number] : cases) {
    WriteFile(folder / "run.XMLdig", xml);
    WriteFile(folder / "run.txt", "earlier");
    FakeHost host(testing::Text(folder / "run.XMLdig"));
    try {
      RunConversion(host);
      ADD_FAILURE() << "no error, expected " << number;
    } catch (const ConversionError& error) {
      EXPECT_EQ(error.Number(), number) << error.what();
    }
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ReadFile(folder / "run.txt"), "earlier");
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"run.XMLdig", "run.txt"}));
  }
}

}  // namespace
}  // namespace sorrelin
