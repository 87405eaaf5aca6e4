// Values of 0 and 1 packed eight to a byte and unpacked from any value on, through the
// vector loops and their scalar ends; another value anywhere refuses the packing.
#include "formats/bit_packing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace sorrelin {
namespace {

TEST(BitPacking, RoundTripsAndRefusesOtherValues) {
  for (const std::size_t size : {0, 1, 8, 15, 16, 17, 31, 32, 33, 100, 4099}) {
    std::vector<std::uint8_t> values(size);
    for (std::size_t i = 0; i < size; ++i) values[i] = (i * 7 + i / 3) % 5 < 2;
    std::vector<std::uint8_t> bits((size + 7) / 8);
    ASSERT_TRUE(PackBinaryValues(values.data(), size, bits.data())) << size;
    for (const std::size_t first : {0, 1, 5, 8, 13}) {
      if (first > size) continue;
      std::vector<std::uint8_t> back(size - first + 1, 7);  // the last stays as it is
      UnpackBits(bits.data(), first, size - first, back.data());
      EXPECT_TRUE(std::equal(values.begin() + first, values.end(), back.begin())) << size << first;
      EXPECT_EQ(back.back(), 7) << size << first;
    }
    for (const std::uint8_t other : {2, 0x81, 0xFE}) {
      for (const std::size_t at : {std::size_t{0}, size / 2, size - 1}) {
        if (size == 0) continue;
        std::vector<std::uint8_t> bad = values;
        bad[at] = other;
        EXPECT_FALSE(PackBinaryValues(bad.data(), size, bits.data())) << size << at << other;
      }
    }
  }
}

}  // namespace
}  // namespace sorrelin
