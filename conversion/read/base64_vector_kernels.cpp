// SSSE3 and AVX2 decoders of whole Base64 groups. Each block of 16 or 32 characters is
// checked against the alphabet and translated to 6-bit values by lookups on its
// nibbles, packed into 24-bit groups by multiply-adds, and shuffled out 3 bytes a group.
// Line breaks between groups are stepped over, at once where lines keep one length.
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
// White space by its low nibble: a character equal to its entry is space, tab, LF or CR.
alignas(16) constexpr std::int8_t kSpaces[16] = {' ', -1,   -1,   -1, -1, -1,   -1, -1,
                                                 -1,  '\t', '\n', -1, -1, '\r', -1, -1};
// What to add to a character to get its value, by its high nibble; '/' takes index 1.
alignas(16) constexpr std::int8_t kShifts[16] = {0, 16, 19, 4, -65, -65, -71, -71,
                                                 0, 0,  0,  0, 0,   0,   0,   0};
// Each 32-bit lane holds a group's 24 bits; its bytes 2, 1, 0 are the output.
alignas(16) constexpr std::int8_t kGroupBytes[16] = {2, 1,  0,  6,  5,  4,  10, 9,
                                                     8, 14, 13, 12, -1, -1, -1, -1};
constexpr int kPairWeights = 0x01400140;  // bytes 64, 1: a * 64 + b
constexpr int kQuadWeights = 0x00011000;  // words 4096, 1: ab * 4096 + cd

// The last line break a kernel stepped over, as it stood in its block of characters:
// whole groups, then white space. Lines of one length put their break at the same place
// in the block that holds it, so a block showing the same groups before white space at
// the same places is taken at once, without the data-dependent steps below.
class RepeatedBreak {
 public:
  bool Matches(unsigned good, unsigned space) const noexcept {
    return (good & taken_) == groups_ && (space & spaces_) == spaces_;
  }
  void Take(std::size_t& done, std::uint8_t*& out) const noexcept {
    done += characters_;
    out += bytes_;
  }
  // `groups` characters of whole groups, then white space up to `characters` in all,
  // ending within a block of `width`.
  void Learn(std::size_t groups, std::size_t characters, std::size_t width) noexcept {
    if (characters >= width) return;
    groups_ = (std::uint64_t{1} << groups) - 1;
    taken_ = (std::uint64_t{1} << characters) - 1;
    spaces_ = taken_ & ~groups_;
    characters_ = characters;
    bytes_ = groups / 4 * 3;
  }

 private:
  std::uint64_t groups_ = 1, taken_ = 0, spaces_ = 1;  // matches nothing until learnt
  std::size_t characters_ = 0, bytes_ = 0;
};

// Where a block of `width` characters that are not all in the alphabet (`good`, a bit
// per character) ends what the kernel takes: after its whole groups before the first
// stranger, and after the white space there when that stands between groups, as line
// breaks do; that break is learnt. Moves `out` past the groups' bytes; false when the
// kernel stops there.
[[gnu::always_inline]] inline bool TakeGroupsBefore(unsigned good, const unsigned char* in,
                                                    std::size_t size, std::size_t width,
                                                    std::size_t& done, std::uint8_t*& out,
                                                    RepeatedBreak& lastBreak) {
  const auto alphabet = static_cast<std::size_t>(std::countr_one(good));
  const std::size_t groups = alphabet & ~std::size_t{3};
  const std::size_t blockStart = done;
  done += groups;
  out += groups / 4 * 3;
  if (groups != alphabet) return false;
  const std::size_t start = done;
  for (; done < size; ++done) {
    const unsigned char c = in[done];
    if (c != '\n' && c != '\r' && c != ' ' && c != '\t') break;
  }
  if (done == start) return false;
  lastBreak.Learn(groups, done - blockStart, width);
  return true;
}

__attribute__((target("ssse3"), always_inline)) inline __m128i Table(const std::int8_t* table) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(table));
}

// Decodes the 16 characters at `in`, writing 16 bytes at `out` of which the first 12
// are theirs; returns which of them are alphabet characters, a bit each.
__attribute__((target("ssse3"), always_inline)) inline unsigned DecodeBlockSsse3(
    const unsigned char* in, std::uint8_t* out) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i high = _mm_and_si128(_mm_srli_epi32(text, 4), nibble);
  const __m128i classes =
      _mm_and_si128(_mm_shuffle_epi8(Table(kLowClasses), _mm_and_si128(text, nibble)),
                    _mm_shuffle_epi8(Table(kHighClasses), high));
  const __m128i index = _mm_add_epi8(high, _mm_cmpeq_epi8(text, _mm_set1_epi8('/')));
  const __m128i values = _mm_add_epi8(text, _mm_shuffle_epi8(Table(kShifts), index));
  const __m128i groups = _mm_madd_epi16(_mm_maddubs_epi16(values, _mm_set1_epi32(kPairWeights)),
                                        _mm_set1_epi32(kQuadWeights));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(groups, Table(kGroupBytes)));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(classes, _mm_setzero_si128())));
}

