#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data_sink.h"

namespace sorrelin {

inline constexpr std::string_view kLineCountPath =
    "QelvarTamberlinedata/Header/IQelDigitalResult/BusInfo/NumLines";
inline constexpr std::string_view kSampleCountPath =
    "QelvarTamberlinedata/Header/IQelDigitalResult/NumSamples";
inline constexpr std::string_view kDataPath = "QelvarTamberlinedata/Data/Segment/BinaryData";

// Picks the first match in document order of each element path from the events of
// a parse: elements starting and ending, text inside them. It keeps the two count
// texts; the data's text is the caller's to decode while Capturing() is kData. The
// data is the first BinaryData of the segment chosen, counting from 1 the segments
// that have one, or of every segment (kEverySegment); it counts them all.
class ElementSelector {
 public:
  enum class Capture : std::uint8_t { kNone, kLineCount, kSampleCount, kData };

  explicit ElementSelector(std::uint64_t segment = 1) : segment_(segment) {}

  // An element starts; returns true when it is the data's.
  bool Start(std::string_view name);
  // The innermost element ends; returns true when it was the data's.
  bool End();
  // Text inside the innermost element; kept when a count is being captured.
  void Text(std::string_view text);
  Capture Capturing() const noexcept { return capture_; }

  // Whether an entity whose text is not read here, standing where the parse is now,
  // could change a value read or hide the first match of an element not found yet.
  bool UnreadEntityMatters() const;

  const std::optional<std::string>& LineCount() const noexcept { return lineCount_; }
  const std::optional<std::string>& SampleCount() const noexcept { return sampleCount_; }
  bool DataFound() const noexcept { return dataFound_; }
  bool EverySegment() const noexcept { return segment_ == kEverySegment; }
  // Segments with a BinaryData so far.
  std::uint64_t Segments() const noexcept { return segments_; }

 private:
  // Elements on the element paths; everything else is kOther.
  enum class Node : std::uint8_t {
    kDocument,
    kRoot,
    kHeader,
    kResult,
    kBusInfo,
    kNumLines,
    kNumSamples,
    kData,
    kSegment,
    kBinaryData,
    kOther,
  };
  struct Step;  // a known element: the one it is in, its name, what it is
  static const Step kSteps[];
  static Node ChildOf(Node parent, std::string_view name);
  static Node ParentOf(Node child);

  std::size_t depth_ = 0;
  std::size_t knownDepth_ = 0;        // open elements that are on a path, from the root
  Node known_ = Node::kDocument;      // the innermost of them
  Capture capture_ = Capture::kNone;  // of the innermost known element, which ends it
  std::optional<std::string> lineCount_;
  std::optional<std::string> sampleCount_;
  bool dataFound_ = false;
  std::uint64_t segment_;        // the one chosen
  std::uint64_t segments_ = 0;   // with a BinaryData so far
  bool segmentHasData_ = false;  // the segment open, if any
};

}  // namespace sorrelin
