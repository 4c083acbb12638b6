#include "platform/win/windir.h"

#include "platform/win/fileio.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {
std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::getuid())) {
    if (pw->pw_dir != nullptr) return pw->pw_dir;
  }
  return "/tmp";
}

std::string TrimSeparators(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}
}  // namespace

std::string WindowsDirectory() {
  // Looked up on every call so a test can switch folders between cases.
  std::string dir;
  const char* env = std::getenv("VORTELLE_WINDIR");
  if (env != nullptr && *env != '\0') {
    dir = env;
  } else {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = (xdg != nullptr && xdg[0] == '/') ? xdg : HomeDirectory() + "/.config";
    dir = base + "/vortelle";
  }
  dir = TrimSeparators(dir);
  MakeDirectories(dir, 0700);
  return dir;
}

std::string SystemDirectory() {
  std::string dir = WindowsDirectory() + "/system";
  MakeDirectories(dir, 0700);
  return dir;
}

UINT CopyPathResult(const std::string& text, LPSTR buf, UINT size) {
  if (buf == nullptr || text.size() + 1 > size) return static_cast<UINT>(text.size() + 1);
  std::memcpy(buf, text.c_str(), text.size() + 1);
  return static_cast<UINT>(text.size());
}

UINT GetWindowsDirectoryA(LPSTR buf, UINT size) { return CopyPathResult(WindowsDirectory(), buf, size); }
UINT GetSystemDirectoryA(LPSTR buf, UINT size) { return CopyPathResult(SystemDirectory(), buf, size); }
