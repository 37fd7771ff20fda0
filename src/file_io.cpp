// Input and output through the operating system: file stream buffers, console
// lines and the signals that writes can raise.
#include "file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <share.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <csignal>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

// The system calls, which differ in name and flags between the platforms.
// Sizes passed are at most 1 GiB, which both accept.
#ifdef _WIN32
int openForReading(const char *path) {
  return ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}
// Denying other writers keeps a second run from writing the file under this
// one; readers, this run's own input among them, are let in.
int openForWriting(const char *path) {
  return ::_sopen(path, _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYWR,
                  _S_IREAD | _S_IWRITE);
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
bool isDirectory(int fd) {
  struct _stat64 info {};
  return ::_fstat64(fd, &info) == 0 && (info.st_mode & _S_IFDIR) != 0;
}
// Only files on a disk can be truncated; consoles, pipes and devices cannot.
bool isDiskFile(int fd) {
  return GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) == FILE_TYPE_DISK;
}
bool truncateTo(int fd, long long length) {
  return ::_chsize_s(fd, length) == 0;
}

// Where a file lives: the volume's serial number and the file's ID on it.
struct FileId {
  unsigned long long volume = 0;
  unsigned char file[16] = {};
};

// Reads the ID of the file open on `fd`; false for a console, pipe or device,
// which have none. FILE_ID_INFO holds the 128-bit IDs of ReFS; before Windows
// 8 only the 64-bit file index is known, which NTFS also gives as the low half
// of its 128-bit ID, so the two compare alike.
bool fileIdOf(int fd, FileId &id) {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE)
    return false;
  FILE_ID_INFO full{};
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &full, sizeof full)) {
    id.volume = full.VolumeSerialNumber;
    std::memcpy(id.file, full.FileId.Identifier, sizeof id.file);
    return true;
  }
  BY_HANDLE_FILE_INFORMATION basic{};
  if (!GetFileInformationByHandle(handle, &basic))
    return false;
  id.volume = basic.dwVolumeSerialNumber;
  const unsigned long long index =
      static_cast<unsigned long long>(basic.nFileIndexHigh) << 32U | basic.nFileIndexLow;
  std::memcpy(id.file, &index, sizeof index);
  return true;
}

bool sameFile(int a, int b) {
  FileId first;
  FileId second;
  return fileIdOf(a, first) && fileIdOf(b, second) && first.volume == second.volume &&
         std::memcmp(first.file, second.file, sizeof first.file) == 0;
}
#else
int openForReading(const char *path) {
  return ::open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
}
int openForWriting(const char *path) {
  return ::open(path, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
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
bool isDirectory(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}
bool isDiskFile(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}
bool truncateTo(int fd, long long length) {
  return ::ftruncate(fd, static_cast<off_t>(length)) == 0;
}

// Two device nodes stand for one device when their device numbers agree:
// reading one while writing the other would feed the run its own output.
bool sameFile(int a, int b) {
  struct stat first {};
  struct stat second {};
  if (::fstat(a, &first) != 0 || ::fstat(b, &second) != 0)
    return false;
  if (first.st_dev == second.st_dev && first.st_ino == second.st_ino)
    return true;
  const bool devices = (S_ISCHR(first.st_mode) && S_ISCHR(second.st_mode)) ||
                       (S_ISBLK(first.st_mode) && S_ISBLK(second.st_mode));
  return devices && first.st_rdev == second.st_rdev;
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

bool FileBuffer::isSameFileAs(const FileBuffer &other) const {
  return fd_ >= 0 && other.fd_ >= 0 && sameFile(fd_, other.fd_);
}

bool InputFile::open(const std::string &path) {
  if (fd_ >= 0)
    return false;
  fd_ = openForReading(path.c_str());
  if (fd_ >= 0 && isDirectory(fd_))
    close();
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

bool OutputFile::lockAndEmpty() {
  if (fd_ < 0)
    return false;
#ifndef _WIN32
  // Only "held by another" refuses; a file system that cannot lock at all
  // answers otherwise, and the file is used unlocked.
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
    return false;
#endif
  canCut_ = isDiskFile(fd_);
  if (canCut_ && !truncateTo(fd_, 0))
    return false;
  written_ = 0;
  atFlush_ = 0;
  return true;
}

void OutputFile::discardUnflushed() {
  // A pipe or device has passed its bytes on: they cannot be taken back.
  if (fd_ >= 0 && canCut_ && written_ != atFlush_ && truncateTo(fd_, atFlush_))
    written_ = atFlush_;
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

void writeConsoleLine(const std::string &line) {
#ifdef _WIN32
  // GetConsoleMode succeeds only for a console window. Narrow strings are in
  // the ANSI code page (UTF-8 where the manifest's activeCodePage is honoured,
  // the system's code page before Windows 10 1903), which CP_ACP names in
  // both cases; the console's own code page is left to the shell that owns it.
  const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (console != nullptr && console != INVALID_HANDLE_VALUE && GetConsoleMode(console, &mode)) {
    const std::string text = line + "\r\n";
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    DWORD written = 0;
    if (length <= 0 ||
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            length) != length ||
        !WriteConsoleW(console, wide.data(), static_cast<DWORD>(length), &written, nullptr) ||
        written != static_cast<DWORD>(length))
      std::cout.setstate(std::ios::badbit);
    return;
  }
#endif
  std::cout << line << std::endl;
}

void ignoreWriteSignals() {
#ifndef _WIN32
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}
