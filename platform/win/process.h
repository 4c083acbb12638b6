// The process: its id, environment, version and the few run-time switches the
// program sets at start-up.
#pragma once

#include "platform/win/win_types.h"

DWORD GetCurrentProcessId();

// Copies the variable into buf and returns its length; when it does not fit,
// returns the size needed (with the terminator) and writes nothing; 0 when unset.
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buf, DWORD size);

// Linux has no short names: the long name is copied (bounded, Win32 return rules).
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);

// Accepted and ignored; returns the previous mode (always 0).
UINT SetErrorMode(UINT mode);

// The number of files the process may hold open: n, limited by the process's
// open-file limit.
UINT SetHandleCount(UINT n);

// Reports Windows NT 4.0 (major 4 in the low byte; the high bit clear marks NT),
// so callers take the later-Windows paths.
DWORD GetVersion();

using LANGID = WORD;
// The program's texts are US English (0x0409) whatever the user's locale, so the
// default language is fixed; it chooses a language resource library.
LANGID GetSystemDefaultLangID();
inline WORD PRIMARYLANGID(LANGID id) { return static_cast<WORD>(id & 0x3FF); }
