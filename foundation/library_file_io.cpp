#include "foundation/library_file_io.h"

#include "foundation/library_file.h"
#include "platform/win/fileio.h"

#include <cerrno>
#include <string>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
int MapErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return kSysNoSuchFile;
    case EACCES:
    case EPERM:
    case EAGAIN:
    case EROFS:
      return kSysAccessDenied;
    case EEXIST:
      return kSysFileExists;
    case EMFILE:
    case ENFILE:
      return kSysTooManyFiles;
    default:
      return e;
  }
}

DWORD StampOf(const struct stat& st) {
  // Only equality matters; mixing in size and inode catches a rewrite that
  // lands within the clock's granularity.
  unsigned long long v = static_cast<unsigned long long>(st.st_mtim.tv_sec) * 10000000ull +
                         static_cast<unsigned long long>(st.st_mtim.tv_nsec) / 100ull;
  v ^= static_cast<unsigned long long>(st.st_size) * 0x9E3779B97F4A7C15ull;
  v ^= static_cast<unsigned long long>(st.st_ino) << 7;
  DWORD s = static_cast<DWORD>(v ^ (v >> 32));
  return s == 0 ? 1 : s;
}
}  // namespace

int LibOsOpen(const char* path, UINT flags, bool createExclusive, int* sysError) {
  UINT access = flags & 3;
  UINT share = flags & 0x70;
  bool write = createExclusive || access == lib_of::Write || access == lib_of::ReadWrite;
  int oflags = O_CLOEXEC | (write ? O_RDWR : O_RDONLY);
  if (createExclusive) oflags |= O_CREAT | O_EXCL;
  std::string native = NativePath(path);
  int fd = ::open(native.c_str(), oflags, 0666);
  if (fd < 0 && errno == ENOENT && !createExclusive) {
    // Windows names ignore case; the disk's may differ.
    std::string found = ResolveExistingPath(native);
    if (!found.empty()) fd = ::open(found.c_str(), oflags, 0666);
    if (fd < 0 && found.empty()) errno = ENOENT;
  }
  if (fd < 0) {
    *sysError = MapErrno(errno);
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *sysError = kSysAccessDenied;
    return -1;
  }
  int lock = 0;
  if (write || share == lib_of::ShareExclusive || share == lib_of::ShareDenyRead)
    lock = LOCK_EX;
  else if (share == lib_of::ShareDenyWrite)
    lock = LOCK_SH;
  if (lock != 0 && ::flock(fd, lock | LOCK_NB) != 0) {
    int e = errno;
    ::close(fd);
    *sysError = (e == EWOULDBLOCK) ? kSysAccessDenied : MapErrno(e);
    return -1;
  }
  *sysError = 0;
  return fd;
}

bool LibOsExists(const char* path) { return !ResolveExistingPath(NativePath(path)).empty(); }
bool LibOsSameFile(const char* a, const char* b) {
  struct stat sa, sb;
  std::string pa = ResolveExistingPath(NativePath(a)), pb = ResolveExistingPath(NativePath(b));
  if (pa.empty() || pb.empty() || ::stat(pa.c_str(), &sa) != 0 || ::stat(pb.c_str(), &sb) != 0)
    return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

long long LibOsFileSize(int handle) {
  struct stat st;
  if (::fstat(handle, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

bool LibOsReadPage(int handle, DWORD page, BYTE* data) {
  off_t at = static_cast<off_t>(page) * kLibPageSize;
  size_t done = 0;
  while (done < kLibPageSize) {
    ssize_t n = ::pread(handle, data + done, kLibPageSize - done, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool LibOsWritePage(int handle, DWORD page, const BYTE* data) {
  off_t at = static_cast<off_t>(page) * kLibPageSize;
  size_t done = 0;
  while (done < kLibPageSize) {
    ssize_t n = ::pwrite(handle, data + done, kLibPageSize - done, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void LibOsClose(int handle) {
  if (handle >= 0) ::close(handle);
}

DWORD LibOsFileStamp(const char* path) {
  struct stat st;
  std::string found = ResolveExistingPath(NativePath(path));
  if (found.empty() || ::stat(found.c_str(), &st) != 0) return 0;
  return StampOf(st);
}

DWORD LibOsHandleStamp(int handle) {
  struct stat st;
  if (::fstat(handle, &st) != 0) return 0;
  return StampOf(st);
}
