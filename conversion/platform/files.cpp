#include "platform/files.h"

#include <cerrno>

namespace sorrelin {

bool IsDiskFull(int errorNumber) noexcept {
#ifdef EDQUOT
  if (errorNumber == EDQUOT) return true;
#endif
  return errorNumber == ENOSPC;
}

bool ReserveFreeSpace(std::FILE* file, const std::filesystem::path& folder, std::uint64_t bytes) {
  std::error_code error;
  const std::filesystem::space_info space = std::filesystem::space(folder, error);
  return (error || bytes <= space.available) && ReserveFileSpace(file, bytes);
}

std::filesystem::path PathFromText(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string PathToText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace sorrelin
