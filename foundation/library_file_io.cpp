#include "foundation/library_file_io.h"

#include "foundation/library_file.h"
#include "platform/win/fileio.h"

#include <string>

namespace {
DWORD StampOf(const FileInfo& info) {
  // Only equality matters; mixing in size and inode catches a rewrite that
  // lands within the clock's granularity.
  unsigned long long v = static_cast<unsigned long long>(info.modifiedSeconds) * 10000000ull +
                         static_cast<unsigned long long>(info.modifiedNanoseconds) / 100ull;
  v ^= static_cast<unsigned long long>(info.size) * 0x9E3779B97F4A7C15ull;
  v ^= static_cast<unsigned long long>(info.inode) << 7;
  DWORD s = static_cast<DWORD>(v ^ (v >> 32));
  return s == 0 ? 1 : s;
}
}  // namespace

int LibOsOpen(const char* path, UINT flags, bool createExclusive, int* sysError) {
  UINT access = flags & 3;
  UINT share = flags & 0x70;
  bool write = createExclusive || access == lib_of::Write || access == lib_of::ReadWrite;
  const unsigned how = write ? kFileReadWrite : kFileRead;
  std::string native = NativePath(path);
  int fd = createExclusive ? CreateNewFile(native, how, 0666, sysError)
                           : OpenExistingFile(native, how | kFileAnyCase | kFileRegularOnly, sysError);
  if (fd < 0) {
    if (*sysError == kFileErrNotRegular) *sysError = kSysAccessDenied;
    return -1;
  }
  FileInfo info;
  if (!GetFileInfoByHandle(fd, &info) || !info.regular) {
    CloseFileHandle(fd);
    *sysError = kSysAccessDenied;
    return -1;
  }
  const bool exclusive = write || share == lib_of::ShareExclusive || share == lib_of::ShareDenyRead;
  if (exclusive || share == lib_of::ShareDenyWrite) {
    const int e = TryLockFileHandle(fd, exclusive);
    if (e != 0) {
      CloseFileHandle(fd);
      *sysError = e;
      return -1;
    }
  }
  *sysError = 0;
  return fd;
}

bool LibOsExists(const char* path) { return !ResolveExistingPath(NativePath(path)).empty(); }
bool LibOsSameFile(const char* a, const char* b) {
  FileInfo ia, ib;
  std::string pa = ResolveExistingPath(NativePath(a)), pb = ResolveExistingPath(NativePath(b));
  if (pa.empty() || pb.empty() || !GetFileInfoByPath(pa, &ia) || !GetFileInfoByPath(pb, &ib)) return false;
  return ia.device == ib.device && ia.inode == ib.inode;
}

long long LibOsFileSize(int handle) {
  FileInfo info;
  if (!GetFileInfoByHandle(handle, &info)) return -1;
  return static_cast<long long>(info.size);
}

bool LibOsReadPage(int handle, DWORD page, BYTE* data) {
  return ReadFileAt(handle, static_cast<uint64_t>(page) * kLibPageSize, data, kLibPageSize);
}

bool LibOsWritePage(int handle, DWORD page, const BYTE* data) {
  return WriteFileAt(handle, static_cast<uint64_t>(page) * kLibPageSize, data, kLibPageSize);
}

void LibOsClose(int handle) {
  if (handle >= 0) CloseFileHandle(handle);
}

DWORD LibOsFileStamp(const char* path) {
  FileInfo info;
  std::string found = ResolveExistingPath(NativePath(path));
  if (found.empty() || !GetFileInfoByPath(found, &info)) return 0;
  return StampOf(info);
}

DWORD LibOsHandleStamp(int handle) {
  FileInfo info;
  if (!GetFileInfoByHandle(handle, &info)) return 0;
  return StampOf(info);
}
