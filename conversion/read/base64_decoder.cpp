#include "read/base64_decoder.h"

#include <array>
#include <cstdio>

#include "conversion_error.h"

namespace sorrelin {
namespace {

constexpr std::uint8_t kSpace = 0x40;
constexpr std::uint8_t kPad = 0x41;
constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& entry : table) entry = kInvalid;
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  }
  for (char c : {' ', '\t', '\r', '\n'}) table[static_cast<unsigned char>(c)] = kSpace;
  table['='] = kPad;
  return table;
}

constexpr std::array<std::uint8_t, 256> kTable = MakeTable();

// Bytes in a Base64 run: the alphabet, padding and white space.
bool InRun(unsigned char c) { return kTable[c] != kInvalid; }

std::size_t RunLength(const unsigned char* p, const unsigned char* end) {
  const unsigned char* start = p;
  while (p != end && InRun(*p)) ++p;
  return static_cast<std::size_t>(p - start);
}

// The character at `at` for a message: itself when printable ASCII, else its code.
std::string Describe(const unsigned char* at, const unsigned char* end) {
  const unsigned char c = *at;
  char text[16];
  if (c > 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
  if (c < 0x80) {
    std::snprintf(text, sizeof text, "0x%02X", c);
    return text;
  }
  // The text is UTF-8 and holds whole characters; anything else has no code to show.
  const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
  if (length == 0 || end - at < length) return "(non-ASCII)";
  std::uint32_t code = c & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    if ((at[i] & 0xC0) != 0x80) return "(non-ASCII)";
    code = code << 6 | (at[i] & 0x3F);
  }
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
  return text;
}

}  // namespace

void Base64Decoder::Fail(const std::string& what, std::uint64_t offset) {
  error_ = what + " at offset " + std::to_string(offset);
}

std::size_t Base64Decoder::Decode(std::string_view text, bool runOnly) {
  std::size_t written = 0;
  std::uint8_t* const first = Failed() ? nullptr : output_.AppendSpace(RoomFor(text.size()));
  const std::size_t consumed = DecodeInto(text, runOnly, first, written);
  output_.CommitAppended(written);
  return consumed;
}

std::size_t Base64Decoder::DecodeInto(std::string_view text, bool runOnly, std::uint8_t* first,
                                      std::size_t& written) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = begin + text.size();
  if (Failed()) return runOnly ? RunLength(begin, end) : text.size();
  // A local: stores at `out` may alias members.
  const Base64GroupDecoder decodeGroups = decodeGroups_;
  std::uint8_t* out = first;
  const auto* p = begin;
  const std::uint64_t base = offset_;

  while (p != end) {
    if (pending_ == 0 && !awaitingPad_ && !ended_) {
      if (decodeGroups != nullptr) {
        p += decodeGroups(p, static_cast<std::size_t>(end - p), out);
      }
      while (end - p >= 4) {
        const std::uint32_t a = kTable[p[0]], b = kTable[p[1]], c = kTable[p[2]], d = kTable[p[3]];
        if ((a | b | c | d) & 0xC0) break;
        const std::uint32_t group = a << 18 | b << 12 | c << 6 | d;
        out[0] = static_cast<std::uint8_t>(group >> 16);
        out[1] = static_cast<std::uint8_t>(group >> 8);
        out[2] = static_cast<std::uint8_t>(group);
        out += 3;
        p += 4;
      }
      if (p == end) break;
    }
    if (runOnly && !InRun(*p)) break;
    offset_ = base + static_cast<std::uint64_t>(p - begin);
    FeedOne(p, end, out);
    ++p;
    if (Failed()) {
      if (runOnly) p += RunLength(p, end);
      break;
    }
  }
  written = static_cast<std::size_t>(out - first);
  const auto consumed = static_cast<std::size_t>((Failed() && !runOnly ? end : p) - begin);
  if (!Failed()) offset_ = base + consumed;
  return consumed;
}

void Base64Decoder::FeedOne(const unsigned char* at, const unsigned char* end, std::uint8_t*& out) {
  const unsigned char c = *at;
  const std::uint8_t value = kTable[c];
  if (value == kSpace) return;
  if (value == kInvalid) return Fail("invalid Base64 character " + Describe(at, end), offset_);
  if (ended_) {
    return Fail("Base64 data continues after its padding with " + Describe(at, end), offset_);
  }
  if (awaitingPad_) {
    if (value != kPad) return Fail("padding '=' expected, found " + Describe(at, end), offset_);
    awaitingPad_ = false;
    ended_ = true;
    return;
  }
  if (value == kPad) {
    if (pending_ < 2) return Fail("padding '=' in the wrong place", offset_);
    if (pending_ == 2) {
      *out++ = static_cast<std::uint8_t>(bits_ >> 4);
      awaitingPad_ = true;
    } else {
      *out++ = static_cast<std::uint8_t>(bits_ >> 10);
      *out++ = static_cast<std::uint8_t>(bits_ >> 2);
      ended_ = true;
    }
    pending_ = 0;
    bits_ = 0;
    return;
  }
  bits_ = bits_ << 6 | value;
  if (++pending_ == 4) {
    *out++ = static_cast<std::uint8_t>(bits_ >> 16);
    *out++ = static_cast<std::uint8_t>(bits_ >> 8);
    *out++ = static_cast<std::uint8_t>(bits_);
    pending_ = 0;
    bits_ = 0;
  }
}

void Base64Decoder::Finish() {
  if (Failed()) return;
  if (awaitingPad_) return Fail("padding '=' expected at the end", offset_);
  if (pending_ == 1) return Fail("incomplete Base64 group at the end", offset_);
  // Two or three characters without padding still determine their bytes.
  std::uint8_t* out = output_.AppendSpace(2);
  std::size_t count = 0;
  if (pending_ == 2) {
    out[count++] = static_cast<std::uint8_t>(bits_ >> 4);
  } else if (pending_ == 3) {
    out[count++] = static_cast<std::uint8_t>(bits_ >> 10);
    out[count++] = static_cast<std::uint8_t>(bits_ >> 2);
  }
  output_.CommitAppended(count);
}

}  // namespace sorrelin
