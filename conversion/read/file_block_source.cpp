#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "message_text.h"
#include "platform/document_input.h"
#include "read/block_source.h"

namespace sorrelin {
namespace {

// How long a read from a pipe or device waits before its caller is asked again
// whether to go on.
constexpr std::chrono::milliseconds kLongestWait{250};

class FileBlockSource : public BlockSource {
 public:
  FileBlockSource(UniqueFile file, std::uint64_t size, bool regular)
      : file_(std::move(file)), size_(size), regular_(regular) {
    // Large reads go straight into the caller's buffer.
    std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  }

  Block Read(std::span<char> buffer) override {
    if (!regular_ && !WaitForInput(file_.get(), kLongestWait)) return {0, false};
    const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file_.get());
    offset_ += count;
    if (std::ferror(file_.get())) {
      // An interrupted read is not retried: the caller is asked whether to go on first.
      if (errno != EINTR) {
        throw DocumentUnreadable("cannot read the document at byte " + std::to_string(offset_) +
                                 ": " + ErrnoMessage(errno));
      }
      std::clearerr(file_.get());
      return {count, false};
    }
    return {count, std::feof(file_.get()) != 0};
  }

  std::uint64_t Size() const override { return size_; }

  bool Rereadable() const override { return regular_; }

  bool Rewind() override {
    if (!regular_ || std::fseek(file_.get(), 0, SEEK_SET) != 0) return false;
    std::clearerr(file_.get());
    offset_ = 0;
    return true;
  }

  std::optional<FileIdentity> Identity() const override { return IdentityOf(file_.get()); }

 private:
  UniqueFile file_;
  std::uint64_t size_;
  std::uint64_t offset_ = 0;  // bytes read so far
  bool regular_;
};

}  // namespace

OpenedDocument OpenDocumentFile(std::string_view pathText) {
  const std::string text(pathText);
  if (text.empty()) return {nullptr, "no document named: the path is empty"};
  const std::filesystem::path path = PathFromText(text);
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (std::filesystem::is_directory(status)) {
    return {nullptr, Quoted(text) + " is a folder, not a document"};
  }
  UniqueFile file = OpenForReading(path);
  if (!file) return {nullptr, "cannot open " + Quoted(text) + ": " + ErrnoMessage(errno)};
  // A regular file can be read again to place a fault exactly; a pipe cannot.
  const bool regular = std::filesystem::is_regular_file(status);
  std::uintmax_t size = regular ? std::filesystem::file_size(path, error) : 0;
  if (error) size = 0;
  return {std::make_unique<FileBlockSource>(std::move(file), size, regular), {}};
}

OpenedDocument OpenStandardInput() {
  UniqueFile input = DuplicateStandardInput();
  if (!input) return {nullptr, "cannot read standard input: " + ErrnoMessage(errno)};
  return {std::make_unique<FileBlockSource>(std::move(input), 0, false), {}};
}

}  // namespace sorrelin
