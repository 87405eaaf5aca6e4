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

SafeOutputFile::SafeOutputFile(const fs::path& target)
    : target_(target), targetText_(PathToText(target)) {
  std::error_code error;
  // A link stays a link: the file it points to is the one replaced.
  if (fs::is_symlink(fs::symlink_status(target_, error))) {
    fs::path resolved = fs::canonical(target_, error);
    if (!error) target_ = std::move(resolved);
  }
  const fs::file_status status = fs::status(target_, error);
  if (error && error != std::errc::no_such_file_or_directory) Refuse(targetText_, error.message());
  const bool exists = fs::exists(status);
  if (fs::is_directory(status)) Refuse(targetText_, "it is a folder");
  if (exists && !fs::is_regular_file(status)) Refuse(targetText_, "it is not a regular file");
  if (exists) {
    // Opening without truncating asks the system whether this user may write it.
    if (!OpenFile(target_, "r+b")) Refuse(targetText_, ErrnoMessage(errno));
  }

  fs::path folder = target_.parent_path();
  if (folder.empty()) folder = ".";
  for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
    temporary_ = folder / (".sorrelin-" + RandomSuffix() + ".tmp");
    file_ = OpenFile(temporary_, "wbx");
    if (!file_ && errno != EEXIST) break;
  }
  if (!file_) {
    const int openError = errno;
    temporary_.clear();
    Refuse(targetText_, ErrnoMessage(openError));
  }
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
  if (exists) fs::permissions(temporary_, status.permissions(), error);
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
  fs::path folder = target_.parent_path();
  if (folder.empty()) folder = ".";
  const fs::space_info space = fs::space(folder, error);
  const bool shown = !error && space.available < bytes;
  return ConversionError(ErrorNumber::kNotEnoughSpace,
                         "not enough free space for " + Quoted(targetText_) + ": the table needs " +
                             std::to_string(bytes) + " bytes" +
                             (shown ? ", " + std::to_string(space.available) + " are free" : ""));
}

void SafeOutputFile::Reserve(std::uint64_t bytes) {
  std::error_code error;
  const fs::space_info space = fs::space(temporary_.parent_path(), error);
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

void SafeOutputFile::Commit() {
  if (std::fflush(file_.get()) != 0) FailWrite(errno);
  if (std::fclose(file_.release()) != 0) FailWrite(errno);
  std::error_code error;
  fs::rename(temporary_, target_, error);
  if (error) {
    throw ConversionError(ErrorNumber::kWriteFailed,
                          "cannot replace " + Quoted(targetText_) + ": " + error.message());
  }
  committed_ = true;
}

}  // namespace sorrelin
