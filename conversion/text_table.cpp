#include "text_table.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <memory>

#include "conversion_error.h"
#include "safe_output_file.h"
#include "table_format.h"

namespace sorrelin {
namespace {

constexpr std::string_view kInputExtension = ".XMLdig";
constexpr std::size_t kWriteBlock = 1 << 20;  // stays in cache between format and write
constexpr std::size_t kShownCountLength = 40;

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

std::uint64_t CheckedProduct(std::uint64_t a, std::uint64_t b, bool& overflow) {
  if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a) overflow = true;
  return a * b;
}

std::uint64_t CheckedSum(std::uint64_t a, std::uint64_t b, bool& overflow) {
  if (b > std::numeric_limits<std::uint64_t>::max() - a) overflow = true;
  return a + b;
}

// Formats the table into large blocks and hands each full block to the file.
class TableWriter {
 public:
  explicit TableWriter(SafeOutputFile& file)
      : file_(file),
        buffer_(std::make_unique_for_overwrite<char[]>(kWriteBlock)),
        out_(buffer_.get()) {}

  void Row(const std::uint8_t* values, std::uint64_t count) {
    while (count != 0) {
      const std::size_t room = Room();
      if (room < 4 + 2) {  // a value plus the row end
        Flush();
        continue;
      }
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(count, (room - 2) / 4));
      out_ = FormatValues({values, n}, out_);
      values += n;
      count -= n;
    }
    if (Room() < 2) Flush();
    *out_++ = '\r';
    *out_++ = '\n';
  }

  void Flush() {
    file_.Write(buffer_.get(), static_cast<std::size_t>(out_ - buffer_.get()));
    out_ = buffer_.get();
  }

 private:
  std::size_t Room() const { return static_cast<std::size_t>(buffer_.get() + kWriteBlock - out_); }

  SafeOutputFile& file_;
  std::unique_ptr<char[]> buffer_;
  char* out_;
};

}  // namespace

std::string OutputPathFor(std::string_view inputPath) {
  if (inputPath.empty()) {
    throw ConversionError(ErrorNumber::kInvalidOutputPath,
                          "no output path: the input path is empty");
  }
  std::string_view stem = inputPath;
  if (EndsWithIgnoringCase(inputPath, kInputExtension)) stem.remove_suffix(kInputExtension.size());
  return std::string(stem) + ".txt";
}

std::int64_t ReadCount(std::string_view text, std::string_view what) {
  std::string_view digits = text;
  while (!digits.empty() && IsXmlSpace(digits.front())) digits.remove_prefix(1);
  while (!digits.empty() && IsXmlSpace(digits.back())) digits.remove_suffix(1);
  if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-') digits.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    std::string shown(text.substr(0, kShownCountLength));
    if (text.size() > kShownCountLength) shown += "...";
    throw ConversionError(ErrorNumber::kCountNotANumber,
                          std::string(what) + " is not a number: \"" + shown + "\"");
  }
  return value;
}

void WriteDigitalTextTable(std::string_view outputPath, const DigitalWaveformDocument& document) {
  SafeOutputFile file(PathFromText(outputPath));
  const std::int64_t lineCount = ReadCount(document.lineCountText, "line count");
  if (lineCount < 1) return file.Commit();
  const auto lines = static_cast<std::uint64_t>(lineCount);
  const std::int64_t sampleCount = ReadCount(document.sampleCountText, "sample count");
  const std::uint64_t samples = sampleCount < 1 ? 0 : static_cast<std::uint64_t>(sampleCount);

  bool overflow = false;
  const std::uint64_t needed = CheckedProduct(lines, samples, overflow);
  if (overflow || needed > document.data.size()) {
    throw ConversionError(ErrorNumber::kDataTooShort,
                          "data too short: " + std::to_string(lines) + " lines of " +
                              std::to_string(samples) + " samples need " +
                              (overflow ? std::string("more than 2^64") : std::to_string(needed)) +
                              " bytes, the data holds " + std::to_string(document.data.size()));
  }
  const std::uint64_t size =
      CheckedSum(FormattedSize(document.data.bytes().first(needed)), 2 * lines, overflow);
  file.RequireSpace(overflow ? std::numeric_limits<std::uint64_t>::max() : size);

  TableWriter writer(file);
  const std::uint8_t* row = document.data.data();
  for (std::uint64_t line = 0; line < lines; ++line, row += samples) writer.Row(row, samples);
  writer.Flush();
  file.Commit();
}

}  // namespace sorrelin
