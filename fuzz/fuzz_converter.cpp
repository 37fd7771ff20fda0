// Fuzz target: checks the output naming rule and the include writer on
// arbitrary bytes, by properties that do not repeat their code.
#include "include_writer.h"
#include "output_name.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

void check(bool condition) {
  if (!condition)
    std::abort();
}

int hexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1; // upper case and anything else are malformed
}

// The result is a prefix of the path; what was cut off is empty when the path
// holds no dot, and otherwise is a dot followed by text with no further dot.
void checkNaming(const std::string &path) {
  const std::string cut = removeExtension(path);
  check(path.compare(0, cut.size(), cut) == 0);
  const std::string dropped = path.substr(cut.size());
  if (path.find('.') == std::string::npos) {
    check(dropped.empty());
  } else {
    check(!dropped.empty() && dropped[0] == '.');
    check(dropped.find('.', 1) == std::string::npos);
  }
}

// Every line has the fixed shape, and parsing the lines back gives the
// input's whole four-byte groups in order.
void checkWriter(const std::string &bytes) {
  std::istringstream binFile(bytes);
  std::ostringstream txtFile;
  std::uint32_t buffer = 0;
  check(writeInclude(binFile, txtFile, buffer) == ConvertResult::Done);
  const std::string text = txtFile.str();
  const std::size_t groups = bytes.size() / 4;
  check(text.size() == 15 * groups);
  for (std::size_t line = 0; line < groups; ++line) {
    const std::string got = text.substr(15 * line, 15);
    check(got.compare(0, 4, "dd 0") == 0 && got.compare(12, 3, "h\r\n") == 0);
    for (std::size_t byte = 0; byte < 4; ++byte) {
      // Byte k of the group is the k-th pair of digits from the right.
      const int high = hexValue(got[4 + 6 - 2 * byte]);
      const int low = hexValue(got[4 + 7 - 2 * byte]);
      check(high >= 0 && low >= 0);
      check(static_cast<unsigned char>(bytes[4 * line + byte]) == high * 16 + low);
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string input(reinterpret_cast<const char *>(data), size);
  checkNaming(input);
  checkWriter(input);
  return 0;
}
