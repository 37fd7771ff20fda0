// The operating system's calls on files, one implementation per platform
// (os_file_posix.cpp, os_file_win32.cpp), behind the stream buffers and the
// rule that tells whether two open files are one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// A point in time as a file system records it.
struct FileTime {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
  bool operator==(const FileTime &other) const {
    return seconds == other.seconds && nanoseconds == other.nanoseconds;
  }
};

// What the system reports of one open file: enough to tell whether two open
// files are one, however each was reached.
struct FileIdentity {
  enum class Kind { Regular, Directory, CharacterDevice, BlockDevice, Other };
  Kind kind = Kind::Other;
  // False for a Windows console or pipe, which has no file ID.
  bool hasId = false;
  std::uint64_t device = 0;            // st_dev; on Windows the volume's serial number
  std::array<std::uint64_t, 2> file{}; // the inode number; on Windows the 128-bit file ID
  std::uint64_t rdev = 0;              // the device that a device node stands for
  // A loop device bound to a file: that file's device and inode number.
  bool hasBacking = false;
  std::uint64_t backingDevice = 0;
  std::uint64_t backingInode = 0;
  long long size = 0;
  FileTime modified;
  FileTime changed; // the change time, which no program can set
};

namespace os {

// Each open returns a descriptor, or -1; none is inherited by child
// processes.
int openForReading(const char *path);
// Creates `path` if missing but leaves its bytes as they are; `created` tells
// whether this call made the file. On Windows other writers are denied for as
// long as it stays open; readers, this run's own input among them, are let in.
int openForWriting(const char *path, bool &created);
// Opens `path` only to ask what it is: no read or write permission needed
// where the system allows that, and never waiting for a FIFO's writer.
int openForQuery(const char *path);

// A new descriptor for reading the very file open on `fd` (whatever name it
// has now), from its start; -1 where the system or the file's permissions do
// not allow it.
int reopenForReading(int fd);

// One read or write of at most 1 GiB; -1 with errno set on failure.
long long readSome(int fd, char *data, std::size_t count);
long long writeSome(int fd, const char *data, std::size_t count);
bool closeFile(int fd);

// A Windows character device (NUL, CON, AUX, COM1, LPT1, PRN), which a
// reserved name opens in any folder, so that output sent to it is lost in
// silence. Never on POSIX, where a link to /dev/null is the user's choice.
bool isReservedDevice(int fd);
bool truncateTo(int fd, long long length);
// Removes the file open on `fd` if `path` still names it: a file that another
// program has since put under that name, or a link to it, stays. False if
// nothing was removed.
bool removeIfStillNamed(int fd, const char *path);

enum class LockResult { Locked, HeldElsewhere, Unsupported };
// Locks the file against other runs for as long as it stays open, without
// waiting. On Windows the open already denied other writers.
LockResult lockForRun(int fd);

// Fills `id` for the file open on `fd`; false when the system could not
// answer, in which case nothing may be assumed about the file.
bool identify(int fd, FileIdentity &id);

} // namespace os
