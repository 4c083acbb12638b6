#include "platform/win/process.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buf, DWORD size) {
  if (name == nullptr) return 0;
  const char* v = std::getenv(name);
  if (v == nullptr) return 0;
  size_t n = std::strlen(v);
  if (buf == nullptr || n + 1 > size) return static_cast<DWORD>(n + 1);
  std::memcpy(buf, v, n + 1);
  return static_cast<DWORD>(n);
}

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  if (longPath == nullptr) return 0;
  size_t n = std::strlen(longPath);
  if (shortPath == nullptr || n + 1 > size) return static_cast<DWORD>(n + 1);
  std::memmove(shortPath, longPath, n + 1);
  return static_cast<DWORD>(n);
}

UINT SetErrorMode(UINT) { return 0; }

UINT SetHandleCount(UINT n) {
  rlimit rl;
  if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur < n)
    return static_cast<UINT>(rl.rlim_cur);
  return n;
}

DWORD GetVersion() { return 0x00000004u; }

LANGID GetSystemDefaultLangID() { return 0x0409; }
