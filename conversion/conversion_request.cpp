#include "conversion_request.h"

#include <algorithm>

#include "conversion_error.h"
#include "output/output_path.h"

namespace sorrelin {

std::string OutputPathOf(const ConversionRequest& request) {
  const std::string_view extension = request.format->extension;
  switch (request.output.kind) {
    case OutputPlace::Kind::kFile:
      return request.output.path;
    case OutputPlace::Kind::kFolder: {
      const auto name = PathFromText(OutputPathFor(request.pathText, extension)).filename();
      return PathToText(PathFromText(request.output.path) / name);
    }
    case OutputPlace::Kind::kBesideDocument:
      return OutputPathFor(request.pathText, extension);
    default:
      return {};
  }
}

std::string OutputPathOfSegment(const ConversionRequest& request, std::uint64_t number,
                                std::uint64_t count) {
  std::string path = OutputPathOf(request);
  const std::string digits = std::to_string(number);
  const std::size_t width = std::to_string(count).size();
  const std::string mark =
      ".s" + std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
  path.insert(path.size() - std::min(path.size(), request.format->extension.size()), mark);
  return path;
}

OutputFileRules OutputFileRulesOf(const ConversionRequest& request,
                                  std::optional<FileIdentity> document) {
  return {
      document,     request.otherDocuments,          request.writtenOutputs, request.keepExisting,
      request.sync, request.segment == kEverySegment};
}

std::filesystem::path ScratchFolderOf(const ConversionRequest& request) {
  std::error_code error;
  std::string output;
  try {
    output = OutputPathOf(request);
  } catch (const ConversionError&) {  // no output is made: the conversion says why
  }
  if (output.empty()) {
    auto folder = std::filesystem::temp_directory_path(error);
    if (!error) return folder;
  }
  auto folder = PathFromText(output.empty() ? request.pathText : output).parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

}  // namespace sorrelin
