// File input and output: plain stream buffers over the operating system's files.
#pragma once

#include <array>
#include <cstddef>
#include <streambuf>
#include <string>

// A stream buffer that owns one open file of the operating system's: the
// destructor closes it. Derived classes open it and move the bytes.
class FileBuffer : public std::streambuf {
public:
  FileBuffer() = default;
  ~FileBuffer() override;
  FileBuffer(const FileBuffer &) = delete;
  FileBuffer &operator=(const FileBuffer &) = delete;

  // Closes the file; false if it was not open or the system reported an
  // error (for an output, data not stored).
  bool close();

protected:
  int fd_ = -1;
};

// Reads a file in binary (no line-end translation, no end-of-file character)
// through a buffer of its own. Unlike a file stream, it reports only the
// bytes it already holds as available, so a reader can take those in bulk
// without ever blocking or touching the file, and it records a failed read
// instead of mistaking it for the end of the file.
class InputFile : public FileBuffer {
public:
  // Opens `path` for reading; false if that failed.
  bool open(const std::string &path);

  // True once a read failed for a reason other than the end of the file. The
  // stream reading through this buffer sees that failure as the end.
  bool readFailed() const { return readFailed_; }

protected:
  int_type underflow() override;

private:
  bool readFailed_ = false;
  std::array<char, std::size_t{16} * 1024> buffer_{};
};

// Writes a file in binary, handing every write straight to the operating
// system with no buffer of its own: the include writer flushes after every
// line, and a buffer would only add a copy and a second trip through the
// library for each of them. Creates or truncates the file.
class OutputFile : public FileBuffer {
public:
  // Creates or truncates `path` for writing; false if that failed.
  bool open(const std::string &path);

protected:
  // Writes all of `count` bytes, or returns how many were written before an
  // error.
  std::streamsize xsputn(const char *data, std::streamsize count) override;
  int_type overflow(int_type c) override;
};
