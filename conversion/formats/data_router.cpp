#include "formats/data_router.h"

#include <algorithm>
#include <limits>

namespace sorrelin {

DataRouter::DataRouter(const DataPlan& plan, OutputFormat& format)
    : plan_(plan), format_(format), spans_(plan.chosenLines) {
  constexpr auto kNever = std::numeric_limits<std::uint64_t>::max();
  spans_.push_back({kNever, kNever});
}

void DataRouter::Take(std::span<const std::uint8_t> bytes) {
  const std::uint64_t before = received_;
  received_ += bytes.size();
  if (before >= plan_.needed) return;  // bytes beyond the table, or no table to make
  auto values = bytes.first(
      static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), plan_.needed - before)));
  const std::uint64_t windowEnd = plan_.firstSample + plan_.sampleCount;
  while (!values.empty()) {
    const auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(values.size(), plan_.samples - column_));
    if (LineChosen()) {
      // The part of these values inside the chosen window of samples, maybe none.
      const std::uint64_t end = column_ + n;
      const std::uint64_t from = std::clamp(plan_.firstSample, column_, end);
      const std::uint64_t to = std::clamp(windowEnd, from, end);
      format_.Values(values.subspan(static_cast<std::size_t>(from - column_),
                                    static_cast<std::size_t>(to - from)));
    }
    values = values.subspan(n);
    column_ += n;
    if (column_ == plan_.samples) {
      if (LineChosen()) format_.EndLine();
      column_ = 0;
      ++line_;
      if (line_ == spans_[span_].end) ++span_;
    }
  }
}

std::uint8_t* DataRouter::Room(std::size_t bytes) {
  // Within the table and within the chosen samples of a chosen line.
  const bool inTable = received_ < plan_.needed && plan_.needed - received_ >= bytes;
  const std::uint64_t windowEnd = plan_.firstSample + plan_.sampleCount;
  if (!inTable || !LineChosen() || column_ < plan_.firstSample || column_ >= windowEnd ||
      windowEnd - column_ < bytes) {
    return nullptr;
  }
  return format_.Room(bytes);
}

}  // namespace sorrelin
