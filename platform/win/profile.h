// Private profile (ini) files with the Win32 rules the program relies on:
// section and key names compare ignoring case, blanks around names and values
// are ignored, a value in matching quotes is returned without them, the first
// of duplicate sections or keys wins, ';' starts a comment line. Files are read
// on every call and written through at once; comments and unknown lines are
// kept on write. A name without a folder is taken from the Windows directory.
#pragma once

#include "platform/win/win_types.h"

// Copies the value (or the default, with its trailing blanks removed; null
// means "") into buf, at most size - 1 characters and a terminator; returns the
// count copied. A null key lists the section's keys, a null section the
// section names, each terminated, the list ended by a second terminator (cut
// to fit, still double-terminated; the result is then size - 2).
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buf,
                               DWORD size, LPCSTR file);

// The value read as an integer: leading blanks, an optional sign, then digits up
// to the first other character (none gives 0); a missing key or an empty value
// gives the default. Values beyond 32 bits are held at the nearest limit.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR file);

// Sets key=value in the section, creating the file and the section (at the end)
// as needed; an existing key is replaced in place, a new one follows the
// section's last entry. A null value removes the key, a null key the section;
// a null section only flushes (nothing is cached). FALSE when the file cannot
// be written or a name could not be read back (it holds a line break, '=' in
// a key or ']' in a section). A line break in a value ends the value there.
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);

// The same on win.ini in the Windows directory.
DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buf, DWORD size);
UINT GetProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue);
BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value);
