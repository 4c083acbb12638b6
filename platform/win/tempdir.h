// The temporary folder: private to the user (mode 0700, owned by the user, not
// a symbolic link), so the program's predictable work-file names cannot be
// planted by anyone else.
#pragma once

#include "platform/win/win_types.h"

#include <string>

// The folder with a trailing separator; empty when no private folder can be made.
std::string PrivateTempDirectory();

// Win32 form: the folder with its trailing separator into buf; returns the
// length, or the size needed when buf is too small (nothing written), 0 on failure.
DWORD GetTempPathA(DWORD size, LPSTR buf);

// A unique file name "<folder><prefix><hex>.TMP" into tempFileName (at
// least 260 bytes). With unique 0 the file is made (empty, mode 0600, only
// when the name was free) and the number used is returned; otherwise the
// name is built from unique alone. 0 on failure.
UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR tempFileName);
