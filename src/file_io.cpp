// File input and output: plain stream buffers over the operating system's files.
#include "file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// The system calls, which differ in name and flags between the platforms.
// Sizes passed are at most 1 GiB, which both accept.
#ifdef _WIN32
int openForReading(const char *path) {
  return ::_open(path, _O_RDONLY | _O_BINARY);
}
int openForWriting(const char *path) {
  return ::_open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long long readSome(int fd, char *data, std::size_t count) {
  return ::_read(fd, data, static_cast<unsigned>(count));
}
long long writeSome(int fd, const char *data, std::size_t count) {
  return ::_write(fd, data, static_cast<unsigned>(count));
}
int closeFile(int fd) {
  return ::_close(fd);
}
#else
int openForReading(const char *path) {
  return ::open(path, O_RDONLY | O_CLOEXEC);
}
int openForWriting(const char *path) {
  return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}
long long readSome(int fd, char *data, std::size_t count) {
  return ::read(fd, data, count);
}
long long writeSome(int fd, const char *data, std::size_t count) {
  return ::write(fd, data, count);
}
int closeFile(int fd) {
  return ::close(fd);
}
#endif

constexpr std::streamsize kMostPerCall = std::streamsize{1} << 30;

} // namespace

FileBuffer::~FileBuffer() {
  close();
}

bool FileBuffer::close() {
  if (fd_ < 0)
    return false;
  const int result = closeFile(fd_);
  fd_ = -1;
  return result == 0;
}

bool InputFile::open(const std::string &path) {
  if (fd_ >= 0)
    return false;
  fd_ = openForReading(path.c_str());
  return fd_ >= 0;
}

InputFile::int_type InputFile::underflow() {
  if (gptr() < egptr())
    return traits_type::to_int_type(*gptr());
  while (fd_ >= 0 && !readFailed_) {
    const long long got = readSome(fd_, buffer_.data(), buffer_.size());
    if (got > 0) {
      setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
      return traits_type::to_int_type(*gptr());
    }
    if (got == 0)
      break;
    if (errno != EINTR)
      readFailed_ = true;
  }
  return traits_type::eof();
}

bool OutputFile::open(const std::string &path) {
  if (fd_ >= 0)
    return false;
  fd_ = openForWriting(path.c_str());
  return fd_ >= 0;
}

std::streamsize OutputFile::xsputn(const char *data, std::streamsize count) {
  std::streamsize done = 0;
  while (fd_ >= 0 && done < count) {
    const std::streamsize part = count - done < kMostPerCall ? count - done : kMostPerCall;
    const long long written = writeSome(fd_, data + done, static_cast<std::size_t>(part));
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      break;
    done += static_cast<std::streamsize>(written);
  }
  return done;
}

OutputFile::int_type OutputFile::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof()))
    return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}
