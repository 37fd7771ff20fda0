// The rule that decides whether two open files are one, from what the system
// reports of each and, across devices, from their bytes.
#include "same_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>

namespace {

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

Sameness compareOpenFiles(int first, int second) {
  if (first < 0 || second < 0)
    return Sameness::Unknown;
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
