#include "formats/csv_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "conversion_error.h"
#include "formats/format_module.h"
#include "formats/sample_rows.h"
#include "formats/table_format.h"

namespace sorrelin {
namespace {

// A row's number and time: NumberText's room, a comma, and at most 24 characters of
// time and a comma.
constexpr std::size_t kRowStartRoom = 64;

// Room for a row of `lines` values.
std::unique_ptr<std::uint8_t[]> WideRow(std::uint64_t lines) {
  try {
    return std::make_unique_for_overwrite<std::uint8_t[]>(lines);
  } catch (const std::bad_alloc&) {
    throw NotEnoughMemory();
  }
}

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
  const std::uint64_t samples = lines == 0 ? 0 : plan_.sampleCount;
  // With changes, the rows of the first and the last sample at least.
  const std::uint64_t rows = settings_.changes ? std::min<std::uint64_t>(samples, 2) : samples;
  const std::uint64_t timeSize = settings_.sampleRate ? 2 : 0;
  const std::uint64_t header =
      CheckedSum(HeaderStart(settings_).size() + 2, CheckedProduct(lines, 6, overflow), overflow);
  const std::uint64_t rowSize =
      CheckedSum(2 + timeSize, CheckedProduct(lines, 2, overflow), overflow);
  const std::uint64_t numbers =
      rows == samples
          ? DigitsUpTo(plan_.firstSample + rows, overflow) - DigitsUpTo(plan_.firstSample, overflow)
          : DigitsUpTo(plan_.firstSample + 1, overflow) - DigitsUpTo(plan_.firstSample, overflow) +
                DigitsUpTo(plan_.firstSample + samples, overflow) -
                DigitsUpTo(plan_.firstSample + samples - 1, overflow);
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
  if (settings_.changes) return EndChanges(proceed);
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

bool CsvFormat::EndChanges(const Proceed& proceed) {
  RoomWriter text(out_);
  SampleRows rows;
  const std::uint64_t lines = plan_.chosenLineCount;
  const std::uint64_t last = plan_.firstSample + plan_.sampleCount;  // numbered from 1
  const bool timed = settings_.sampleRate.has_value();
  std::uint64_t sample = plan_.firstSample;
  bool changed = false;  // whether the pieces of a wide row gathered so far differ
  NumberText numbers;
  // Writes the row of `atSample` from `values`, kRowLines at a time when wide.
  const auto writeRow = [&](NumberText& texts, std::uint64_t atSample, const std::uint8_t* values) {
    text.Ensure(kRowStartRoom);
    char* at = texts.Write(atSample, text.at);
    *at++ = ',';
    if (timed) at = WriteTime(atSample, at);
    for (std::uint64_t i = 0; i < lines; i += kRowLines) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kRowLines, lines - i));
      text.at = at;
      text.Ensure(FormatRoom(n) + 1);
      at = FormatValues(values + i, n, text.at);
    }
    at[-1] = '\r';  // the row's last comma
    *at++ = '\n';
    text.at = at;
  };
  // Each sample is read back with the one before it.
  return spill_->ReadBack(1, [&](const SpillBlock& block) {
    if (!proceed(static_cast<double>(block.firstSample) / static_cast<double>(plan_.sampleCount))) {
      return false;
    }
    const bool endsRows = block.EndsLines(lines);
    // Locals while a block is written, as in End.
    NumberText blockNumbers = numbers;
    std::uint64_t blockSample = sample;
    rows.ForEach(block, [&](std::size_t, std::size_t first, std::size_t count,
                            const std::uint8_t* row, const std::uint8_t* previous) {
      if (count == lines) {  // the whole row at once, with the one before
        ++blockSample;
        if (previous != nullptr && blockSample != last && SameRow(row, previous, count)) return;
        text.Ensure(kRowStartRoom + FormatRoom(count) + 1);
        char* at = blockNumbers.Write(blockSample, text.at);
        *at++ = ',';
        if (timed) at = WriteTime(blockSample, at);
        at = FormatValues(row, count, at);
        at[-1] = '\r';  // the row's last comma
        *at++ = '\n';
        text.at = at;
        return;
      }
      // A row too wide to come at once is gathered, piece after piece.
      if (!row_) row_ = WideRow(lines);
      std::memcpy(row_.get() + (block.firstLine + first), row, count);
      changed = changed || previous == nullptr || !SameRow(row, previous, count);
      if (!endsRows || first + count != block.lineCount) return;  // the row goes on
      ++blockSample;
      if (changed || blockSample == last) writeRow(blockNumbers, blockSample, row_.get());
      changed = false;
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

extern const FormatModule kCsvFormat{
    "csv",
    ".csv",
    "a row per sample, a column per line",
    "CSV for spreadsheets",
    "output",
    true,
    true,
    {.rate = true, .changes = true},
    [](const DataPlan& plan, OutputStream& out,
       const FormatSettings& settings) -> std::unique_ptr<OutputFormat> {
      return std::make_unique<CsvFormat>(plan, out, settings);
    }};

}  // namespace sorrelin
