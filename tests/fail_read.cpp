// Test shim, loaded with LD_PRELOAD: regular files read as an I/O error (EIO)
// from the byte offset given in FAIL_READ_AFTER on.
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" ssize_t read(int fd, void *buf, size_t count) {
  using ReadFn = ssize_t (*)(int, void *, size_t);
  static const ReadFn realRead = reinterpret_cast<ReadFn>(dlsym(RTLD_NEXT, "read"));
  const char *limitText = std::getenv("FAIL_READ_AFTER");
  struct stat info {};
  if (limitText != nullptr && fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    const off_t limit = std::atoll(limitText);
    const off_t position = lseek(fd, 0, SEEK_CUR);
    if (position >= limit) {
      errno = EIO;
      return -1;
    }
    if (static_cast<off_t>(count) > limit - position)
      count = static_cast<size_t>(limit - position);
  }
  return realRead(fd, buf, count);
}
