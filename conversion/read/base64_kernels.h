#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sorrelin {

// The ways Base64Decoder decodes long stretches of alphabet characters. The best one
// this processor runs is chosen at start; the scalar one is always available.
enum class Base64Kernel { kScalar, kSsse3, kAvx2 };

// The kernels this processor runs, scalar first.
std::vector<Base64Kernel> AvailableBase64Kernels();
// Every decoder uses `kernel` from now on; false, and no change, when it is not available.
bool UseBase64Kernel(Base64Kernel kernel);
Base64Kernel CurrentBase64Kernel();
std::string_view Base64KernelName(Base64Kernel kernel);

// Decodes the leading whole groups of `in` made only of the 64 alphabet characters,
// with white space between groups, in blocks of the kernel's width, and returns how
// many characters it took (possibly 0), ending after a whole group or white space.
// Writes their bytes at `out`, which it moves past them, and may scribble up to
// kBase64KernelSlack bytes beyond.
using Base64GroupDecoder = std::size_t (*)(const unsigned char* in, std::size_t size,
                                           std::uint8_t*& out);
inline constexpr std::size_t kBase64KernelSlack = 32;
// The current kernel's decoder; null for the scalar kernel.
Base64GroupDecoder CurrentBase64GroupDecoder();

// The decoder of a vector kernel when this build has it and this processor runs it,
// else null.
Base64GroupDecoder VectorBase64Decoder(Base64Kernel kernel);

}  // namespace sorrelin
