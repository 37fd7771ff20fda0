// Include writer: turns raw bytes into define-doubleword lines for assemblers.
#include "include_writer.h"

#include <algorithm>
#include <streambuf>

namespace {

// The two lower-case hexadecimal digits of every byte value, so that a line
// costs four lookups instead of eight divisions.
struct HexPairs {
  char pairs[256][2];
  constexpr HexPairs() : pairs() {
    constexpr char digits[] = "0123456789abcdef";
    for (unsigned value = 0; value < 256; ++value) {
      pairs[value][0] = digits[value >> 4U];
      pairs[value][1] = digits[value & 0xfU];
    }
  }
};

constexpr HexPairs kHexPairs;

} // namespace

std::array<char, kLineLength> formatLine(std::uint32_t value) {
  std::array<char, kLineLength> line = {'d', 'd', ' ', '0', '0', '0',  '0', '0',
                                        '0', '0', '0', '0', 'h', '\r', '\n'};
  // The most significant byte comes first, right after "dd 0".
  for (std::size_t at = 10; at >= 4; at -= 2, value >>= 8U) {
    line[at] = kHexPairs.pairs[value & 0xffU][0];
    line[at + 1] = kHexPairs.pairs[value & 0xffU][1];
  }
  return line;
}

ConvertResult writeInclude(std::istream &binFile, std::ostream &txtFile, std::uint32_t &buffer) {
  constexpr std::streamsize kGroup = 4;
  std::array<char, 4096> bytes{};
  for (;;) {
    // Takes at once the whole groups that the stream already holds, which
    // needs no wait, and asks for a single group only when it holds none: an
    // input that is a pipe still shows each line as soon as its bytes arrive.
    std::streambuf *source = binFile.rdbuf();
    const std::streamsize ready = source != nullptr ? source->in_avail() : 0;
    const std::streamsize wanted =
        ready >= kGroup ? std::min(ready / kGroup * kGroup, std::streamsize{bytes.size()}) : kGroup;
    binFile.read(bytes.data(), wanted);
    const auto got = static_cast<std::size_t>(binFile.gcount());
    for (std::size_t at = 0; at + kGroup <= got; at += kGroup) {
      buffer = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8U |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16U |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24U;
      const std::array<char, kLineLength> line = formatLine(buffer);
      if (!txtFile.write(line.data(), line.size()) || !txtFile.flush())
        return ConvertResult::WriteFailed;
    }
    if (!binFile)
      break;
  }
  // A short read sets failbit (and eofbit) at the end of the input; badbit
  // means the underlying read itself failed.
  return binFile.bad() ? ConvertResult::ReadFailed : ConvertResult::Done;
}
