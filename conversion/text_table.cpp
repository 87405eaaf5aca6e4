#include "text_table.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "block_writer.h"
#include "conversion_error.h"
#include "message_text.h"
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

std::string Counted(std::uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::uint64_t CheckedSum(std::uint64_t a, std::uint64_t b, bool& overflow) {
  if (b > std::numeric_limits<std::uint64_t>::max() - a) overflow = true;
  return a + b;
}

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
    throw ConversionError(
        ErrorNumber::kCountNotANumber,
        std::string(what) + " is not a number: " + Quoted(Shortened(text, kShownCountLength)));
  }
  return value;
}

TextTableStream::TextTableStream(const TableTarget& target, std::string_view lineCountText,
                                 std::string_view sampleCountText) {
  try {
    std::vector<std::filesystem::path> documents;
    for (const std::string& document : target.documents)
      documents.push_back(PathFromText(document));
    file_ = std::make_unique<SafeOutputFile>(PathFromText(target.outputPath), documents,
                                             target.unnamedTemporaryFile);
    if (const std::int64_t lineCount = ReadCount(lineCountText, "line count"); lineCount >= 1) {
      lines_ = static_cast<std::uint64_t>(lineCount);
      const std::int64_t sampleCount = ReadCount(sampleCountText, "sample count");
      samples_ = sampleCount < 1 ? 0 : static_cast<std::uint64_t>(sampleCount);
    }
    needed_ = CheckedProduct(lines_, samples_, neededOverflows_);
    // The smallest table the counts allow: one digit and a comma a value, CR LF a row.
    bool overflow = neededOverflows_;
    const std::uint64_t smallest = CheckedSum(CheckedProduct(needed_, 2, overflow),
                                              CheckedProduct(lines_, 2, overflow), overflow);
    writing_ = true;
    file_->Reserve(overflow ? std::numeric_limits<std::uint64_t>::max() : smallest);
    writer_ = std::make_unique<BlockWriter>(*file_, kWriteBlock + FormatRoom(0));
    block_ = out_ = writer_->FirstBlock();
  } catch (const ConversionError& error) {
    Fail(error);
  }
}

TextTableStream::~TextTableStream() = default;

void TextTableStream::Fail(const ConversionError& error) {
  if (!fault_) fault_.emplace(error);
  writing_ = false;
}

void TextTableStream::Take(std::span<const std::uint8_t> bytes) {
  const std::uint64_t before = received_;
  received_ += bytes.size();
  if (before >= needed_) return;  // bytes beyond the table, or no table to make
  auto values = bytes.first(
      static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), needed_ - before)));
  while (!values.empty()) {
    const auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(values.size(), samples_ - column_));
    Format(values.first(n));
    values = values.subspan(n);
    column_ += n;
    if (column_ == samples_) {
      column_ = 0;
      EndRow();
    }
  }
}

void TextTableStream::Format(std::span<const std::uint8_t> values) {
  if (!writing_) {
    tableSize_ += FormattedSize(values);
    return;
  }
  while (!values.empty()) {
    const auto used = static_cast<std::size_t>(out_ - block_);
    const std::size_t n = std::min(values.size(), (kWriteBlock - used) / 4);
    if (n == 0) {
      Flush();
      if (!writing_) return Format(values);
      continue;
    }
    char* const end = FormatValues(values.data(), n, out_);
    tableSize_ += static_cast<std::uint64_t>(end - out_);
    out_ = end;
    values = values.subspan(n);
  }
}

void TextTableStream::EndRow() {
  tableSize_ += 2;
  if (!writing_) return;
  if (block_ + kWriteBlock - out_ < 2) Flush();
  *out_++ = '\r';
  *out_++ = '\n';
}

void TextTableStream::Flush() {
  if (!writing_) return;
  block_ = out_ = writer_->Write(block_, static_cast<std::size_t>(out_ - block_));
  if (auto fault = writer_->Fault()) Fail(*fault);
}

void TextTableStream::Finish() {
  if (fault_ && fault_->Number() < static_cast<int>(ErrorNumber::kDataTooShort)) throw *fault_;
  if (neededOverflows_ || received_ < needed_) {
    throw ConversionError(
        ErrorNumber::kDataTooShort,
        "data too short: " + Counted(lines_, "line") + " of " + Counted(samples_, "sample") +
            " need " +
            (neededOverflows_ ? std::string("more than 2^64") : std::to_string(needed_)) +
            " bytes, the data holds " + std::to_string(received_));
  }
  if (samples_ == 0) {
    for (std::uint64_t row = 0; row < lines_ && writing_; ++row) EndRow();
    tableSize_ = 2 * lines_;
  }
  Flush();
  if (writer_) {
    if (auto fault = writer_->Drain()) Fail(*fault);
    writer_.reset();
  }
  if (writing_) {
    try {
      file_->Commit();
      return;
    } catch (const ConversionError& error) {
      Fail(error);
    }
  }
  if (fault_->Kind() != ErrorNumber::kNotEnoughSpace) throw *fault_;
  file_->Discard();
  throw file_->NotEnoughSpace(tableSize_);
}

void WriteDigitalTextTable(const TableTarget& target, const DigitalWaveformDocument& document,
                           const std::function<bool()>& keepGoing) {
  TextTableStream table(target, document.lineCountText, document.sampleCountText);
  const auto data = document.data.bytes();
  for (std::size_t at = 0; at < data.size(); at += kWriteBlock) {
    if (keepGoing && !keepGoing()) return;
    table.Take(data.subspan(at, std::min(kWriteBlock, data.size() - at)));
  }
  table.Finish();
}

}  // namespace sorrelin
