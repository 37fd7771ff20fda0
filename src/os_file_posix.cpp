// POSIX file calls, console lines and write signals.
#include "os_file.h"

#include "file_io.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <linux/loop.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

int openForReading(const char *path) {
  return ::open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
}

int openForWriting(const char *path) {
  return ::open(path, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
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

void writeConsoleLine(const std::string &line) {
  std::cout << line << std::endl;
}

void ignoreWriteSignals() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}
