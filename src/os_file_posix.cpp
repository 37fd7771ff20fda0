// POSIX file calls.
#include "os_file.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/loop.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

int openForReading(const char *path) {
  return ::open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
}

int openForWriting(const char *path, bool &created) {
  constexpr int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC;
  int fd = ::open(path, flags | O_CREAT | O_EXCL, 0666);
  created = fd >= 0;
  if (fd < 0 && errno == EEXIST)
    fd = ::open(path, flags);
  // A link to a name that does not exist yet makes the file it names, but it
  // is not counted as this run's own.
  if (fd < 0 && errno == ENOENT)
    fd = ::open(path, flags | O_CREAT, 0666);
  return fd;
}

int reopenForReading(int fd) {
  // The descriptor's entry under /proc names the open file itself, not a path.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::open(self.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
}

int openForQuery(const char *path) {
  // O_PATH needs no permission on the file itself and opens no device.
  return ::open(path, O_PATH | O_CLOEXEC);
}

long long readSome(int fd, char *data, std::size_t count) {
  return ::read(fd, data, count);
}

long long writeSome(int fd, const char *data, std::size_t count) {
  return ::write(fd, data, count);
}

bool closeFile(int fd) {
  return ::close(fd) == 0;
}

bool isReservedDevice(int) {
  return false;
}

bool truncateTo(int fd, long long length) {
  return ::ftruncate(fd, static_cast<off_t>(length)) == 0;
}

bool removeIfStillNamed(int fd, const char *path) {
  struct stat open {};
  struct stat named {};
  return ::fstat(fd, &open) == 0 && ::lstat(path, &named) == 0 && S_ISREG(named.st_mode) &&
         named.st_dev == open.st_dev && named.st_ino == open.st_ino && ::unlink(path) == 0;
}

LockResult lockForRun(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
    return LockResult::Locked;
  return errno == EWOULDBLOCK ? LockResult::HeldElsewhere : LockResult::Unsupported;
}

bool identify(int fd, FileIdentity &id) {
  struct stat info {};
  if (::fstat(fd, &info) != 0)
    return false;
  id.kind = S_ISREG(info.st_mode)   ? FileIdentity::Kind::Regular
            : S_ISDIR(info.st_mode) ? FileIdentity::Kind::Directory
            : S_ISCHR(info.st_mode) ? FileIdentity::Kind::CharacterDevice
            : S_ISBLK(info.st_mode) ? FileIdentity::Kind::BlockDevice
                                    : FileIdentity::Kind::Other;
  id.hasId = true;
  id.device = info.st_dev;
  id.file = {info.st_ino, 0};
  id.rdev = info.st_rdev;
  id.size = info.st_size;
  id.modified = {info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
  id.changed = {info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
  if (id.kind != FileIdentity::Kind::BlockDevice)
    return true;
  // A loop device reads and writes the file it is bound to. An unbound loop
  // (ENXIO) or another block device (ENOTTY, EINVAL) has no such file; any
  // other failure leaves the question open.
  loop_info64 loop{};
  if (::ioctl(fd, LOOP_GET_STATUS64, &loop) == 0) {
    id.hasBacking = true;
    id.backingDevice = loop.lo_device;
    id.backingInode = loop.lo_inode;
    return true;
  }
  return errno == ENXIO || errno == ENOTTY || errno == EINVAL;
}

} // namespace os
