#include "text_table.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "conversion_error.h"
#include "platform.h"
#include "test_support.h"

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers

TEST(OutputPath, ReplacesOnlyTheDocumentExtension) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:\\data\\run1.XMLdig", "C:\\data\\run1.txt"},
      {"/data/run1.XMLdig", "/data/run1.txt"},
      {"/data/RUN1.xmldig", "/data/RUN1.txt"},
      {".XMLdig", ".txt"},
      {"C:\\data\\run1.xml", "C:\\data\\run1.xml.txt"},
      {"run1.txt", "run1.txt.txt"},
      {"a", "a.txt"},
      {"/d\xC3\xA9j\xC3\xA0/r\xC3\xA9sum\xC3\xA9.XMLdig",
       "/d\xC3\xA9j\xC3\xA0/r\xC3\xA9sum\xC3\xA9.txt"},
  };
  for (const auto& [input, output] : cases) EXPECT_EQ(OutputPathFor(input), output) << input;
  try {
    OutputPathFor("");
    ADD_FAILURE() << "empty path accepted";
  } catch (const ConversionError& error) {
    EXPECT_EQ(error.Kind(), ErrorNumber::kInvalidOutputPath);
  }
}

TEST(CountText, ReadsDecimalIntegersWithin64Bits) {
  const std::vector<std::pair<std::string, std::int64_t>> numbers = {
      {"3", 3},
      {" 3\r\n", 3},
      {"+3", 3},
      {"-2", -2},
      {"0", 0},
      {"007", 7},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
  };
  for (const auto& [text, value] : numbers) EXPECT_EQ(ReadCount(text, "line count"), value) << text;
  for (const std::string text :
       {"", " ", "two", "3.0", "+-3", "0x10", "3 4", "9223372036854775808"}) {
    try {
      ReadCount(text, "line count");
      ADD_FAILURE() << "accepted \"" << text << "\"";
    } catch (const ConversionError& error) {
      EXPECT_EQ(error.Kind(), ErrorNumber::kCountNotANumber);
      EXPECT_EQ(std::string(error.what()), "line count is not a number: \"" + text + "\"");
    }
  }
}

struct TableCase {
  const char* name;
  std::string lines;
  std::string samples;
  std::vector<std::uint8_t> data;
  std::string table;  // expected when error is 0
  int error;
};

TEST(TextTable, WritesTheExactTableOrFailsLeavingTheEarlierOutput) {
  const std::vector<TableCase> cases = {
      {"worked example", "2", "3", {1, 0, 1, 0, 1, 1}, "1,0,1,\r\n0,1,1,\r\n", 0},
      {"every width", "1", "6", {0, 9, 10, 99, 100, 255}, "0,9,10,99,100,255,\r\n", 0},
      {"no lines: sample count never read", "0", "abc", {}, "", 0},
      {"negative lines", "-1", "3", {1, 2, 3}, "", 0},
      {"empty rows", "3", "0", {}, "\r\n\r\n\r\n", 0},
      {"negative samples give empty rows", "2", "-5", {}, "\r\n\r\n", 0},
      {"surplus data left out", "1", "2", {7, 8, 9}, "7,8,\r\n", 0},
      {"exact length", "2", "2", {1, 2, 3, 4}, "1,2,\r\n3,4,\r\n", 0},
      {"one byte short", "2", "2", {1, 2, 3}, "", 1008},
      {"product overflows", "4294967296", "4294967296", {1}, "", 1008},
      {"line count not a number", "two", "3", {1, 2, 3}, "", 1007},
      {"sample count not a number", "1", "3.5", {1, 2, 3}, "", 1007},
      {"more rows than the disk holds", "1000000000000", "0", {}, "", 1009},
  };
  TempFolder folder;
  const auto output = folder / "run1.txt";
  for (const TableCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(output, "earlier output");
    DigitalWaveformDocument document{c.lines, c.samples, ByteBuffer(c.data)};
    try {
      WriteDigitalTextTable(testing::Text(output), document);
      EXPECT_EQ(c.error, 0);
      EXPECT_EQ(ReadFile(output), c.table);
    } catch (const ConversionError& error) {
      EXPECT_EQ(error.Number(), c.error) << error.what();
      EXPECT_EQ(ReadFile(output), "earlier output");
    }
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"run1.txt"});
  }
}

TEST(TextTable, RefusesOutputsThatCannotBeWritten) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "table.txt");
  const DigitalWaveformDocument document{"1", "1", ByteBuffer(std::vector<std::uint8_t>{5})};
  const std::vector<std::pair<std::filesystem::path, std::string>> cases = {
      {folder / "table.txt", "it is a folder"},
      {folder / "no such folder" / "x.txt", std::strerror(ENOENT)},
      {folder / (std::string(300, 'n') + ".txt"), std::strerror(ENAMETOOLONG)},
  };
  for (const auto& [path, why] : cases) {
    try {
      WriteDigitalTextTable(testing::Text(path), document);
      ADD_FAILURE() << "wrote " << path;
    } catch (const ConversionError& error) {
      EXPECT_EQ(error.Kind(), ErrorNumber::kOutputNotWritable);
      EXPECT_NE(std::string(error.what()).find(why), std::string::npos) << error.what();
    }
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

#ifndef _WIN32
TEST(TextTable, ReplacesTheFileALinkNamesAndKeepsTheLink) {
  TempFolder folder;
  WriteFile(folder / "real.txt", "old");
  std::filesystem::create_symlink("real.txt", folder / "link.txt");
  WriteDigitalTextTable(testing::Text(folder / "link.txt"),
                        {"1", "1", ByteBuffer(std::vector<std::uint8_t>{5})});
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.txt"));
  EXPECT_EQ(ReadFile(folder / "real.txt"), "5,\r\n");
}
#endif

}  // namespace
}  // namespace sorrelin
