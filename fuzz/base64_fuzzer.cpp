// Feeds arbitrary text to the streaming Base64 decoder with every kernel this processor
// runs: whole, in pieces of pseudo-random sizes, one character at a time, and as runs
// taken by FeedRun with the rest fed a character at a time. Every kernel and way must
// give the scalar kernel's bytes for the whole text, or the same fault at the same offset.
// Pieces hold whole UTF-8 characters, as the XML parser hands them over.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorrelin;
  if (size == 0) return 0;
  const std::uint8_t seed = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string whole = testing::Base64Decoded(Base64Kernel::kScalar, text, 0);
  for (const Base64Kernel kernel : AvailableBase64Kernels()) {
    for (const int way : {0, 1, 2, 3}) {
      if (testing::Base64Decoded(kernel, text, way, 100, seed) != whole) std::abort();
    }
  }
  return 0;
}
