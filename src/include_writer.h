// Include writer: turns raw bytes into define-doubleword lines for assemblers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>

// Bytes in one line of the include file, its CR LF included.
constexpr std::size_t kLineLength = 15;

// Returns the line for one four-byte group: "dd 0", the value in exactly
// eight lower-case hexadecimal digits, "h", CR LF.
std::array<char, kLineLength> formatLine(std::uint32_t value);

// How the conversion loop ended.
enum class ConvertResult {
  Done,       // the input ran out; a final group of 1 to 3 bytes is dropped
  ReadFailed, // the input failed for a reason other than its end
  WriteFailed // a line could not be written or flushed
};

// Reads `binFile` in groups of four bytes, each into `buffer` (little-endian,
// whatever the host's byte order), and writes one line "dd 0xxxxxxxxh" CR LF
// per group to `txtFile`, flushing after every line. It takes at once the
// whole groups that the input's buffer reports available and waits for one
// group at a time otherwise, so every completed line reaches the file before
// the input is read again (a pipe's lines appear as their bytes arrive).
// `txtFile` must be a binary stream: the CR LF is written as two bytes. Lines
// written before a failure stay written.
ConvertResult writeInclude(std::istream &binFile, std::ostream &txtFile, std::uint32_t &buffer);
