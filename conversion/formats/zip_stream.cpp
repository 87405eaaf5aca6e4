#include "formats/zip_stream.h"

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string_view>

#include "conversion_error.h"

namespace sorrelin {
namespace {

// Whether deflate at level 1 takes a tenth or more off these bytes, judged by a few
// slices of them. Deflating bytes it cannot shrink (random bits) takes many times as
// long as storing them.
bool WorthDeflating(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kSlice = std::size_t{16} << 10, kSlices = 4;
  z_stream stream{};
  if (deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return true;
  const uLong room = deflateBound(&stream, kSlice);
  const auto out = std::make_unique_for_overwrite<Bytef[]>(room);
  const std::size_t slices = bytes.size() <= kSlice * kSlices ? 1 : kSlices;
  std::size_t in = 0, made = 0;
  for (std::size_t k = 0; k < slices; ++k) {
    const std::size_t at = bytes.size() / slices * k;
    const std::size_t size = std::min(kSlice, bytes.size() - at);
    deflateReset(&stream);
    stream.next_in = const_cast<Bytef*>(bytes.data() + at);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.get();
    stream.avail_out = static_cast<uInt>(room);
    deflate(&stream, Z_FINISH);
    in += size;
    made += room - stream.avail_out;
  }
  deflateEnd(&stream);
  return made * 10 <= in * 9;
}

}  // namespace

struct ZipStreamOutput {
  // Every byte goes to the stream; a fault is kept for Check, since it must not cross
  // libarchive's C frames.
  static la_ssize_t Write(struct archive*, void* self, const void* bytes, std::size_t size) {
    auto& zip = *static_cast<ZipStream*>(self);
    try {
      zip.out_.Write(std::string_view(static_cast<const char*>(bytes), size));
    } catch (...) {
      zip.fault_ = std::current_exception();
      return -1;
    }
    return static_cast<la_ssize_t>(size);
  }
};

ZipStream::ZipStream(OutputStream& out)
    : out_(out),
      archive_(archive_write_new()),
      entry_(archive_entry_new()),
      time_(std::time(nullptr)) {
  if (!archive_ || !entry_) {
    archive_write_free(archive_);
    archive_entry_free(entry_);
    throw NotEnoughMemory();
  }
  try {
    Check(archive_write_set_format_zip(archive_));
    // Deflate at level 1; a libarchive without the option fails here.
    Check(archive_write_set_format_option(archive_, "zip", "compression-level", "1"));
    // Each write straight to the stream: no blocks, and no zeros padding the last one.
    Check(archive_write_set_bytes_per_block(archive_, 0));
    Check(archive_write_open(archive_, this, nullptr, &ZipStreamOutput::Write, nullptr));
  } catch (...) {
    archive_write_free(archive_);
    archive_entry_free(entry_);
    throw;
  }
}

ZipStream::~ZipStream() {
  if (!finished_) archive_write_fail(archive_);  // so that freeing it writes nothing
  archive_write_free(archive_);
  archive_entry_free(entry_);
}

void ZipStream::Add(const std::string& name, std::span<const std::uint8_t> bytes) {
  archive_entry_clear(entry_);
  archive_entry_set_pathname(entry_, name.c_str());
  archive_entry_set_filetype(entry_, AE_IFREG);
  archive_entry_set_perm(entry_, 0644);
  archive_entry_set_mtime(entry_, time_, 0);
  // A known size keeps ZIP64 out of entries below 4 GiB; the CRC still follows the data.
  archive_entry_set_size(entry_, static_cast<la_int64_t>(bytes.size()));
  Check(WorthDeflating(bytes) ? archive_write_zip_set_compression_deflate(archive_)
                              : archive_write_zip_set_compression_store(archive_));
  Check(archive_write_header(archive_, entry_));
  while (!bytes.empty()) {
    const la_ssize_t wrote = archive_write_data(archive_, bytes.data(), bytes.size());
    if (wrote <= 0) Check(ARCHIVE_FATAL);
    bytes = bytes.subspan(static_cast<std::size_t>(wrote));
  }
  Check(archive_write_finish_entry(archive_));
}

void ZipStream::Finish() {
  Check(archive_write_close(archive_));
  finished_ = true;
}

void ZipStream::Check(int status) {
  if (status >= ARCHIVE_WARN) return;
  if (fault_) std::rethrow_exception(fault_);
  if (archive_errno(archive_) == ENOMEM) throw NotEnoughMemory();
  const char* text = archive_error_string(archive_);
  throw ConversionError(ErrorNumber::kWriteFailed, std::string("cannot write the zip archive: ") +
                                                       (text ? text : "unknown fault"));
}

}  // namespace sorrelin
