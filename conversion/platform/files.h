#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace sorrelin {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file by its path (wide names on Windows); null with errno set on failure.
UniqueFile OpenFile(const std::filesystem::path& path, const char* mode);

// The standard input as a binary stream of its own; null with errno set on failure.
UniqueFile DuplicateStandardInput();

// The standard output as a binary stream of its own; null with errno set on failure.
UniqueFile DuplicateStandardOutput();

// Creates a new file for reading and writing, failing (EEXIST) when the name exists;
// null with errno set on failure.
UniqueFile CreateNewFile(const std::filesystem::path& path);

// Creates a file without a name in `folder`, for reading and writing, where the
// system and the file system can (Linux: O_TMPFILE); such a file vanishes if the
// process dies.
// Null elsewhere, with errno set when the system refused one it supports.
UniqueFile CreateUnnamedFile(const std::filesystem::path& folder);

// Gives a file made by CreateUnnamedFile the name `path`, which must not exist.
// False with errno set on failure.
bool NameUnnamedFile(std::FILE* file, const std::filesystem::path& path);

// Whether this user may write the existing file at `path` (asked of the system, the
// file is not opened); false with errno set when not.
bool MayWrite(const std::filesystem::path& path);

// Sets the permission bits of an open file, or of a file by its path, where the system
// has them.
void SetPermissions(std::FILE* file, std::filesystem::perms permissions);
void SetPermissions(const std::filesystem::path& path, std::filesystem::perms permissions);

// The longest file name that the file system of the folder of `path` allows, in the
// units of path::native(). Unlimited where the system's own calls refuse longer names
// (ENAMETOOLONG) or the folder cannot be opened; on Windows they report such a name
// as not found.
std::size_t MaxFileNameLength(const std::filesystem::path& path);

// Renames `from` to `to` in one step, replacing a file there. The error names the
// system's own cause (std::filesystem reports most failures on Windows as EIO).
std::error_code RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Renames `from` to `to` in one step unless `to` exists: then nothing changes and the
// error is std::errc::file_exists.
std::error_code RenameNotReplacing(const std::filesystem::path& from,
                                   const std::filesystem::path& to);

// Writes an open file's data, and what is needed to read it back, to the disk; false
// with errno set on failure.
bool SyncFileData(std::FILE* file);
// Writes a folder's entries to the disk, where the system can; false with errno set
// on failure.
bool SyncFolder(const std::filesystem::path& folder);

// Reserves disk space for the first `bytes` bytes of an open file, where the file
// system can; the file grows to that size if it was smaller, to be cut back to what
// was written by CutToSize. Returns false only when the disk (or quota) is too full;
// where reserving is not supported it does nothing.
bool ReserveFileSpace(std::FILE* file, std::uint64_t bytes);
// Reserves `bytes` for an open file in `folder` as ReserveFileSpace does, refusing
// them at once where the folder's disk has less free space than that. False when the
// disk (or quota) is too full.
bool ReserveFreeSpace(std::FILE* file, const std::filesystem::path& folder, std::uint64_t bytes);
// Cuts an open file to its first `bytes` bytes, giving back the space reserved past
// them. False, with errno, where it could not be cut.
bool CutToSize(std::FILE* file, std::uint64_t bytes);

// Writes all of `size` bytes to a file opened unbuffered, going on after interrupted
// writes; false with errno set on failure.
bool WriteAll(std::FILE* file, const char* bytes, std::size_t size);

// Reads `size` bytes at `offset` of a file that WriteAll wrote, going on after short
// and interrupted reads; false with errno set on failure or when the file ends first.
bool ReadAt(std::FILE* file, std::uint64_t offset, char* bytes, std::size_t size);

// Blocks every signal sent to the process as a whole (SIGINT, SIGTERM, SIGHUP and the
// like) on the calling thread, so that the thread that runs a conversion handles them;
// signals a thread's own faults or writes raise are left alone. Nothing on Windows.
void BlockStopSignalsOnThisThread() noexcept;

// Whether an errno value says the disk or the user's quota is full.
bool IsDiskFull(int errorNumber) noexcept;

// What tells one file from every other while both exist: the device and file number
// (POSIX), the volume and file index (Windows).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
// The identity of the file that `path` names (links followed), if it exists.
std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);
// The identity of an open file.
std::optional<FileIdentity> IdentityOf(std::FILE* file);

// The path that a path text names; the text is UTF-8.
std::filesystem::path PathFromText(std::string_view text);

// The text of a path as UTF-8, for messages.
std::string PathToText(const std::filesystem::path& path);

}  // namespace sorrelin
