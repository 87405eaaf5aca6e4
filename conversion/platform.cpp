#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <limits>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// needs windows.h first
#include <shellapi.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/falloc.h>
#endif

namespace sorrelin {

#ifdef _WIN32
namespace {

struct HandleClose {
  void operator()(HANDLE handle) const noexcept { ::CloseHandle(handle); }
};

struct LocalMemoryFree {
  void operator()(wchar_t** memory) const noexcept { ::LocalFree(memory); }
};

std::string Utf8FromWide(std::wstring_view text) {
  const int length = static_cast<int>(text.size());
  std::string utf8(
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), static_cast<int>(utf8.size()),
                        nullptr, nullptr);
  return utf8;
}

}  // namespace
#endif

UniqueFile OpenFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return UniqueFile(::_wfopen(path.c_str(), wideMode.c_str()));
#else
  return UniqueFile(std::fopen(path.c_str(), mode));
#endif
}

UniqueFile CreateNewFile(const std::filesystem::path& path) {
#ifdef _WIN32
  const int descriptor =
      ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (descriptor < 0) return nullptr;
  UniqueFile file(::_fdopen(descriptor, "wb"));
  if (!file) ::_close(descriptor);
#else
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  UniqueFile file(::fdopen(descriptor, "wb"));
  if (!file) ::close(descriptor);
#endif
  return file;
}

#ifdef __linux__
namespace {

std::string DescriptorPath(std::FILE* file) {
  return "/proc/self/fd/" + std::to_string(::fileno(file));
}

}  // namespace
#endif

UniqueFile CreateUnnamedFile(const std::filesystem::path& folder) {
#if defined(__linux__) && defined(O_TMPFILE)
  const int descriptor = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  UniqueFile file(::fdopen(descriptor, "wb"));
  if (!file) {
    ::close(descriptor);
    return nullptr;
  }
  // The name is given through /proc; without it the file could never be named.
  if (::access(DescriptorPath(file.get()).c_str(), F_OK) != 0) return nullptr;
  return file;
#else
  (void)folder;
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
#ifdef _WIN32
  return ::_waccess(path.c_str(), 2) == 0;
#else
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
#endif
}

void SetPermissions(std::FILE* file, std::filesystem::perms permissions) {
#ifdef _WIN32
  (void)file;
  (void)permissions;
#else
  ::fchmod(::fileno(file), static_cast<mode_t>(permissions) & 07777);
#endif
}

std::size_t MaxFileNameLength(const std::filesystem::path& path) {
#ifdef _WIN32
  // The folder's own volume: a folder may be a mount point of another file system.
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  const HANDLE handle =
      ::CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    const std::unique_ptr<void, HandleClose> folderHandle(handle);
    DWORD longest = 0;
    if (::GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, &longest, nullptr, nullptr,
                                        0)) {
      return longest;
    }
  }
#else
  (void)path;
#endif
  return std::numeric_limits<std::size_t>::max();
}

std::error_code RenameReplacing(const std::filesystem::path& from,
                                const std::filesystem::path& to) {
  std::error_code error;
#ifdef _WIN32
  if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error.assign(static_cast<int>(::GetLastError()), std::system_category());
  }
#else
  std::filesystem::rename(from, to, error);
#endif
  return error;
}

bool ReserveFileSpace(std::FILE* file, std::uint64_t bytes) {
#ifdef __linux__
  // Reserved blocks also spare the file system allocating them when the file is
  // renamed over an earlier one.
  if (bytes == 0 ||
      ::fallocate(::fileno(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0) {
    return true;
  }
  return !IsDiskFull(errno);
#else
  (void)file;
  (void)bytes;
  return true;
#endif
}

bool IsDiskFull(int errorNumber) noexcept {
#ifdef EDQUOT
  if (errorNumber == EDQUOT) return true;
#endif
  return errorNumber == ENOSPC;
}

std::filesystem::path PathFromText(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string PathToText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  const std::unique_ptr<wchar_t*[], LocalMemoryFree> wide(
      ::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (wide) {
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
    return arguments;
  }
#endif
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

namespace {

volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void RememberSignal(int signal) { caughtSignal = signal; }

}  // namespace

void CatchInterruptSignals() {
#ifdef _WIN32
  for (int signal : {SIGINT, SIGTERM, SIGBREAK}) std::signal(signal, &RememberSignal);
#else
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    if (::sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
    action.sa_handler = &RememberSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
  }
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

int CaughtInterruptSignal() noexcept { return caughtSignal; }

void EndAsSignalled(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);
}

}  // namespace sorrelin

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace sorrelin {

bool IsTerminal(std::FILE* stream) noexcept {
#ifdef _WIN32
  return ::_isatty(::_fileno(stream)) != 0;
#else
  return ::isatty(::fileno(stream)) != 0;
#endif
}

}  // namespace sorrelin
