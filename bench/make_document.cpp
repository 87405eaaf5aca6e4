// Writes a digital waveform document of L lines x S samples of random 0/1 bytes,
// Base64 in 76-column CRLF lines as MIME writers do, in SEGMENTS segments of them (1
// unless told). Deterministic for a seed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: make_document LINES SAMPLES OUTPUT [SEED [SEGMENTS]]\n");
    return 2;
  }
  const std::uint64_t lines = std::strtoull(argv[1], nullptr, 10);
  const std::uint64_t samples = std::strtoull(argv[2], nullptr, 10);
  std::FILE* out = std::fopen(argv[3], "wb");
  if (!out) {
    std::perror(argv[3]);
    return 1;
  }
  std::mt19937_64 random(argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1);
  const std::uint64_t segments = argc > 5 ? std::strtoull(argv[5], nullptr, 10) : 1;
  std::fprintf(
      out,
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<QelvarTamberlinedata version=\"1.0\">\r\n"
      "  <Header>\r\n    <IQelDigitalResult>\r\n      <BusInfo>\r\n"
      "        <NumLines>%llu</NumLines>\r\n      </BusInfo>\r\n"
      "      <NumSamples>%llu</NumSamples>\r\n    </IQelDigitalResult>\r\n  </Header>\r\n"
      "  <Data>\r\n",
      static_cast<unsigned long long>(lines), static_cast<unsigned long long>(samples));

  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::uint64_t total = lines * samples;
  std::vector<char> text;
  text.reserve(1 << 20);
  std::uint64_t bits = 0;
  int bitsLeft = 0;
  auto nextByte = [&]() -> std::uint32_t {
    if (bitsLeft == 0) {
      bits = random();
      bitsLeft = 64;
    }
    --bitsLeft;
    return static_cast<std::uint32_t>(bits >> bitsLeft & 1);
  };
  for (std::uint64_t segment = 0; segment < segments; ++segment) {
    std::fprintf(out, "    <Segment index=\"%llu\">\r\n      <BinaryData>\r\n",
                 static_cast<unsigned long long>(segment));
    int column = 0;
    for (std::uint64_t i = 0; i < total; i += 3) {
      const std::uint64_t n = std::min<std::uint64_t>(3, total - i);
      std::uint32_t group = nextByte() << 16;
      if (n > 1) group |= nextByte() << 8;
      if (n > 2) group |= nextByte();
      text.push_back(kAlphabet[group >> 18 & 63]);
      text.push_back(kAlphabet[group >> 12 & 63]);
      text.push_back(n > 1 ? kAlphabet[group >> 6 & 63] : '=');
      text.push_back(n > 2 ? kAlphabet[group & 63] : '=');
      if ((column += 4) == 76) {
        text.push_back('\r');
        text.push_back('\n');
        column = 0;
      }
      if (text.size() > (1 << 20) - 8) {
        std::fwrite(text.data(), 1, text.size(), out);
        text.clear();
      }
    }
    if (column != 0) {
      text.push_back('\r');
      text.push_back('\n');
    }
    std::fwrite(text.data(), 1, text.size(), out);
    text.clear();
    std::fprintf(out, "      </BinaryData>\r\n    </Segment>\r\n");
  }
  std::fprintf(out, "  </Data>\r\n</QelvarTamberlinedata>\r\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
