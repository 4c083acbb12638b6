#include "platform/win/tempdir.h"

#include "platform/win/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// A folder we made ourselves and nobody else can enter or replace.
bool IsPrivateFolder(const std::string& dir) {
  struct stat st;
  if (::lstat(dir.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
  if ((st.st_mode & 077) != 0) {
    // Ours but too open: close it rather than give up.
    if (::chmod(dir.c_str(), 0700) != 0) return false;
  }
  return true;
}

bool MakePrivate(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsPrivateFolder(dir);
}
}  // namespace

std::string PrivateTempDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    std::string dir = std::string(runtime) + "/vortelle";
    if (MakePrivate(dir)) return dir + "/";
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string base = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  std::string dir = base + "/vortelle-" + std::to_string(::geteuid());
  if (MakePrivate(dir)) return dir + "/";
  return std::string();
}

DWORD GetTempPathA(DWORD size, LPSTR buf) {
  std::string dir = PrivateTempDirectory();
  if (dir.empty()) return 0;
  if (buf == nullptr || dir.size() + 1 > size) return static_cast<DWORD>(dir.size() + 1);
  std::memcpy(buf, dir.c_str(), dir.size() + 1);
  return static_cast<DWORD>(dir.size());
}

UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR tempFileName) {
  if (path == nullptr || tempFileName == nullptr) return 0;
  std::string dir = path;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  std::string p = prefix != nullptr ? std::string(prefix).substr(0, 3) : std::string();
  char name[32];
  for (UINT n = unique ? unique : static_cast<UINT>(::getpid() & 0xFFFF) + 1, tries = 0; tries < 0x10000;
       ++tries, n = (n + 1) & 0xFFFF) {
    if (n == 0) continue;
    std::snprintf(name, sizeof name, "%s%X.TMP", p.c_str(), n);
    const std::string full = dir + name;
    if (full.size() >= 260) return 0;
    if (unique != 0) {
      std::memcpy(tempFileName, full.c_str(), full.size() + 1);
      return unique;
    }
    // The name is taken by making the file: no other opener gets it too.
    const int fd = ::open(full.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
      ::close(fd);
      std::memcpy(tempFileName, full.c_str(), full.size() + 1);
      return n;
    }
    if (errno != EEXIST) return 0;
  }
  return 0;
}
