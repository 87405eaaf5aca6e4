#include "conversion_command.h"

#include <gtest/gtest.h>

#include <random>

#include "conversion_error.h"
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
