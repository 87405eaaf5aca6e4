#include "output/output_path.h"

#include <algorithm>
#include <cctype>

#include "conversion_error.h"

namespace sorrelin {
namespace {

constexpr std::string_view kInputExtension = ".XMLdig";

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

}  // namespace

std::string OutputPathFor(std::string_view inputPath, std::string_view extension) {
  if (inputPath.empty()) {
    throw ConversionError(ErrorNumber::kInvalidOutputPath,
                          "no output path: the input path is empty");
  }
  std::string_view stem = inputPath;
  if (EndsWithIgnoringCase(inputPath, kInputExtension)) stem.remove_suffix(kInputExtension.size());
  return std::string(stem) + std::string(extension);
}

}  // namespace sorrelin
