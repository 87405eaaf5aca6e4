#include "read/element_selector.h"

namespace sorrelin {

struct ElementSelector::Step {
  Node parent;
  std::string_view name;
  Node child;
};

const ElementSelector::Step ElementSelector::kSteps[] = {
    {Node::kDocument, "QelvarTamberlinedata", Node::kRoot},
    {Node::kRoot, "Header", Node::kHeader},
    {Node::kHeader, "IQelDigitalResult", Node::kResult},
    {Node::kResult, "BusInfo", Node::kBusInfo},
    {Node::kBusInfo, "NumLines", Node::kNumLines},
    {Node::kResult, "NumSamples", Node::kNumSamples},
    {Node::kRoot, "Data", Node::kData},
    {Node::kData, "Segment", Node::kSegment},
    {Node::kSegment, "BinaryData", Node::kBinaryData},
};

ElementSelector::Node ElementSelector::ChildOf(Node parent, std::string_view name) {
  for (const Step& step : kSteps) {
    if (step.parent == parent && step.name == name) return step.child;
  }
  return Node::kOther;
}

ElementSelector::Node ElementSelector::ParentOf(Node child) {
  for (const Step& step : kSteps) {
    if (step.child == child) return step.parent;
  }
  return Node::kDocument;
}

bool ElementSelector::Start(std::string_view name) {
  ++depth_;
  if (knownDepth_ + 1 != depth_) return false;
  const Node node = ChildOf(known_, name);
  if (node == Node::kOther) return false;
  ++knownDepth_;
  known_ = node;
  if (node == Node::kNumLines && !lineCount_) {
    lineCount_.emplace();
    capture_ = Capture::kLineCount;
  } else if (node == Node::kNumSamples && !sampleCount_) {
    sampleCount_.emplace();
    capture_ = Capture::kSampleCount;
  } else if (node == Node::kSegment) {
    segmentHasData_ = false;
  } else if (node == Node::kBinaryData && !segmentHasData_) {
    segmentHasData_ = true;
    if (++segments_ == segment_ || segment_ == kEverySegment) {
      dataFound_ = true;
      capture_ = Capture::kData;
    }
  }
  return capture_ == Capture::kData;
}

bool ElementSelector::End() {
  bool dataEnded = false;
  if (knownDepth_ == depth_) {
    dataEnded = capture_ == Capture::kData;
    capture_ = Capture::kNone;
    --knownDepth_;
    known_ = ParentOf(known_);
  }
  --depth_;
  return dataEnded;
}

void ElementSelector::Text(std::string_view text) {
  if (capture_ == Capture::kLineCount) lineCount_->append(text);
  if (capture_ == Capture::kSampleCount) sampleCount_->append(text);
}

bool ElementSelector::UnreadEntityMatters() const {
  if (capture_ != Capture::kNone) return true;
  if (knownDepth_ != depth_) return false;
  const bool counts = !lineCount_ || !sampleCount_;
  // Every segment is wanted: another could be hidden.
  const bool dataFound = dataFound_ && segment_ != kEverySegment;
  switch (known_) {
    case Node::kRoot:
      return counts || !dataFound;
    case Node::kHeader:
    case Node::kResult:
      return counts;
    case Node::kBusInfo:
      return !lineCount_;
    case Node::kData:
    case Node::kSegment:
      return !dataFound;
    default:
      return false;
  }
}

}  // namespace sorrelin
