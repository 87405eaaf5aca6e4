#include "formats/csv_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <string>

#include "formats/sample_rows.h"
#include "formats/table_format.h"

namespace sorrelin {
namespace {

// A row's number and time: NumberText's room, a comma, and at most 24 characters of
// time and a comma.
constexpr std::size_t kRowStartRoom = 64;

// The header row's first cells.
std::string_view HeaderStart(const FormatSettings& settings) {
  return settings.sampleRate ? "sample,time_s" : "sample";
}

}  // namespace

std::uint64_t CsvFormat::SmallestSize() const {
  // A header cell is at least ",lineN"; a row at least the sample's number, ",0" for
  // its time and each value, and CR LF.
  bool overflow = false;
  const std::uint64_t lines = plan_.chosenLineCount;
  const std::uint64_t rows = lines == 0 ? 0 : plan_.sampleCount;
  const std::uint64_t timeSize = settings_.sampleRate ? 2 : 0;
  const std::uint64_t header =
      CheckedSum(HeaderStart(settings_).size() + 2, CheckedProduct(lines, 6, overflow), overflow);
  const std::uint64_t rowSize =
      CheckedSum(2 + timeSize, CheckedProduct(lines, 2, overflow), overflow);
  const std::uint64_t numbers =
      DigitsUpTo(plan_.firstSample + rows, overflow) - DigitsUpTo(plan_.firstSample, overflow);
  const std::uint64_t size = CheckedSum(CheckedSum(header, numbers, overflow),
                                        CheckedProduct(rows, rowSize, overflow), overflow);
  return overflow ? std::numeric_limits<std::uint64_t>::max() : size;
}

bool CsvFormat::Begin(const Proceed& proceed) {
  const std::uint64_t start = out_.Size();
  std::string header(HeaderStart(settings_));
  for (const DataPlan::LineSpan& span : plan_.chosenLines) {
    for (std::uint64_t line = span.begin; line < span.end && out_.Writing(); ++line) {
      header += ",line" + std::to_string(line + 1);
      if (header.size() >= OutputStream::kLargestRoom) {
        if (!proceed(0)) return false;
        out_.Write(header);
        header.clear();
      }
    }
  }
  if (out_.Writing()) {
    out_.Write(header + "\r\n");
  } else {  // counted at once, however many lines there are
    bool overflow = false;
    const std::uint64_t cells = CheckedProduct(plan_.chosenLineCount, 5, overflow);
    const std::uint64_t size = CheckedSum(cells, ChosenLineDigits(plan_, overflow), overflow) +
                               HeaderStart(settings_).size() + 2;
    out_.Count(size - (out_.Size() - start));
  }
  spill_ = std::make_unique<SpillFile>(plan_.chosenLineCount, plan_.sampleCount,
                                       settings_.temporaryFiles, settings_.spillFolder);
  return true;
}

bool CsvFormat::End(const Proceed& proceed) {
  RoomWriter text(out_);
  SampleRows rows;
  const std::uint64_t lines = plan_.chosenLineCount;
  const bool timed = settings_.sampleRate.has_value();
  std::uint64_t sample = plan_.firstSample;  // of the last row begun, numbered from 1
  NumberText numbers;
  return spill_->ReadBack(0, [&](const SpillBlock& block) {
    if (!proceed(static_cast<double>(block.firstSample) / static_cast<double>(plan_.sampleCount))) {
      return false;
    }
    const bool endsRows = block.EndsLines(lines);
    // Locals while a block is written, so that the compiler keeps them in registers
    // rather than reloading them after every character stored.
    NumberText blockNumbers = numbers;
    std::uint64_t blockSample = sample;
    rows.ForEach(block, [&](std::size_t, std::size_t first, std::size_t count,
                            const std::uint8_t* row, const std::uint8_t*) {
      text.Ensure(kRowStartRoom + FormatRoom(count) + 1);
      char* at = text.at;
      if (block.firstLine + first == 0) {  // rows begin in the order of their samples
        at = blockNumbers.Write(++blockSample, at);
        *at++ = ',';
        if (timed) at = WriteTime(blockSample, at);
      }
      at = FormatValues(row, count, at);
      if (endsRows && first + count == block.lineCount) {
        // The row's last comma becomes its CR.
        at[-1] = '\r';
        *at++ = '\n';
      }
      text.at = at;
    });
    numbers = blockNumbers;
    sample = blockSample;
    return true;
  });
}

char* CsvFormat::WriteTime(std::uint64_t sample, char* at) const {
  const double time = static_cast<double>(sample - 1) / *settings_.sampleRate;
  at = std::to_chars(at, at + 32, time, std::chars_format::general, 12).ptr;
  *at++ = ',';
  return at;
}

}  // namespace sorrelin
