#include "conversion_request.h"

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

OutputFileRules OutputFileRulesOf(const ConversionRequest& request,
                                  std::optional<FileIdentity> document) {
  return {document, request.otherDocuments, request.writtenOutputs, request.keepExisting,
          request.sync};
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
