#include "conversion_request.h"

#include "output_path.h"

namespace sorrelin {

std::string OutputPathOf(const ConversionRequest& request) {
  const std::string_view extension = ExtensionOf(request.format);
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

}  // namespace sorrelin
