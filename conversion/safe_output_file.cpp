#include "safe_output_file.h"

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#include "conversion_error.h"
#include "message_text.h"

namespace fs = std::filesystem;

namespace sorrelin {
namespace {

[[noreturn]] void Refuse(const std::string& target, const std::string& why) {
  throw ConversionError(ErrorNumber::kOutputNotWritable,
                        "cannot write " + Quoted(target) + ": " + why);
}

std::string RandomSuffix() {
  std::random_device device;
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(device()));
  return text;
}

}  // namespace

SafeOutputFile::SafeOutputFile(const fs::path& target, std::span<const fs::path> documents,
                               bool unnamedWherePossible)
    : target_(target), targetText_(PathToText(target)) {
  std::error_code error;
  // A link stays a link: the file it names, even one not there yet, is replaced.
  for (int hops = 0; fs::is_symlink(fs::symlink_status(target_, error)); ++hops) {
    if (hops == 40) Refuse(targetText_, ErrnoMessage(ELOOP));
    const fs::path next = fs::read_symlink(target_, error);
    if (error) Refuse(targetText_, error.message());
    target_ = target_.parent_path() / next;  // an absolute `next` replaces the whole
  }
  if (target_.filename().native().size() > MaxFileNameLength(target_)) {
    Refuse(targetText_, ErrnoMessage(ENAMETOOLONG));
  }
  const fs::file_status status = fs::status(target_, error);
  if (error && error != std::errc::no_such_file_or_directory) Refuse(targetText_, error.message());
  const bool exists = fs::exists(status);
  if (fs::is_directory(status)) Refuse(targetText_, "it is a folder");
  if (exists && !fs::is_regular_file(status)) Refuse(targetText_, "it is not a regular file");
  for (std::size_t i = 0; exists && i < documents.size(); ++i) {
    if (fs::equivalent(target_, documents[i], error)) {
      Refuse(targetText_, i == 0 ? "it is the document being converted"
                                 : "it is another document being converted");
    }
  }
  if (exists && !MayWrite(target_)) Refuse(targetText_, ErrnoMessage(errno));

  folder_ = target_.parent_path();
  if (folder_.empty()) folder_ = ".";
  if (unnamedWherePossible) file_ = CreateUnnamedFile(folder_);
  for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
    temporary_ = folder_ / (".sorrelin-" + RandomSuffix() + ".tmp");
    file_ = CreateNewFile(temporary_);
    if (!file_ && errno != EEXIST) break;
  }
  if (!file_) Refuse(targetText_, ErrnoMessage(errno));
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  if (exists) SetPermissions(file_.get(), status.permissions());
}

SafeOutputFile::~SafeOutputFile() {
  if (!committed_) Discard();
}

void SafeOutputFile::Discard() noexcept {
  file_.reset();
  if (temporary_.empty()) return;
  std::error_code ignored;
  fs::remove(temporary_, ignored);
  temporary_.clear();
}

ConversionError SafeOutputFile::NotEnoughSpace(std::uint64_t bytes) const {
  std::error_code error;
  const fs::space_info space = fs::space(folder_, error);
  const bool shown = !error && space.available < bytes;
  return ConversionError(ErrorNumber::kNotEnoughSpace,
                         "not enough free space for " + Quoted(targetText_) + ": the table needs " +
                             std::to_string(bytes) + " bytes" +
                             (shown ? ", " + std::to_string(space.available) + " are free" : ""));
}

void SafeOutputFile::Reserve(std::uint64_t bytes) {
  std::error_code error;
  const fs::space_info space = fs::space(folder_, error);
  if ((!error && bytes > space.available) || !ReserveFileSpace(file_.get(), bytes)) {
    throw NotEnoughSpace(bytes);
  }
}

void SafeOutputFile::FailWrite(int errorNumber) const {
  if (IsDiskFull(errorNumber)) throw NotEnoughSpace(0);
  throw ConversionError(ErrorNumber::kWriteFailed,
                        "cannot write " + Quoted(targetText_) + ": " + ErrnoMessage(errorNumber));
}

void SafeOutputFile::Write(const char* bytes, std::size_t size) {
  if (size != 0 && std::fwrite(bytes, 1, size, file_.get()) != size) FailWrite(errno);
}

void SafeOutputFile::NameTemporaryFile() {
  for (int attempt = 0; attempt < 100 && temporary_.empty(); ++attempt) {
    const fs::path name = folder_ / (".sorrelin-" + RandomSuffix() + ".tmp");
    if (NameUnnamedFile(file_.get(), name)) {
      temporary_ = name;
    } else if (errno != EEXIST) {
      break;
    }
  }
  if (temporary_.empty()) {
    throw ConversionError(ErrorNumber::kWriteFailed,
                          "cannot replace " + Quoted(targetText_) + ": " + ErrnoMessage(errno));
  }
}

void SafeOutputFile::Commit() {
  if (std::fflush(file_.get()) != 0) FailWrite(errno);
  if (temporary_.empty()) NameTemporaryFile();
  if (std::fclose(file_.release()) != 0) FailWrite(errno);
  const std::error_code error = RenameReplacing(temporary_, target_);
  if (error) {
    throw ConversionError(ErrorNumber::kWriteFailed,
                          "cannot replace " + Quoted(targetText_) + ": " + error.message());
  }
  committed_ = true;
}

}  // namespace sorrelin
