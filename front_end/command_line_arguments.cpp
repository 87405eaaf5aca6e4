#include "command_line_arguments.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// needs windows.h first
#include <shellapi.h>

#include <memory>
#include <string_view>
#endif

namespace sorrelin {

#ifdef _WIN32
namespace {

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

}  // namespace sorrelin
