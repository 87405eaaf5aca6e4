#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "conversion_error.h"
#include "digital_document.h"

namespace sorrelin {

class BlockWriter;
class SafeOutputFile;

// Where a table goes.
struct TableTarget {
  std::string outputPath;
  // Files the table must never replace, by any name or link: the document converted
  // first, then any others converted with it.
  std::vector<std::string> documents;
  // The temporary file has no name until the table is complete, where the system allows.
  bool unnamedTemporaryFile = true;
};

// Where the table of `inputPath` goes: a name ending in ".XMLdig" (any letter case)
// gets ".txt" in its place; any other name keeps its whole text and gets ".txt"
// appended, so the input is never overwritten. An empty path raises ConversionError.
std::string OutputPathFor(std::string_view inputPath);

// A count text as a number: a decimal integer with an optional sign and white space
// around it, within 64 bits. Anything else raises ConversionError (kCountNotANumber)
// naming `what`.
std::int64_t ReadCount(std::string_view text, std::string_view what);

// Writes the table while its data arrives: one row per line, every sample's decimal
// value and a comma, rows ended by CR LF. Memory is one write block, whatever the
// table's size. A fault does not stop the stream: it counts on, and Finish raises the
// first fault in the order output file, counts, data length, free space, writing.
// The output appears whole, on Finish, or not at all; an earlier file of that name
// stays as it was on any failure.
class TextTableStream : public DataSink {
 public:
  TextTableStream(const TableTarget& target, std::string_view lineCountText,
                  std::string_view sampleCountText);
  ~TextTableStream() override;
  TextTableStream(const TextTableStream&) = delete;
  TextTableStream& operator=(const TextTableStream&) = delete;

  void Take(std::span<const std::uint8_t> bytes) override;
  // The data has ended: raises the first fault, or puts the table in place.
  void Finish();

 private:
  void Format(std::span<const std::uint8_t> values);
  void EndRow();
  void Flush();
  void Fail(const ConversionError& error);

  std::unique_ptr<SafeOutputFile> file_;
  std::optional<ConversionError> fault_;
  bool writing_ = false;
  std::uint64_t lines_ = 0;
  std::uint64_t samples_ = 0;
  std::uint64_t needed_ = 0;  // lines x samples bytes of data
  bool neededOverflows_ = false;
  std::uint64_t received_ = 0;
  std::uint64_t column_ = 0;             // values in the row under way
  std::uint64_t tableSize_ = 0;          // bytes of the table so far, written or not
  std::unique_ptr<BlockWriter> writer_;  // after file_: it writes to it until it ends
  char* block_ = nullptr;                // the write block being filled
  char* out_ = nullptr;
};

// Writes the whole table of `document` (see TextTableStream), asking `keepGoing`
// between blocks; when it says stop, nothing is written.
void WriteDigitalTextTable(const TableTarget& target, const DigitalWaveformDocument& document,
                           const std::function<bool()>& keepGoing = {});
inline void WriteDigitalTextTable(std::string_view outputPath,
                                  const DigitalWaveformDocument& document) {
  WriteDigitalTextTable(TableTarget{std::string(outputPath), {}, true}, document);
}

}  // namespace sorrelin
