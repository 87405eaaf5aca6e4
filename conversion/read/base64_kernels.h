#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace sorrelin {

// The ways Base64Decoder decodes long stretches of alphabet characters. Each decoder
// is given its kernel; the scalar one is always available.
enum class Base64Kernel { kScalar, kSsse3, kAvx2 };

// The kernels this processor runs, scalar first, the best last.
std::vector<Base64Kernel> AvailableBase64Kernels();
// The best kernel this processor runs, found at the first call.
Base64Kernel BestBase64Kernel();
std::string_view Base64KernelName(Base64Kernel kernel);

// Decodes the leading whole groups of `in` made only of the 64 alphabet characters,
// with white space between groups, in blocks of the kernel's width, and returns how
// many characters it took (possibly 0), ending after a whole group or white space.
// Writes their bytes at `out`, which it moves past them, and may scribble up to
// kBase64KernelSlack bytes beyond.
using Base64GroupDecoder = std::size_t (*)(const unsigned char* in, std::size_t size,
                                           std::uint8_t*& out);
inline constexpr std::size_t kBase64KernelSlack = 32;

// The decoder of a vector kernel when this build has it and this processor runs it,
// else null (always for the scalar kernel).
Base64GroupDecoder VectorBase64Decoder(Base64Kernel kernel);

}  // namespace sorrelin
