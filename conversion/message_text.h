#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace sorrelin {

// Pieces of the texts that errors show.

inline std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.append(1, '"').append(text).append(1, '"');
  return quoted;
}

// The system's words for an errno value.
inline std::string ErrnoMessage(int errorNumber) {
  return std::error_code(errorNumber, std::generic_category()).message();
}

}  // namespace sorrelin
