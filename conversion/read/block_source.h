#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace sorrelin {

// A read of the document failed; the text says why, naming the document.
class DocumentUnreadable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a document's bytes come from, a block at a time.
class BlockSource {
 public:
  struct Block {
    std::size_t size = 0;  // bytes read into the buffer
    bool last = false;     // the document has ended
  };
  virtual ~BlockSource() = default;
  // Reads at most buffer.size() bytes. It may read fewer, none at all when a signal
  // interrupted the wait, without the document having ended. Raises DocumentUnreadable.
  virtual Block Read(std::span<char> buffer) = 0;
  // The document's size in bytes, 0 when not known.
  virtual std::uint64_t Size() const = 0;
  // Whether the document can be read again from its first byte, and doing so.
  virtual bool Rereadable() const = 0;
  virtual bool Rewind() = 0;
  // The document's file, to keep an output from replacing it.
  virtual std::optional<FileIdentity> Identity() const = 0;
};

// A document opened, or why it could not be.
struct OpenedDocument {
  std::unique_ptr<BlockSource> source;
  std::string failure;
};

// Opens the file that `pathText` (UTF-8, used as given) names. "-" is not special here.
OpenedDocument OpenDocumentFile(std::string_view pathText);

// The program's standard input, which can be read once.
OpenedDocument OpenStandardInput();

}  // namespace sorrelin
