// The file operations of the core on POSIX systems; Linux adds unnamed temporary
// files, reserved space and the kind of file system.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <string>

#include "platform/files.h"
#include "platform/retry_interrupted.h"
#ifdef __linux__
#include <linux/falloc.h>
#endif

namespace sorrelin {

UniqueFile OpenFile(const std::filesystem::path& path, const char* mode) {
  return UniqueFile(std::fopen(path.c_str(), mode));
}

namespace {

UniqueFile FromDescriptor(int descriptor, const char* mode = "wb") {
  if (descriptor < 0) return nullptr;
  UniqueFile file(::fdopen(descriptor, mode));
  if (!file) ::close(descriptor);
  return file;
}

#ifdef __linux__
std::string DescriptorPath(std::FILE* file) {
  return "/proc/self/fd/" + std::to_string(::fileno(file));
}
#endif

FileIdentity FromStatus(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

// A standard stream open only the other way, as a closed one is opened at start, is
// as good as closed.
UniqueFile DuplicateStandardInput() {
  if ((::fcntl(0, F_GETFL) & O_ACCMODE) == O_WRONLY) return errno = EBADF, nullptr;
  return FromDescriptor(::fcntl(0, F_DUPFD_CLOEXEC, 3), "rb");
}

UniqueFile DuplicateStandardOutput() {
  if ((::fcntl(1, F_GETFL) & O_ACCMODE) == O_RDONLY) return errno = EBADF, nullptr;
  return FromDescriptor(::fcntl(1, F_DUPFD_CLOEXEC, 3));
}

UniqueFile CreateNewFile(const std::filesystem::path& path) {
  return FromDescriptor(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666), "w+b");
}

UniqueFile CreateUnnamedFile(const std::filesystem::path& folder) {
#if defined(__linux__) && defined(O_TMPFILE)
  UniqueFile file =
      FromDescriptor(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666), "w+b");
  // The name is given through /proc; without it the file could never be named.
  if (file && ::access(DescriptorPath(file.get()).c_str(), F_OK) != 0) return nullptr;
  return file;
#else
  (void)folder;
  errno = ENOTSUP;
  return nullptr;
#endif
}

bool NameUnnamedFile(std::FILE* file, const std::filesystem::path& path) {
#ifdef __linux__
  return ::linkat(AT_FDCWD, DescriptorPath(file).c_str(), AT_FDCWD, path.c_str(),
                  AT_SYMLINK_FOLLOW) == 0;
#else
  (void)file;
  (void)path;
  errno = ENOSYS;
  return false;
#endif
}

bool MayWrite(const std::filesystem::path& path) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

void SetPermissions(std::FILE* file, std::filesystem::perms permissions) {
  ::fchmod(::fileno(file), static_cast<mode_t>(permissions) & 07777);
}

void SetPermissions(const std::filesystem::path& path, std::filesystem::perms permissions) {
  ::chmod(path.c_str(), static_cast<mode_t>(permissions) & 07777);
}

std::size_t MaxFileNameLength(const std::filesystem::path&) {
  return std::numeric_limits<std::size_t>::max();
}

std::error_code RenameReplacing(const std::filesystem::path& from,
                                const std::filesystem::path& to) {
  std::error_code error;
  std::filesystem::rename(from, to, error);
  return error;
}

std::error_code RenameNotReplacing(const std::filesystem::path& from,
                                   const std::filesystem::path& to) {
#if defined(__linux__) && defined(RENAME_NOREPLACE)
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return {errno, std::generic_category()};
#endif
  // A new link fails where the name exists; the temporary name then goes.
  if (::link(from.c_str(), to.c_str()) != 0) return {errno, std::generic_category()};
  ::unlink(from.c_str());
  return {};
}

bool SyncFileData(std::FILE* file) {
#ifdef __linux__
  return RetryInterrupted([file] { return ::fdatasync(::fileno(file)); }) == 0;
#else
  return RetryInterrupted([file] { return ::fsync(::fileno(file)); }) == 0;
#endif
}

bool SyncFolder(const std::filesystem::path& folder) {
  const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  // Some file systems cannot sync a folder (EINVAL): their renames are what they are.
  const bool synced = ::fsync(descriptor) == 0 || errno == EINVAL;
  const int error = errno;
  ::close(descriptor);
  errno = error;
  return synced;
}

bool ReserveFileSpace(std::FILE* file, std::uint64_t bytes) {
#ifdef __linux__
  // Reserved blocks also spare the file system allocating them when the file is
  // renamed over an earlier one. Writes within the file's size are cheaper than
  // writes that extend it, so the size is set too.
  if (bytes == 0 || ::fallocate(::fileno(file), 0, 0, static_cast<off_t>(bytes)) == 0) {
    return true;
  }
  return !IsDiskFull(errno);
#else
  (void)file;
  (void)bytes;
  return true;
#endif
}

bool CutToSize(std::FILE* file, std::uint64_t bytes) {
  return RetryInterrupted([&] { return ::ftruncate(::fileno(file), static_cast<off_t>(bytes)); }) ==
         0;
}

bool WriteAll(std::FILE* file, const char* bytes, std::size_t size) {
  const int descriptor = ::fileno(file);
  while (size != 0) {
    const ::ssize_t written = RetryInterrupted([&] { return ::write(descriptor, bytes, size); });
    if (written < 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool ReadAt(std::FILE* file, std::uint64_t offset, char* bytes, std::size_t size) {
  const int descriptor = ::fileno(file);
  while (size != 0) {
    const ::ssize_t got = RetryInterrupted(
        [&] { return ::pread(descriptor, bytes, size, static_cast<off_t>(offset)); });
    if (got <= 0) {
      if (got == 0) errno = EIO;  // the file ends before
      return false;
    }
    bytes += got;
    offset += static_cast<std::uint64_t>(got);
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

void BlockStopSignalsOnThisThread() noexcept {
  sigset_t signals;
  sigfillset(&signals);
  // Sent to the thread that faulted or wrote: they must still reach it.
  for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGPIPE, SIGXFSZ})
    sigdelset(&signals, signal);
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return FromStatus(status);
}

std::optional<FileIdentity> IdentityOf(std::FILE* file) {
  struct stat status {};
  if (::fstat(::fileno(file), &status) != 0) return std::nullopt;
  return FromStatus(status);
}

}  // namespace sorrelin
