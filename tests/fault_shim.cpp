// Test shim, loaded with LD_PRELOAD, that injects I/O errors into regular
// files: reads fail with EIO from the byte offset in FAIL_READ_AFTER on, and
// writes stop at the offset in FAIL_WRITE_AFTER (a write across it is cut
// short there, the next one fails with ENOSPC, as on a disk that fills up);
// WRITE_AT_MOST caps every write to one at that many bytes, as a device or
// pipe may store part of what it is given.
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How many of `count` bytes at the descriptor's position lie before the
// offset named by the variable `limitName`: `count` when the variable is
// unset or the descriptor is no regular file.
size_t allowedBytes(const char *limitName, int fd, size_t count) {
  const char *limitText = std::getenv(limitName);
  struct stat info {};
  if (limitText == nullptr || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    return count;
  const off_t limit = std::atoll(limitText);
  const off_t position = lseek(fd, 0, SEEK_CUR);
  if (position >= limit)
    return 0;
  return static_cast<off_t>(count) > limit - position ? static_cast<size_t>(limit - position)
                                                      : count;
}

} // namespace

extern "C" ssize_t read(int fd, void *buf, size_t count) {
  using ReadFn = ssize_t (*)(int, void *, size_t);
  static const ReadFn realRead = reinterpret_cast<ReadFn>(dlsym(RTLD_NEXT, "read"));
  const size_t allowed = allowedBytes("FAIL_READ_AFTER", fd, count);
  if (allowed == 0 && count > 0) {
    errno = EIO;
    return -1;
  }
  return realRead(fd, buf, allowed);
}

extern "C" ssize_t write(int fd, const void *buf, size_t count) {
  using WriteFn = ssize_t (*)(int, const void *, size_t);
  static const WriteFn realWrite = reinterpret_cast<WriteFn>(dlsym(RTLD_NEXT, "write"));
  size_t allowed = allowedBytes("FAIL_WRITE_AFTER", fd, count);
  if (allowed == 0 && count > 0) {
    errno = ENOSPC;
    return -1;
  }
  const char *most = std::getenv("WRITE_AT_MOST");
  if (most != nullptr && fd > 2 && allowed > static_cast<size_t>(std::atoll(most)))
    allowed = static_cast<size_t>(std::atoll(most));
  return realWrite(fd, buf, allowed);
}
