#include "platform_file.h"

#include <string>

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

}  // namespace sorrelin
