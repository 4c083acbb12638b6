#include "platform/win/version_info.h"

#include <sys/utsname.h>

#include <cstdlib>

namespace {
// File version 1.0, build 9 (the About box's "1.0.09"), no update.
constexpr DWORD kVersionMajor = 1, kVersionMinor = 0, kUpdate = 0, kBuild = 9;
}  // namespace

ProgramFileVersion GetProgramFileVersion() {
  ProgramFileVersion v;
  v.versionMs = (kVersionMajor << 16) | kVersionMinor;
  v.versionLs = (kBuild << 16) | (kUpdate << 12);
  return v;
}

bool GetSystemVersion(SystemVersion* out) {
  if (out == nullptr) return false;
  struct utsname u {};
  if (uname(&u) != 0) return false;
  out->name = u.sysname;
  // The release begins "major.minor"; what follows names the build.
  char* end = nullptr;
  out->major = static_cast<int>(std::strtol(u.release, &end, 10));
  out->minor = end != nullptr && *end == '.' ? static_cast<int>(std::strtol(end + 1, nullptr, 10)) : 0;
  out->servicePack.clear();
  return true;
}
