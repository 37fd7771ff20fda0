// The floor of a write-per-line converter: bulk reads, a table lookup per hex
// digit and exactly one write(2) of 15 bytes per line, nothing else.
// Usage: bin2dd_floor INPUT OUTPUT
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

int main(int argc, char *argv[]) {
  if (argc != 3)
    return 2;
  const int in = open(argv[1], O_RDONLY);
  const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0)
    return 1;
  static const char digits[] = "0123456789abcdef";
  char line[15] = {'d', 'd', ' ', '0', '0', '0', '0', '0', '0', '0', '0', '0', 'h', '\r', '\n'};
  std::vector<unsigned char> buffer(std::size_t{1} << 16);
  std::size_t have = 0;
  for (;;) {
    const ssize_t got = read(in, buffer.data() + have, buffer.size() - have);
    if (got < 0)
      return 1;
    if (got == 0)
      break;
    have += static_cast<std::size_t>(got);
    std::size_t pos = 0;
    for (; pos + 4 <= have; pos += 4) {
      for (std::size_t k = 0; k < 4; ++k) {
        const unsigned byte = buffer[pos + 3 - k];
        line[4 + 2 * k] = digits[byte >> 4U];
        line[5 + 2 * k] = digits[byte & 15U];
      }
      if (write(out, line, sizeof line) != static_cast<ssize_t>(sizeof line))
        return 1;
    }
    std::memmove(buffer.data(), buffer.data() + pos, have - pos);
    have -= pos;
  }
  return close(out) == 0 && close(in) == 0 ? 0 : 1;
}
