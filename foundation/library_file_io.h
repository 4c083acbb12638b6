// The file calls under the library engine: open with emulated share modes,
// exact 512-byte page transfers, close. Linux has no share modes, so they are
// advisory locks on the open file: a writer holds an exclusive lock, a reader
// that denies writers a shared one, and a conflict reads as a sharing
// violation (system error 13), also between two opens inside one process.
#pragma once

#include "platform/win/fileio.h"
#include "platform/win/win_types.h"

// System error codes as the callers test them.
constexpr int kSysNoSuchFile = kFileErrNotFound;
constexpr int kSysAccessDenied = kFileErrAccess;
constexpr int kSysTooManyFiles = kFileErrTooManyOpen;
constexpr int kSysFileExists = kFileErrExists;

// Opens path (Windows-1252 text) with the or-ed open and share flags; with
// createExclusive the file is made and must not exist. Returns a handle, or -1
// with the system error in *sysError.
int LibOsOpen(const char* path, UINT flags, bool createExclusive, int* sysError);
bool LibOsExists(const char* path);
// True when both paths name one existing file (same device and inode), however
// spelt: relative, through links, or differing in case where the disk does.
bool LibOsSameFile(const char* a, const char* b);
// Size in bytes, -1 on failure.
long long LibOsFileSize(int handle);
bool LibOsReadPage(int handle, DWORD page, BYTE* data);
bool LibOsWritePage(int handle, DWORD page, const BYTE* data);
void LibOsClose(int handle);
// A value that changes whenever the file is written (from its last-write
// time); 0 when the file cannot be examined.
DWORD LibOsFileStamp(const char* path);
DWORD LibOsHandleStamp(int handle);
