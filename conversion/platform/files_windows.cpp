// The file operations of the core on Windows: wide names, MoveFileEx, the volume's
// own limit on name length.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <limits>
#include <string>

#include "platform/files.h"

namespace sorrelin {
namespace {

struct HandleClose {
  void operator()(HANDLE handle) const noexcept {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleClose>;

std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

}  // namespace

UniqueFile OpenFile(const std::filesystem::path& path, const char* mode) {
  std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return UniqueFile(::_wfopen(path.c_str(), wideMode.c_str()));
}

namespace {

UniqueFile DuplicateBinary(int descriptor, const char* mode) {
  const int copy = ::_dup(descriptor);
  if (copy < 0) return nullptr;
  ::_setmode(copy, _O_BINARY);
  UniqueFile file(::_fdopen(copy, mode));
  if (!file) ::_close(copy);
  return file;
}

}  // namespace

UniqueFile DuplicateStandardInput() { return DuplicateBinary(0, "rb"); }

UniqueFile DuplicateStandardOutput() { return DuplicateBinary(1, "wb"); }

UniqueFile CreateNewFile(const std::filesystem::path& path) {
  const int descriptor =
      ::_wopen(path.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (descriptor < 0) return nullptr;
  UniqueFile file(::_fdopen(descriptor, "w+b"));
  if (!file) ::_close(descriptor);
  return file;
}

UniqueFile CreateUnnamedFile(const std::filesystem::path&) {
  errno = ENOSYS;
  return nullptr;
}

bool NameUnnamedFile(std::FILE*, const std::filesystem::path&) {
  errno = ENOSYS;
  return false;
}

bool MayWrite(const std::filesystem::path& path) { return ::_waccess(path.c_str(), 2) == 0; }

void SetPermissions(std::FILE*, std::filesystem::perms) {}
void SetPermissions(const std::filesystem::path&, std::filesystem::perms) {}

std::size_t MaxFileNameLength(const std::filesystem::path& path) {
  // The folder's own volume: a folder may be a mount point of another file system.
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  const UniqueHandle handle(
      ::CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  DWORD longest = 0;
  if (handle.get() != INVALID_HANDLE_VALUE &&
      ::GetVolumeInformationByHandleW(handle.get(), nullptr, 0, nullptr, &longest, nullptr, nullptr,
                                      0)) {
    return longest;
  }
  return std::numeric_limits<std::size_t>::max();
}

std::error_code RenameReplacing(const std::filesystem::path& from,
                                const std::filesystem::path& to) {
  std::error_code error;
  if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error.assign(static_cast<int>(::GetLastError()), std::system_category());
  }
  return error;
}

std::error_code RenameNotReplacing(const std::filesystem::path& from,
                                   const std::filesystem::path& to) {
  if (::MoveFileExW(from.c_str(), to.c_str(), 0)) return {};
  const DWORD error = ::GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
    return std::make_error_code(std::errc::file_exists);
  return {static_cast<int>(error), std::system_category()};
}

bool SyncFileData(std::FILE* file) {
  if (::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file))))) return true;
  errno = EIO;
  return false;
}

// Windows cannot flush a folder; NTFS keeps a rename in its journal.
bool SyncFolder(const std::filesystem::path&) { return true; }

bool ReserveFileSpace(std::FILE*, std::uint64_t) { return true; }

bool CutToSize(std::FILE*, std::uint64_t) { return true; }  // nothing is reserved

bool WriteAll(std::FILE* file, const char* bytes, std::size_t size) {
  return size == 0 || std::fwrite(bytes, 1, size, file) == size;
}

bool ReadAt(std::FILE* file, std::uint64_t offset, char* bytes, std::size_t size) {
  if (::_fseeki64(file, static_cast<__int64>(offset), SEEK_SET) != 0) return false;
  if (std::fread(bytes, 1, size, file) == size) return true;
  if (!std::ferror(file)) errno = EIO;  // the file ends before
  return false;
}

void BlockStopSignalsOnThisThread() noexcept {}  // a console stop runs a thread of its own

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
  const UniqueHandle handle(
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (handle.get() == INVALID_HANDLE_VALUE) return std::nullopt;
  return IdentityOfHandle(handle.get());
}

std::optional<FileIdentity> IdentityOf(std::FILE* file) {
  return IdentityOfHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file))));
}

}  // namespace sorrelin
