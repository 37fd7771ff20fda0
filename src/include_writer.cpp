// Include writer: turns raw bytes into define-doubleword lines for assemblers.
#include "include_writer.h"

#include <array>
#include <iomanip>

ConvertResult writeInclude(std::istream &binFile, std::ostream &txtFile, std::uint32_t &buffer) {
  txtFile << std::hex << std::nouppercase << std::noshowbase << std::setfill('0');
  std::array<char, 4> bytes{};
  while (binFile.read(bytes.data(), bytes.size())) {
    buffer = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
      buffer = (buffer << 8U) | static_cast<unsigned char>(bytes[i]);
    txtFile << "dd 0" << std::setw(8) << buffer << "h\r\n";
    if (!txtFile.flush())
      return ConvertResult::WriteFailed;
  }
  // A short read sets failbit (and eofbit) at the end of the input; badbit
  // means the underlying read itself failed.
  return binFile.bad() ? ConvertResult::ReadFailed : ConvertResult::Done;
}
