// File stream buffers over the operating system's open files.
#include "file_io.h"

#include "os_file.h"

#include <cerrno>

namespace {

constexpr std::streamsize kMostPerCall = std::streamsize{1} << 30;

} // namespace

FileBuffer::~FileBuffer() {
  close();
}

bool FileBuffer::close() {
  if (fd_ < 0)
    return false;
  const bool closed = os::closeFile(fd_);
  fd_ = -1;
  return closed;
}

Sameness FileBuffer::compareWith(const FileBuffer &other) const {
  return compareOpenFiles(fd_, other.fd_);
}

Sameness FileBuffer::compareWithPath(const std::string &path) const {
  const int fd = os::openForQuery(path.c_str());
  if (fd < 0)
    return Sameness::Different;
  const Sameness result = compareOpenFiles(fd_, fd);
  os::closeFile(fd);
  return result;
}

bool InputFile::open(const std::string &path) {
  if (fd_ >= 0)
    return false;
  fd_ = os::openForReading(path.c_str());
  // A file whose kind cannot be told is not read either.
  FileIdentity id;
  if (fd_ >= 0 && (!os::identify(fd_, id) || id.kind == FileIdentity::Kind::Directory))
    close();
  return fd_ >= 0;
}

InputFile::int_type InputFile::underflow() {
  if (gptr() < egptr())
    return traits_type::to_int_type(*gptr());
  while (fd_ >= 0 && !readFailed_) {
    const long long got = os::readSome(fd_, buffer_.data(), buffer_.size());
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
  fd_ = os::openForWriting(path.c_str(), created_);
  if (fd_ >= 0 && os::isReservedDevice(fd_))
    close();
  if (fd_ < 0)
    return false;
  path_ = path;
  if (created_)
    locked_ = os::lockForRun(fd_) == os::LockResult::Locked;
  return true;
}

bool OutputFile::lockAndEmpty() {
  if (fd_ < 0)
    return false;
  // Only "held by another" refuses; a file system that cannot lock at all
  // answers otherwise, and the file is used unlocked.
  if (!locked_) {
    const os::LockResult lock = os::lockForRun(fd_);
    if (lock == os::LockResult::HeldElsewhere)
      return false;
    locked_ = lock == os::LockResult::Locked;
  }
  // Only a regular file can be emptied and cut back; a file whose kind
  // cannot be told would be written over its old bytes, so it is refused.
  FileIdentity id;
  if (!os::identify(fd_, id) || id.kind == FileIdentity::Kind::BlockDevice)
    return false;
  canCut_ = id.kind == FileIdentity::Kind::Regular;
  if (canCut_ && !os::truncateTo(fd_, 0))
    return false;
  written_ = 0;
  atFlush_ = 0;
  return true;
}

void OutputFile::removeIfCreated() {
  // Unlocked, the file may already be another run's output.
  if (fd_ >= 0 && created_ && locked_)
    os::removeIfStillNamed(fd_, path_.c_str());
}

void OutputFile::discardUnflushed() {
  // A pipe or device has passed its bytes on: they cannot be taken back.
  if (fd_ >= 0 && canCut_ && os::truncateTo(fd_, atFlush_))
    written_ = atFlush_;
}

std::streamsize OutputFile::xsputn(const char *data, std::streamsize count) {
  std::streamsize done = 0;
  while (fd_ >= 0 && done < count) {
    const std::streamsize part = count - done < kMostPerCall ? count - done : kMostPerCall;
    const long long written = os::writeSome(fd_, data + done, static_cast<std::size_t>(part));
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      break;
    done += static_cast<std::streamsize>(written);
    written_ += written;
  }
  return done;
}

OutputFile::int_type OutputFile::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof()))
    return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

int OutputFile::sync() {
  atFlush_ = written_;
  return 0;
}
