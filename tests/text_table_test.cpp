#include "text_table.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform.h"
#include "test_support.h"

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
  const std::vector<std::pair<std::string, std::string>> cases = {
      {" +3\r\n", "3"},
      {"-2", "-2"},
      {"007", "7"},
      {"9223372036854775807", "9223372036854775807"},
      {"-9223372036854775808", "-9223372036854775808"},
      {"", "refused"},
      {" ", "refused"},
      {"3.0", "refused"},
      {"+-3", "refused"},
      {"+", "refused"},
      {"0x10", "refused"},
      {"3 4", "refused"},
      {"9223372036854775808", "refused"},
  };
  for (const auto& [text, value] : cases) {
    std::string read = "refused";
    const std::string outcome = Outcome([&] { read = std::to_string(ReadCount(text, "count")); });
    EXPECT_EQ(read, value) << text;
    EXPECT_EQ(outcome,
              value == "refused" ? "error 1007: count is not a number: \"" + text + "\"" : "ok");
  }
}

TEST(TextTable, RefusesOutputsThatCannotBeWrittenAndNamesTheCause) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "table.txt");
  const DigitalWaveformDocument document{"1", "1", ByteBuffer(std::vector<std::uint8_t>{5})};
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

}  // namespace
}  // namespace sorrelin
