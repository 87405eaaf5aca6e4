#pragma once

#include <cstdint>
#include <ctime>
#include <exception>
#include <span>
#include <string>

#include "output/output_stream.h"

struct archive;
struct archive_entry;

namespace sorrelin {

// A zip archive written front to back into an OutputStream, so that it can go to a
// pipe: each entry's CRC and sizes follow its data, and ZIP64 records come where sizes,
// offsets or the count of entries need them. Entries are deflated at the fastest level,
// or stored when deflate would not take a tenth off them. Memory: the central
// directory, kept until Finish, about 100 bytes an entry.
class ZipStream {
 public:
  // Raises ConversionError (kWriteFailed) when the writer cannot be made.
  explicit ZipStream(OutputStream& out);
  // Without Finish, the archive is left unfinished: nothing more is written.
  ~ZipStream();
  ZipStream(const ZipStream&) = delete;
  ZipStream& operator=(const ZipStream&) = delete;

  // Adds a file of these bytes. Raises what writing to the stream raised, or
  // ConversionError (kWriteFailed).
  void Add(const std::string& name, std::span<const std::uint8_t> bytes);
  // Writes the central directory.
  void Finish();

 private:
  friend struct ZipStreamOutput;  // libarchive's write callback
  // Raises the fault behind a libarchive status below ARCHIVE_OK.
  void Check(int status);

  OutputStream& out_;
  struct archive* archive_;
  struct archive_entry* entry_;
  std::time_t time_;
  std::exception_ptr fault_;  // what writing to the stream raised
  bool finished_ = false;
};

}  // namespace sorrelin
