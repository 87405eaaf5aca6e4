#include "failure_text.h"

namespace sorrelin {

std::string FailureText(const ConversionResult& result, const std::string& errorWord) {
  switch (result.kind) {
    case ConversionResult::Kind::kLoadFailure:
      return "Error: " + result.text;
    case ConversionResult::Kind::kError:
      return errorWord + " " + std::to_string(result.number) + ": " + result.text;
    default:
      return {};
  }
}

}  // namespace sorrelin
