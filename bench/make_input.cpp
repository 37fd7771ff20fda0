// Writes SIZE pseudo-random bytes from a fixed seed to standard output, so
// that every benchmark run converts the same inputs.
// Usage: bin2dd_make_input SIZE SEED
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

int main(int argc, char *argv[]) {
  if (argc != 3)
    return 2;
  const unsigned long long size = std::strtoull(argv[1], nullptr, 10);
  std::mt19937 engine(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)));
  std::vector<unsigned char> chunk(1 << 16);
  for (unsigned long long done = 0; done < size;) {
    for (unsigned char &byte : chunk)
      byte = static_cast<unsigned char>(engine() >> 24U);
    const std::size_t part =
        static_cast<std::size_t>(size - done < chunk.size() ? size - done : chunk.size());
    if (std::fwrite(chunk.data(), 1, part, stdout) != part)
      return 1;
    done += part;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
