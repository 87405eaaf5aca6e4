#include "element_selector.h"

namespace sorrelin {

ElementSelector::Node ElementSelector::ChildOf(Node parent, std::string_view name) {
  struct Step {
    Node parent;
    std::string_view name;
    Node child;
  };
  static constexpr std::array<Step, 9> kSteps{{
      {Node::kDocument, "QelvarTamberlinedata", Node::kRoot},
      {Node::kRoot, "Header", Node::kHeader},
      {Node::kHeader, "IQelDigitalResult", Node::kResult},
      {Node::kResult, "BusInfo", Node::kBusInfo},
      {Node::kBusInfo, "NumLines", Node::kNumLines},
      {Node::kResult, "NumSamples", Node::kNumSamples},
      {Node::kRoot, "Data", Node::kData},
      {Node::kData, "Segment", Node::kSegment},
      {Node::kSegment, "BinaryData", Node::kBinaryData},
  }};
  for (const Step& step : kSteps) {
    if (step.parent == parent && step.name == name) return step.child;
  }
  return Node::kOther;
}

ElementSelector::Capture ElementSelector::Start(std::string_view name) {
  ++depth_;
  if (knownDepth_ + 1 != depth_ || knownDepth_ >= kMaxKnownDepth) return capture_;
  const Node node = ChildOf(known_[knownDepth_], name);
  if (node == Node::kOther) return capture_;
  known_[++knownDepth_] = node;
  if (capture_ != Capture::kNone) return capture_;
  if (node == Node::kNumLines && !lineCount_) {
    lineCount_.emplace();
    capture_ = Capture::kLineCount;
  } else if (node == Node::kNumSamples && !sampleCount_) {
    sampleCount_.emplace();
    capture_ = Capture::kSampleCount;
  } else if (node == Node::kBinaryData && !dataFound_) {
    dataFound_ = true;
    capture_ = Capture::kData;
  }
  if (capture_ != Capture::kNone) captureDepth_ = depth_;
  return capture_;
}

bool ElementSelector::End() {
  bool dataEnded = false;
  if (capture_ != Capture::kNone && depth_ == captureDepth_) {
    dataEnded = capture_ == Capture::kData;
    capture_ = Capture::kNone;
  }
  if (knownDepth_ == depth_) --knownDepth_;
  --depth_;
  return dataEnded;
}

void ElementSelector::Text(std::string_view text) {
  if (capture_ == Capture::kLineCount) lineCount_->append(text);
  if (capture_ == Capture::kSampleCount) sampleCount_->append(text);
}

bool ElementSelector::UnreadEntityMatters() const {
  if (capture_ != Capture::kNone) return true;
  if (knownDepth_ == 0 || knownDepth_ != depth_) return false;
  const bool counts = !lineCount_ || !sampleCount_;
  switch (known_[knownDepth_]) {
    case Node::kRoot:
      return counts || !dataFound_;
    case Node::kHeader:
    case Node::kResult:
      return counts;
    case Node::kBusInfo:
      return !lineCount_;
    case Node::kData:
    case Node::kSegment:
      return !dataFound_;
    default:
      return false;
  }
}

}  // namespace sorrelin
