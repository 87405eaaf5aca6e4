#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

namespace sorrelin {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file by its path (wide names on Windows); null with errno set on failure.
UniqueFile OpenFile(const std::filesystem::path& path, const char* mode);

// Creates a new file for writing, failing (EEXIST) when the name exists; null with
// errno set on failure.
UniqueFile CreateNewFile(const std::filesystem::path& path);

// Creates a file without a name in `folder`, for writing, where the system and the
// file system can (Linux: O_TMPFILE); such a file vanishes if the process dies.
// Null elsewhere.
UniqueFile CreateUnnamedFile(const std::filesystem::path& folder);

// Gives a file made by CreateUnnamedFile the name `path`, which must not exist.
// False with errno set on failure.
bool NameUnnamedFile(std::FILE* file, const std::filesystem::path& path);

// Whether this user may write the existing file at `path` (asked of the system, the
// file is not opened); false with errno set when not.
bool MayWrite(const std::filesystem::path& path);

// Sets the permission bits of an open file, where the system has them.
void SetPermissions(std::FILE* file, std::filesystem::perms permissions);

// The longest file name that the file system of the folder of `path` allows, in the
// units of path::native(). Unlimited where the system's own calls refuse longer names
// (ENAMETOOLONG) or the folder cannot be opened; on Windows they report such a name
// as not found.
std::size_t MaxFileNameLength(const std::filesystem::path& path);

// Renames `from` to `to` in one step, replacing a file there. The error names the
// system's own cause (std::filesystem reports most failures on Windows as EIO).
std::error_code RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Reserves disk space for the first `bytes` bytes of an open file without changing
// its size, where the file system can. Returns false only when the disk (or quota)
// is too full; where reserving is not supported it does nothing.
bool ReserveFileSpace(std::FILE* file, std::uint64_t bytes);

// Whether a failed write's errno says the disk or the user's quota is full.
bool IsDiskFull(int errorNumber) noexcept;

// The path that a path text names; the text is UTF-8.
std::filesystem::path PathFromText(std::string_view text);

// The text of a path as UTF-8, for messages.
std::string PathToText(const std::filesystem::path& path);

// The program's arguments after its name, as UTF-8. On Windows they are read from
// the wide command line: argv holds them in the ANSI code page.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Catches the interrupt signals (SIGINT, SIGTERM and, where they exist, SIGHUP) so
// that a conversion can discard its table before the process ends, and ignores
// SIGXFSZ so that a file-size limit fails the write instead of killing the process.
// Signals ignored when the program started stay ignored.
void CatchInterruptSignals();

// The interrupt signal caught since CatchInterruptSignals, or 0.
int CaughtInterruptSignal() noexcept;

// Ends the process as the signal would have ended it (exit status 128 + signal).
[[noreturn]] void EndAsSignalled(int signal);

}  // namespace sorrelin

namespace sorrelin {

// Whether the stream is a terminal (a console on Windows).
bool IsTerminal(std::FILE* stream) noexcept;

}  // namespace sorrelin
