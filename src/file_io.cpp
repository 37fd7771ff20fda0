// Input and output through the operating system: file stream buffers and the
// rule that tells whether two open files are one.
#include "file_io.h"

#include <algorithm>
#include <cerrno>

namespace {

constexpr std::streamsize kMostPerCall = std::streamsize{1} << 30;

bool isDevice(const FileIdentity &id) {
  return id.kind == FileIdentity::Kind::CharacterDevice ||
         id.kind == FileIdentity::Kind::BlockDevice;
}

// A loop device reads and writes the file it is bound to.
bool isBoundTo(const FileIdentity &loop, const FileIdentity &file) {
  return loop.hasBacking && file.hasId && loop.backingDevice == file.device &&
         loop.backingInode == file.file[0] && file.file[1] == 0;
}

// Reads up to `count` bytes, fewer only at the end of the file; -1 on an
// error.
long long readFully(int fd, char *data, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const long long got = os::readSome(fd, data + done, count - done);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return -1;
    if (got == 0)
      break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<long long>(done);
}

// Whether two open files hold the same bytes from their starts over the
// length of the shorter, which must not be zero. Each is read through a
// descriptor of its own, so that neither file's position moves; the first
// difference ends the reading, which for an old include file and a binary
// input is the first block. A file that cannot be read this way leaves the
// answer to the numbers the system reports.
Sameness compareBytes(int first, int second) {
  const int one = os::reopenForReading(first);
  const int other = os::reopenForReading(second);
  Sameness result = Sameness::Different;
  if (one >= 0 && other >= 0) {
    std::array<char, 16384> mine{};
    std::array<char, 16384> theirs{};
    long long agreed = 0;
    for (;;) {
      const long long got = readFully(one, mine.data(), mine.size());
      const long long gotOther = readFully(other, theirs.data(), theirs.size());
      if (got < 0 || gotOther < 0) {
        result = Sameness::Unknown;
        break;
      }
      const long long shorter = got < gotOther ? got : gotOther;
      if (!std::equal(mine.begin(), mine.begin() + shorter, theirs.begin()))
        break;
      agreed += shorter;
      if (shorter < static_cast<long long>(mine.size())) {
        result = agreed > 0 ? Sameness::Same : Sameness::Different;
        break;
      }
    }
  }
  for (const int fd : {one, other})
    if (fd >= 0)
      os::closeFile(fd);
  return result;
}

Sameness compareOpen(int first, int second) {
  FileIdentity one;
  FileIdentity other;
  if (!os::identify(first, one) || !os::identify(second, other))
    return Sameness::Unknown;
  if (isSameFile(one, other))
    return Sameness::Same;
  // On one device the numbers tell; across devices only the bytes do.
  if (one.kind != FileIdentity::Kind::Regular || other.kind != FileIdentity::Kind::Regular ||
      one.device == other.device)
    return Sameness::Different;
  return compareBytes(first, second);
}

} // namespace

bool isSameFile(const FileIdentity &first, const FileIdentity &second) {
  // One file on one device: its own name, a hard or symbolic link, a name in
  // another letter case.
  if (first.hasId && second.hasId && first.device == second.device && first.file == second.file)
    return true;
  // Two nodes of one device (two names of /dev/zero): reading one while
  // writing the other would feed the run its own output without end.
  if (first.hasId && second.hasId && isDevice(first) && first.kind == second.kind &&
      first.rdev == second.rdev)
    return true;
  // A loop device and the file behind it, or two loop devices over one file.
  if (isBoundTo(first, second) || isBoundTo(second, first) ||
      (first.hasBacking && second.hasBacking && first.backingDevice == second.backingDevice &&
       first.backingInode == second.backingInode))
    return true;
  // One file through two mounts (an overlay, a FUSE view, two mounts of one
  // share) shows under two device numbers, and an overlay's copied-up file
  // keeps the inode number of the file below it, so across devices the inode
  // number says nothing. No program can set a change time, so two different
  // files that agree in size and both times to the nanosecond are rare, and
  // taking them for one only refuses a run; an empty file has nothing to lose.
  return first.kind == FileIdentity::Kind::Regular && second.kind == FileIdentity::Kind::Regular &&
         first.device != second.device && first.size > 0 && first.size == second.size &&
         first.modified == second.modified && first.changed == second.changed;
}

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
  if (fd_ < 0 || other.fd_ < 0)
    return Sameness::Unknown;
  return compareOpen(fd_, other.fd_);
}

Sameness FileBuffer::compareWithPath(const std::string &path) const {
  const int fd = os::openForQuery(path.c_str());
  if (fd < 0)
    return Sameness::Different;
  const Sameness result = fd_ < 0 ? Sameness::Unknown : compareOpen(fd_, fd);
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
