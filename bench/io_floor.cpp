// The I/O a conversion cannot avoid, and nothing else: reads the document in 1 MiB
// blocks, writes OUTPUT-BYTES of zeros in 1 MiB blocks into a new temporary file beside
// OUTPUT whose space is reserved first, and renames it over OUTPUT.
// Usage: io_floor DOCUMENT OUTPUT OUTPUT-BYTES
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: io_floor DOCUMENT OUTPUT OUTPUT-BYTES\n");
    return 2;
  }
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  std::vector<char> block(kBlock);
  const int input = ::open(argv[1], O_RDONLY);
  if (input < 0) return std::perror(argv[1]), 1;
  while (::read(input, block.data(), kBlock) > 0) {
  }
  ::close(input);

  const std::string temporary = std::string(argv[2]) + ".floor.tmp";
  const int output = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (output < 0) return std::perror(temporary.c_str()), 1;
  auto left = static_cast<std::uint64_t>(std::strtoull(argv[3], nullptr, 10));
#ifdef __linux__
  // Reserved as the converter reserves its output.
  if (left != 0) ::fallocate(output, 0, 0, static_cast<off_t>(left));
#endif
  std::fill(block.begin(), block.end(), '\0');
  while (left != 0) {
    const std::size_t n = left < kBlock ? static_cast<std::size_t>(left) : kBlock;
    if (::write(output, block.data(), n) != static_cast<ssize_t>(n)) return std::perror("write"), 1;
    left -= n;
  }
  if (::close(output) != 0 || std::rename(temporary.c_str(), argv[2]) != 0) {
    return std::perror(argv[2]), 1;
  }
  return 0;
}
