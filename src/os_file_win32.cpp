// Windows file calls through the C runtime's descriptors.
#include "os_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <string>
#include <sys/stat.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

HANDLE handleOf(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// FILETIME counts 100-nanosecond ticks.
FileTime fileTimeOf(const LARGE_INTEGER &ticks) {
  return {ticks.QuadPart / 10000000, ticks.QuadPart % 10000000 * 100};
}

} // namespace

namespace os {

int openForReading(const char *path) {
  return ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int openForWriting(const char *path, bool &created) {
  // A file this run makes is opened with the right to delete it, so that a
  // refusal can take it back through this handle; an existing one needs no
  // more than writing, as before.
  // The name is converted as the C runtime's own open converts it, so that
  // long paths and the code page behave alike.
  const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
  if (length <= 0 || MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length) != length)
    return -1;
  const HANDLE made = CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  created = made != INVALID_HANDLE_VALUE;
  if (created) {
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(made), _O_BINARY);
    if (fd < 0)
      CloseHandle(made);
    return fd;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
    return -1;
  return ::_sopen(path, _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYWR,
                  _S_IREAD | _S_IWRITE);
}

int reopenForReading(int fd) {
  const HANDLE handle = ReOpenFile(handleOf(fd), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
  if (handle == INVALID_HANDLE_VALUE)
    return -1;
  const int copy = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (copy < 0)
    CloseHandle(handle);
  return copy;
}

// Windows has no open that asks for no access: reading is the least.
int openForQuery(const char *path) {
  return openForReading(path);
}

long long readSome(int fd, char *data, std::size_t count) {
  return ::_read(fd, data, static_cast<unsigned>(count));
}

long long writeSome(int fd, const char *data, std::size_t count) {
  return ::_write(fd, data, static_cast<unsigned>(count));
}

bool closeFile(int fd) {
  return ::_close(fd) == 0;
}

bool isReservedDevice(int fd) {
  return GetFileType(handleOf(fd)) == FILE_TYPE_CHAR;
}

bool truncateTo(int fd, long long length) {
  return ::_chsize_s(fd, length) == 0;
}

// The file cannot have been renamed: it was opened without sharing deletion.
// It goes when its last handle closes.
bool removeIfStillNamed(int fd, const char *) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(handleOf(fd), FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

LockResult lockForRun(int) {
  return LockResult::Locked;
}

// A console, pipe or device has no file ID and is no disk file: that is an
// answer, not a failure. For a disk file every query must succeed.
// FILE_ID_INFO holds the 128-bit IDs of ReFS; before Windows 8 only the
// 64-bit file index is known, which NTFS also gives as the low half of its
// 128-bit ID, so the two compare alike.
bool identify(int fd, FileIdentity &id) {
  const HANDLE handle = handleOf(fd);
  if (handle == INVALID_HANDLE_VALUE)
    return false;
  const DWORD type = GetFileType(handle);
  if (type != FILE_TYPE_DISK) {
    id.kind =
        type == FILE_TYPE_CHAR ? FileIdentity::Kind::CharacterDevice : FileIdentity::Kind::Other;
    return type != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
  }
  FILE_ID_INFO full{};
  BY_HANDLE_FILE_INFORMATION basic{};
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &full, sizeof full)) {
    id.device = full.VolumeSerialNumber;
    std::memcpy(id.file.data(), full.FileId.Identifier, sizeof full.FileId.Identifier);
  } else if (GetFileInformationByHandle(handle, &basic)) {
    id.device = basic.dwVolumeSerialNumber;
    id.file = {static_cast<std::uint64_t>(basic.nFileIndexHigh) << 32U | basic.nFileIndexLow, 0};
  } else {
    return false;
  }
  FILE_BASIC_INFO times{};
  FILE_STANDARD_INFO sizes{};
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times) ||
      !GetFileInformationByHandleEx(handle, FileStandardInfo, &sizes, sizeof sizes))
    return false;
  id.kind = sizes.Directory ? FileIdentity::Kind::Directory : FileIdentity::Kind::Regular;
  id.hasId = true;
  id.size = sizes.EndOfFile.QuadPart;
  id.modified = fileTimeOf(times.LastWriteTime);
  id.changed = fileTimeOf(times.ChangeTime);
  return true;
}

} // namespace os
