#include "outcome.h"

namespace sorrelin {

void Outcome::Keep(Stage stage, ConversionResult result) {
  if (first_ && first_->stage <= stage) return;
  first_ = Fault{stage, std::move(result)};
}

void Outcome::Report(Stage stage, const ConversionError& error) {
  Keep(stage, {ConversionResult::Kind::kError, error.Number(), error.what(), {}});
}

void Outcome::ReportLoadFailure(const std::string& reason) {
  Keep(Stage::kLoad, {ConversionResult::Kind::kLoadFailure, 0, reason, {}});
}

void Outcome::ReportSkipped(const std::string& outputPath) {
  Keep(Stage::kPlacing, {ConversionResult::Kind::kSkipped, 0, outputPath, {}});
}

void Outcome::Include(const Outcome& part, const std::string& prefix) {
  if (!part.first_) return;
  ConversionResult result = part.first_->result;
  if (result.kind != ConversionResult::Kind::kSkipped) result.text = prefix + result.text;
  Keep(part.first_->stage, std::move(result));
}

ConversionResult Outcome::Result() const { return first_ ? first_->result : ConversionResult{}; }

}  // namespace sorrelin
