// The emulated Windows directory: one folder per user holding win.ini, the
// settings files named without a folder, and the registry store. The
// environment variable VORTELLE_WINDIR points it elsewhere (tests do).
#pragma once

#include "platform/win/win_types.h"

#include <string>

// The folder without a trailing separator; created (mode 0700) on first use.
std::string WindowsDirectory();
// The emulated system directory, a "system" folder inside the Windows directory.
std::string SystemDirectory();

// Win32 form: copies the folder into buf and returns its length, or the size
// needed (with the terminator) when buf is too small, writing nothing then.
UINT GetWindowsDirectoryA(LPSTR buf, UINT size);
UINT GetSystemDirectoryA(LPSTR buf, UINT size);

// Copies text into buf the Win32 way described above.
UINT CopyPathResult(const std::string& text, LPSTR buf, UINT size);
