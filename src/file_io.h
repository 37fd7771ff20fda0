// File stream buffers over the operating system's open files.
#pragma once

#include "same_file.h"

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

  // Whether this buffer and `other` hold the same file open, however each
  // was reached (see compareOpenFiles); Unknown if either is not open.
  Sameness compareWith(const FileBuffer &other) const;

  // The same for the file that `path` names, opened only to ask what it is:
  // for a name that cannot be opened for writing, such as a read-only input.
  // Different when nothing of that name can be opened.
  Sameness compareWithPath(const std::string &path) const;

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
  // Opens `path` for reading; false if that failed or `path` is a directory,
  // which some systems open without complaint although it is no file to read
  // (or the system cannot say what it is).
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
// library for each of them. A flush marks the end of a whole line, and
// `discardUnflushed` can cut the file back to it.
class OutputFile : public FileBuffer {
public:
  // Opens `path` for writing, creating it if missing but leaving its bytes as
  // they are, so that it can still be compared with the input. On Windows the
  // file is opened denying other writers for as long as it stays open, and a
  // device that a reserved name (NUL, AUX) opens is refused. A file this call
  // creates is locked at once, so that no other run takes it before the run
  // decides to keep it.
  bool open(const std::string &path);

  // Takes the file for this run: locks it against other runs for as long as
  // it stays open (POSIX; on Windows the open already did) and empties it if
  // it is a regular file. False, with nothing truncated, when another run
  // holds the file, it cannot be emptied, or it is a block device (a disk or
  // partition, which an include file would destroy). A file system without
  // locks leaves the file unlocked rather than unusable.
  bool lockAndEmpty();

  // For a refused run: removes the file if this run created it and still
  // holds it under its name, so that no empty output passes for a result.
  // A file that was there before the run stays as it was.
  void removeIfCreated();

  // Cuts the file back to its length at the last flush, so that a failed
  // write leaves whole lines only: always, since a write that failed may
  // still have stored part of its bytes. A pipe or device cannot be cut: what
  // reached it stays.
  void discardUnflushed();

protected:
  // Writes all of `count` bytes, or returns how many were written before an
  // error.
  std::streamsize xsputn(const char *data, std::streamsize count) override;
  int_type overflow(int_type c) override;
  int sync() override;

private:
  std::string path_;
  bool created_ = false;  // this run made the file
  bool locked_ = false;   // this run holds the file's lock
  bool canCut_ = false;   // a regular file, which can be truncated
  long long written_ = 0; // bytes written since the file was emptied
  long long atFlush_ = 0; // `written_` at the last flush
};
