#pragma once

#include <cstddef>
#include <cstdint>

namespace sorrelin {

// Values of 0 and 1 kept as bits, eight values to a byte, bit k of a byte holding the
// k-th value: digital lines take an eighth of the room.

// Packs `size` values into (size + 7) / 8 bytes at `bits` when every one is 0 or 1;
// returns whether they were (`bits` is then partly written, and of no use).
bool PackBinaryValues(const std::uint8_t* values, std::size_t size, std::uint8_t* bits) noexcept;

// Writes `size` values from value `first` of `bits` to `to`.
void UnpackBits(const std::uint8_t* bits, std::size_t first, std::size_t size,
                std::uint8_t* to) noexcept;

}  // namespace sorrelin