__attribute__((target("ssse3"), always_inline)) inline unsigned SpacesSsse3(
    const unsigned char* in) {
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_shuffle_epi8(Table(kSpaces), text), text)));
}

// The loop once a block is not all alphabet characters: it steps over line breaks.
__attribute__((target("ssse3"), noinline)) std::size_t DecodeSsse3AmidBreaks(
    const unsigned char* in, std::size_t size, std::uint8_t*& output) {
  std::uint8_t* out = output;  // a local: stores through it cannot change it
  RepeatedBreak lastBreak;
  std::size_t done = 0;
  while (size - done >= 16) {
    const unsigned good = DecodeBlockSsse3(in + done, out);
    if (good == 0xFFFF) {
      done += 16;
      out += 12;
    } else if (lastBreak.Matches(good, SpacesSsse3(in + done))) {
      lastBreak.Take(done, out);
    } else if (!TakeGroupsBefore(good, in, size, 16, done, out, lastBreak)) {
      break;
    }
  }
  output = out;
  return done;
}

__attribute__((target("ssse3"))) std::size_t DecodeSsse3(const unsigned char* in, std::size_t size,
                                                         std::uint8_t*& output) {
  std::uint8_t* out = output;
  std::size_t done = 0;
  for (; size - done >= 16; done += 16, out += 12) {
    if (DecodeBlockSsse3(in + done, out) != 0xFFFF) {
      output = out;
      return done + DecodeSsse3AmidBreaks(in + done, size - done, output);
    }
  }
  output = out;
  return done;
}
#endif

#ifdef SORRELIN_BASE64_AVX2
// A 16-byte table in both halves.
__attribute__((target("avx2"), always_inline)) inline __m256i Broadcast(const std::int8_t* table) {
  return _mm256_broadcastsi128_si256(Table(table));
}

// Decodes the 32 characters at `in`, writing 32 bytes at `out` of which the first 24
// are theirs; returns which of them are alphabet characters, a bit each.
__attribute__((target("avx2"), always_inline)) inline unsigned DecodeBlockAvx2(
    const unsigned char* in, std::uint8_t* out) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  // Each half holds 12 bytes: close the gap between them.
  const __m256i halves = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
  const __m256i high = _mm256_and_si256(_mm256_srli_epi32(text, 4), nibble);
  const __m256i classes =
      _mm256_and_si256(_mm256_shuffle_epi8(Broadcast(kLowClasses), _mm256_and_si256(text, nibble)),
                       _mm256_shuffle_epi8(Broadcast(kHighClasses), high));
  const __m256i index = _mm256_add_epi8(high, _mm256_cmpeq_epi8(text, _mm256_set1_epi8('/')));
  const __m256i values = _mm256_add_epi8(text, _mm256_shuffle_epi8(Broadcast(kShifts), index));
  const __m256i groups =
      _mm256_madd_epi16(_mm256_maddubs_epi16(values, _mm256_set1_epi32(kPairWeights)),
                        _mm256_set1_epi32(kQuadWeights));
  const __m256i bytes =
      _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, Broadcast(kGroupBytes)), halves);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes);
  return static_cast<unsigned>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(classes, _mm256_setzero_si256())));
}

__attribute__((target("avx2"), always_inline)) inline unsigned SpacesAvx2(const unsigned char* in) {
  const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
  return static_cast<unsigned>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(Broadcast(kSpaces), text), text)));
}

// The loop once a block is not all alphabet characters: it steps over line breaks.
__attribute__((target("avx2"), noinline)) std::size_t DecodeAvx2AmidBreaks(const unsigned char* in,
                                                                           std::size_t size,
                                                                           std::uint8_t*& output) {
  std::uint8_t* out = output;  // a local: stores through it cannot change it
  RepeatedBreak lastBreak;
  std::size_t done = 0;
  while (size - done >= 32) {
    const unsigned good = DecodeBlockAvx2(in + done, out);
    if (good == 0xFFFFFFFF) {
      done += 32;
      out += 24;
    } else if (lastBreak.Matches(good, SpacesAvx2(in + done))) {
      lastBreak.Take(done, out);
    } else if (!TakeGroupsBefore(good, in, size, 32, done, out, lastBreak)) {
      break;
    }
  }
  output = out;
  _mm256_zeroupper();  // whatever the optimiser does: SSE code runs next
  return done;
}

__attribute__((target("avx2"))) std::size_t DecodeAvx2(const unsigned char* in, std::size_t size,
                                                       std::uint8_t*& output) {
  std::uint8_t* out = output;
  std::size_t done = 0;
  for (; size - done >= 32; done += 32, out += 24) {
    if (DecodeBlockAvx2(in + done, out) != 0xFFFFFFFF) {
      output = out;
      return done + DecodeAvx2AmidBreaks(in + done, size - done, output);
    }
  }
  output = out;
  _mm256_zeroupper();
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
