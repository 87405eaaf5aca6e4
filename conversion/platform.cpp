#include "platform.h"

#include <csignal>
#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <signal.h>
#endif
#ifdef __linux__
#include <fcntl.h>
#include <linux/falloc.h>

#include <cerrno>
#endif

namespace sorrelin {

UniqueFile OpenFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return UniqueFile(::_wfopen(path.c_str(), wideMode.c_str()));
#else
  return UniqueFile(std::fopen(path.c_str(), mode));
#endif
}

bool ReserveFileSpace(std::FILE* file, std::uint64_t bytes) {
#ifdef __linux__
  // Reserved blocks also spare the file system allocating them when the file is
  // renamed over an earlier one.
  if (bytes == 0 ||
      ::fallocate(::fileno(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0) {
    return true;
  }
  return errno != ENOSPC && errno != EDQUOT;
#else
  (void)file;
  (void)bytes;
  return true;
#endif
}

std::filesystem::path PathFromText(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string PathToText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
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
