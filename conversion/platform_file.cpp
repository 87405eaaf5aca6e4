#include "platform_file.h"

#include <string>

namespace sorrelin {

UniqueFile OpenFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return UniqueFile(::_wfopen(path.c_str(), wideMode.c_str()));
#else
  return UniqueFile(std::fopen(path.c_str(), mode));
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
