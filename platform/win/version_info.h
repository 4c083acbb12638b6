// What the program says about itself and the system it runs on: its file
// version numbers (as a version resource holds them) and the running
// system's name and release.
#pragma once

#include "platform/win/win_types.h"

#include <string>

// The program file's version: most significant part (major in the high
// word, minor in the low word) and least significant part (bits 12-15 of
// its low word the update number; its high word a further build number).
struct ProgramFileVersion {
  DWORD versionMs = 0;
  DWORD versionLs = 0;
};
ProgramFileVersion GetProgramFileVersion();

// The running system: its name ("Linux"), its release's major and minor
// numbers, and any further service text (empty on this platform).
struct SystemVersion {
  std::string name;
  int major = 0;
  int minor = 0;
  std::string servicePack;
};
// False when the system does not say.
bool GetSystemVersion(SystemVersion* out);
