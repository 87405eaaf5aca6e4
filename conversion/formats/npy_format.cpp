#include "formats/npy_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "formats/format_module.h"

namespace sorrelin {
namespace {

constexpr std::size_t kAlignment = 64;

}  // namespace

NpyFormat::NpyFormat(const DataPlan& plan, OutputStream& out) : plan_(plan), out_(out) {
  std::string dictionary = "{'descr': '|u1', 'fortran_order': False, 'shape': (" +
                           std::to_string(plan.chosenLineCount) + ", " +
                           std::to_string(plan.sampleCount) + "), }";
  // Magic, version and length take 10 bytes; spaces and a line feed end the header.
  const std::size_t size = (10 + dictionary.size() + 1 + kAlignment - 1) / kAlignment * kAlignment;
  dictionary.resize(size - 10 - 1, ' ');
  dictionary += '\n';
  const std::size_t length = dictionary.size();
  header_ = std::string("\x93NUMPY\x01\x00", 8) + static_cast<char>(length & 0xFF) +
            static_cast<char>(length >> 8) + dictionary;
}

std::uint64_t NpyFormat::SmallestSize() const {
  bool overflow = false;
  const std::uint64_t size = CheckedSum(
      header_.size(), CheckedProduct(plan_.chosenLineCount, plan_.sampleCount, overflow), overflow);
  return overflow ? std::numeric_limits<std::uint64_t>::max() : size;
}

std::uint8_t* NpyFormat::Room(std::size_t count) {
  if (!out_.Writing() || count > OutputStream::kLargestRoom) return nullptr;
  return reinterpret_cast<std::uint8_t*>(out_.Room(count));
}

void NpyFormat::Values(std::span<const std::uint8_t> values) {
  if (!out_.Writing()) return out_.Count(values.size());
  while (!values.empty()) {
    const std::size_t n = std::min(values.size(), OutputStream::kLargestRoom);
    char* const room = out_.Room(n);
    // Values decoded into the room are already in place.
    if (room != reinterpret_cast<const char*>(values.data())) std::memmove(room, values.data(), n);
    out_.Wrote(n);
    values = values.subspan(n);
  }
}

extern const FormatModule kNpyFormat{"npy",
                                     ".npy",
                                     "a NumPy array, lines x samples",
                                     "NumPy array",
                                     "output",
                                     false,
                                     false,
                                     {},
                                     [](const DataPlan& plan, OutputStream& out,
                                        const FormatSettings&) -> std::unique_ptr<OutputFormat> {
                                       return std::make_unique<NpyFormat>(plan, out);
                                     }};

}  // namespace sorrelin
