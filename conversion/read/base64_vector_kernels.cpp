// SSSE3 and AVX2 decoders of whole Base64 groups. Each block of 16 or 32 characters is
// checked against the alphabet and translated to 6-bit values by lookups on its
// nibbles, packed into 24-bit groups by multiply-adds, and shuffled out 3 bytes a group.
// The rest of the build stays baseline x86-64: only these functions use the extensions,
// and only after the processor said it has them.
#include "read/base64_kernels.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define SORRELIN_BASE64_SSSE3 1
#include <immintrin.h>

#include <bit>
// GCC cannot align 32-byte stack slots on Windows, which unoptimised code spills to.
#if !defined(_WIN32) || defined(__OPTIMIZE__)
#define SORRELIN_BASE64_AVX2 1
#endif
#endif

namespace sorrelin {
namespace {

#ifdef SORRELIN_BASE64_SSSE3
// A byte is an alphabet character exactly when the class bits of its low nibble and of
// its high nibble have none in common. Bit 0 rules out in 0x2_, bit 1 in 0x3_, bit 2 in
// 0x5_ and 0x7_, bit 3 in 0x4_ and 0x6_, bit 4 everywhere else (controls, 0x80 and up).
alignas(16) constexpr std::int8_t kLowClasses[16] = {
    0x19, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x16, 0x17, 0x17, 0x17, 0x16};
alignas(16) constexpr std::int8_t kHighClasses[16] = {
    0x10, 0x10, 0x01, 0x02, 0x08, 0x04, 0x08, 0x04, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10};
// What to add to a character to get its value, by its high nibble; '/' takes index 1.
alignas(16) constexpr std::int8_t kShifts[16] = {0, 16, 19, 4, -65, -65, -71, -71,
                                                 0, 0,  0,  0, 0,   0,   0,   0};
// Each 32-bit lane holds a group's 24 bits; its bytes 2, 1, 0 are the output.
alignas(16) constexpr std::int8_t kGroupBytes[16] = {2, 1,  0,  6,  5,  4,  10, 9,
                                                     8, 14, 13, 12, -1, -1, -1, -1};
constexpr int kPairWeights = 0x01400140;  // bytes 64, 1: a * 64 + b
constexpr int kQuadWeights = 0x00011000;  // words 4096, 1: ab * 4096 + cd

// Where a block whose characters are not all in the alphabet (`good`, a bit per
// character) ends what the kernel takes: after its whole groups before the first
// stranger, and after the white space there when that stands between groups, as line
// breaks do. Moves `out` past the groups' bytes; false when the kernel stops there.
bool TakeGroupsBefore(unsigned good, const unsigned char* in, std::size_t size, std::size_t& done,
                      std::uint8_t*& out) {
  const auto alphabet = static_cast<std::size_t>(std::countr_one(good));
  const std::size_t groups = alphabet & ~std::size_t{3};
  done += groups;
  out += groups / 4 * 3;
  if (groups != alphabet) return false;
  const std::size_t start = done;
  for (; done < size; ++done) {
    const unsigned char c = in[done];
    if (c != '\n' && c != '\r' && c != ' ' && c != '\t') break;
  }
  return done != start;
}

__attribute__((target("ssse3"), always_inline)) inline __m128i Table(const std::int8_t* table) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(table));
}

__attribute__((target("ssse3"))) std::size_t DecodeSsse3(const unsigned char* in, std::size_t size,
                                                         std::uint8_t*& out) {
  const __m128i lowClasses = Table(kLowClasses), highClasses = Table(kHighClasses);
  const __m128i shifts = Table(kShifts), groupBytes = Table(kGroupBytes);
  const __m128i nibble = _mm_set1_epi8(0x0F), slash = _mm_set1_epi8('/');
  const __m128i pairWeights = _mm_set1_epi32(kPairWeights);
  const __m128i quadWeights = _mm_set1_epi32(kQuadWeights);
  std::size_t done = 0;
  while (size - done >= 16) {
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
    const __m128i high = _mm_and_si128(_mm_srli_epi32(text, 4), nibble);
    const __m128i classes = _mm_and_si128(_mm_shuffle_epi8(lowClasses, _mm_and_si128(text, nibble)),
                                          _mm_shuffle_epi8(highClasses, high));
    const auto good =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(classes, _mm_setzero_si128())));
    const __m128i index = _mm_add_epi8(high, _mm_cmpeq_epi8(text, slash));
    const __m128i values = _mm_add_epi8(text, _mm_shuffle_epi8(shifts, index));
    const __m128i groups = _mm_madd_epi16(_mm_maddubs_epi16(values, pairWeights), quadWeights);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(groups, groupBytes));
    if (good == 0xFFFF) {
      done += 16;
      out += 12;
    } else if (!TakeGroupsBefore(good, in, size, done, out)) {
      break;
    }
  }
  return done;
}
#endif

#ifdef SORRELIN_BASE64_AVX2
// A 16-byte table in both halves.
__attribute__((target("avx2"), always_inline)) inline __m256i Broadcast(const std::int8_t* table) {
  return _mm256_broadcastsi128_si256(Table(table));
}

__attribute__((target("avx2"))) std::size_t DecodeAvx2(const unsigned char* in, std::size_t size,
                                                       std::uint8_t*& out) {
  const __m256i lowClasses = Broadcast(kLowClasses), highClasses = Broadcast(kHighClasses);
  const __m256i shifts = Broadcast(kShifts), groupBytes = Broadcast(kGroupBytes);
  const __m256i nibble = _mm256_set1_epi8(0x0F), slash = _mm256_set1_epi8('/');
  const __m256i pairWeights = _mm256_set1_epi32(kPairWeights);
  const __m256i quadWeights = _mm256_set1_epi32(kQuadWeights);
  // Each half holds 12 bytes: close the gap between them.
  const __m256i halves = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  std::size_t done = 0;
  while (size - done >= 32) {
    const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
    const __m256i high = _mm256_and_si256(_mm256_srli_epi32(text, 4), nibble);
    const __m256i classes =
        _mm256_and_si256(_mm256_shuffle_epi8(lowClasses, _mm256_and_si256(text, nibble)),
                         _mm256_shuffle_epi8(highClasses, high));
    const auto good = static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(classes, _mm256_setzero_si256())));
    const __m256i index = _mm256_add_epi8(high, _mm256_cmpeq_epi8(text, slash));
    const __m256i values = _mm256_add_epi8(text, _mm256_shuffle_epi8(shifts, index));
    const __m256i groups =
        _mm256_madd_epi16(_mm256_maddubs_epi16(values, pairWeights), quadWeights);
    const __m256i bytes =
        _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, groupBytes), halves);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes);
    if (good == 0xFFFFFFFF) {
      done += 32;
      out += 24;
    } else if (!TakeGroupsBefore(good, in, size, done, out)) {
      break;
    }
  }
  return done;
}
#endif

}  // namespace

Base64GroupDecoder VectorBase64Decoder(Base64Kernel kernel) {
#ifdef SORRELIN_BASE64_SSSE3
  if (kernel == Base64Kernel::kSsse3 && __builtin_cpu_supports("ssse3")) return DecodeSsse3;
#endif
#ifdef SORRELIN_BASE64_AVX2
  if (kernel == Base64Kernel::kAvx2 && __builtin_cpu_supports("avx2")) return DecodeAvx2;
#endif
  static_cast<void>(kernel);
  return nullptr;
}

}  // namespace sorrelin
