#include "output/safe_output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "message_text.h"

namespace fs = std::filesystem;

namespace sorrelin {
namespace {

[[noreturn]] void Refuse(const std::string& target, const std::string& why) {
  throw ConversionError(ErrorNumber::kOutputNotWritable,
                        "cannot write " + Quoted(target) + ": " + why);
}

// A full disk or quota: the caller tells it with the output's size.
[[noreturn]] void DiskFull() { throw ConversionError(ErrorNumber::kNotEnoughSpace, "disk full"); }

}  // namespace

ConversionError NotEnoughSpace(const fs::path& folder, const std::string& targetText,
                               const std::string& noun, std::uint64_t bytes, bool atLeast) {
  std::error_code error;
  const fs::space_info space = fs::space(folder, error);
  const bool shown = !error && space.available < bytes;
  return ConversionError(ErrorNumber::kNotEnoughSpace,
                         "not enough free space for " + Quoted(targetText) + ": the " + noun +
                             " needs " + (atLeast ? "at least " : "") + std::to_string(bytes) +
                             " bytes" +
                             (shown ? ", " + std::to_string(space.available) + " are free" : ""));
}

SafeOutputFile::SafeOutputFile(const fs::path& target, const OutputFileRules& rules,
                               const TemporaryFileFactory& temporaryFiles)
    : keepExisting_(rules.keepExisting), sync_(rules.sync) {
  fs::file_status status;
  if (rules.namedLater) {
    target_ = target;
    targetText_ = PathToText(target);
  } else {
    status = Target(target, rules);
  }
  folder_ = target_.parent_path();
  if (folder_.empty()) folder_ = ".";
  temporary_ = temporaryFiles(folder_);
  if (!temporary_.file) {
    if (IsDiskFull(errno)) DiskFull();
    Refuse(targetText_, ErrnoMessage(errno));
  }
  std::setvbuf(temporary_.file.get(), nullptr, _IONBF, 0);
  if (fs::exists(status)) SetPermissions(temporary_.file.get(), status.permissions());
}

void SafeOutputFile::Retarget(const fs::path& target, const OutputFileRules& rules) {
  const fs::file_status status = Target(target, rules);
  if (!fs::exists(status)) return;  // the temporary file's own permissions, as a new file's
  if (temporary_.file) {
    SetPermissions(temporary_.file.get(), status.permissions());
  } else {
    SetPermissions(temporary_.path, status.permissions());
  }
}

fs::file_status SafeOutputFile::Target(const fs::path& target, const OutputFileRules& rules) {
  target_ = target;
  targetText_ = PathToText(target);
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
  if (const auto identity = exists ? IdentityOf(target_) : std::nullopt) {
    if (identity == rules.document) Refuse(targetText_, "it is the document being converted");
    for (const FileIdentity& other : rules.others) {
      if (identity == other) Refuse(targetText_, "it is another document being converted");
    }
    for (const WrittenOutput& output : rules.written) {
      if (identity == output.file) {
        Refuse(targetText_,
               "it holds the output of " + Quoted(output.document) + ", written by this run");
      }
    }
  }
  if (exists && !MayWrite(target_)) Refuse(targetText_, ErrnoMessage(errno));
  return status;
}

SafeOutputFile::~SafeOutputFile() {
  if (!committed_) Discard();
}

void SafeOutputFile::Discard() noexcept {
  temporary_.file.reset();
  if (temporary_.path.empty()) return;
  std::error_code ignored;
  fs::remove(temporary_.path, ignored);
  temporary_.path.clear();
}

void SafeOutputFile::Reserve(std::uint64_t bytes) {
  if (!ReserveFreeSpace(temporary_.file.get(), folder_, bytes)) DiskFull();
  reserved_ = bytes;
}

void SafeOutputFile::Write(const char* bytes, std::size_t size) {
  if (written_ + size > reserved_) {
    // An output larger than reserved gets its space ahead of its writes too: a file
    // renamed over an earlier one has its unallocated blocks allocated and flushed
    // then, which takes several times as long as writing them. Where the space is
    // not there, the write says so.
    constexpr std::uint64_t kReserveStep = std::uint64_t{64} << 20;
    reserved_ = written_ + size + std::max(kReserveStep, written_ / 4);
    ReserveFileSpace(temporary_.file.get(), reserved_);
  }
  written_ += size;
  if (WriteAll(temporary_.file.get(), bytes, size)) return;
  if (IsDiskFull(errno)) DiskFull();
  throw ConversionError(ErrorNumber::kWriteFailed,
                        "cannot write " + Quoted(targetText_) + ": " + ErrnoMessage(errno));
}

void SafeOutputFile::Fail(const std::string& why) const {
  throw ConversionError(ErrorNumber::kWriteFailed,
                        "cannot replace " + Quoted(targetText_) + ": " + why);
}

void SafeOutputFile::Seal() {
  if (!temporary_.file) return;  // sealed already
  // Space reserved ahead is part of the file until it is cut off.
  if (reserved_ > written_ && !CutToSize(temporary_.file.get(), written_))
    Fail(ErrnoMessage(errno));
  // On the disk before it has a name: a power cut cannot leave it half written.
  if (sync_ && !SyncFileData(temporary_.file.get())) {
    if (IsDiskFull(errno)) DiskFull();
    Fail(ErrnoMessage(errno));
  }
  for (int attempt = 0; attempt < 100 && temporary_.path.empty(); ++attempt) {
    const fs::path name = TemporaryName(folder_);
    if (NameUnnamedFile(temporary_.file.get(), name)) {
      temporary_.path = name;
    } else if (errno != EEXIST) {
      break;
    }
  }
  if (temporary_.path.empty()) Fail(ErrnoMessage(errno));
  if (std::fclose(temporary_.file.release()) != 0) {
    if (IsDiskFull(errno)) DiskFull();
    Fail(ErrnoMessage(errno));
  }
}

bool SafeOutputFile::Commit(const std::function<bool()>& proceed) {
  Seal();
  if (!proceed()) return false;
  const std::error_code error = keepExisting_ ? RenameNotReplacing(temporary_.path, target_)
                                              : RenameReplacing(temporary_.path, target_);
  if (keepExisting_ && error == std::errc::file_exists) throw OutputNameTaken(targetText_);
  if (error) Fail(error.message());
  committed_ = true;
  if (sync_ && !SyncFolder(folder_)) {
    const std::string why = "its folder cannot be flushed to the disk: " + ErrnoMessage(errno);
    throw ConversionError(ErrorNumber::kWriteFailed,
                          Quoted(targetText_) + " is in place, but " + why);
  }
  return true;
}

}  // namespace sorrelin
