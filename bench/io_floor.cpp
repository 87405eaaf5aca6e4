// The I/O a conversion cannot avoid, and nothing else: reads the document in blocks of
// 512 KiB, writes OUTPUT-BYTES of zeros in such blocks into a new temporary file beside
// OUTPUT whose space is reserved first, and renames it over OUTPUT: as the converter
// reads and writes. With COUNT, as many outputs of that size each, OUTPUT.1 to
// OUTPUT.COUNT, written one after another and renamed once all are written, as a
// document's segments are.
// Usage: io_floor DOCUMENT OUTPUT OUTPUT-BYTES [COUNT]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBlock = std::size_t{512} << 10;

std::string Temporary(const std::string& output) { return output + ".floor.tmp"; }

bool WriteTemporary(const std::string& output, std::uint64_t left, const std::vector<char>& block) {
  const std::string temporary = Temporary(output);
  const int file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (file < 0) return std::perror(temporary.c_str()), false;
#ifdef __linux__
  // Reserved as the converter reserves its output.
  if (left != 0) ::fallocate(file, 0, 0, static_cast<off_t>(left));
#endif
  while (left != 0) {
    const std::size_t n = left < kBlock ? static_cast<std::size_t>(left) : kBlock;
    if (::write(file, block.data(), n) != static_cast<ssize_t>(n))
      return std::perror("write"), false;
    left -= n;
  }
  if (::close(file) != 0) return std::perror(temporary.c_str()), false;
  return true;
}

bool Rename(const std::string& output) {
  if (std::rename(Temporary(output).c_str(), output.c_str()) == 0) return true;
  return std::perror(output.c_str()), false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: io_floor DOCUMENT OUTPUT OUTPUT-BYTES [COUNT]\n");
    return 2;
  }
  std::vector<char> block(kBlock);
  const int input = ::open(argv[1], O_RDONLY);
  if (input < 0) return std::perror(argv[1]), 1;
  while (::read(input, block.data(), kBlock) > 0) {
  }
  ::close(input);

  std::fill(block.begin(), block.end(), '\0');
  const auto bytes = static_cast<std::uint64_t>(std::strtoull(argv[3], nullptr, 10));
  const long count = argc == 5 ? std::strtol(argv[4], nullptr, 10) : 0;
  std::vector<std::string> outputs;
  if (count == 0) outputs.emplace_back(argv[2]);
  for (long i = 1; i <= count; ++i)
    outputs.push_back(std::string(argv[2]) + "." + std::to_string(i));
  for (const std::string& output : outputs) {
    if (!WriteTemporary(output, bytes, block)) return 1;
  }
  for (const std::string& output : outputs) {
    if (!Rename(output)) return 1;
  }
  return 0;
}
